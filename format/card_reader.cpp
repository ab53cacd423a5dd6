// The file is read line by line as bytes, through four states:
//
//   envelope      the magic line and the header lines of the file (and what
//                 follows the closing delimiter, read the same way)
//   betweenParts  right after a delimiter: no line of the next part yet
//   partHeaders   the part's header lines, up to its first empty line
//   partBody      the part's body, up to the next delimiter
//
// Only what is needed as text is decoded from code page 932 (header keys
// and values, the HTML part); Base64 bodies stay bytes and are decoded in
// large runs as they are read, so that a part of any size costs two small
// buffers and the attachment it is written to.
#include "format/card_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "format/attachment_store.h"
#include "format/base64.h"
#include "format/toruca_format.h"
#include "format/tpj_reader.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/strings.h"
#include "host/report.h"
#include "model/tpjfile.h"
#include "toruca/torucautil.h"

namespace {

// Decoded bytes held before they are written to the attachment: a part
// that decodes to no more than this is written only once it is complete,
// a larger one in blocks of this size.
constexpr std::size_t kChunkBytes = std::size_t{2} << 20;
// Characters of clean lines gathered before they are decoded in one call:
// whole groups whose bytes always fit an empty chunk. Also the longest
// piece of one line decoded in one call.
constexpr std::size_t kRunChars = kChunkBytes / 3 * 4;
static_assert(kRunChars % 4 == 0 && kRunChars / 4 * 3 <= kChunkBytes);
// Longest header line (of the file or of a part) read. Real ones are short;
// a longer one means a damaged file, and reading it whole would let one
// line take all memory. Body lines are read at any length.
constexpr std::size_t kMaxHeaderLine = std::size_t{1} << 20;
constexpr std::size_t kAnyLength = static_cast<std::size_t>(-1);

// Equality ignoring ASCII case of a code page 932 byte string and an ASCII
// name. A byte of a multi-byte character never equals an ASCII letter, so
// this is the comparison of the decoded text with the name.
bool EqualsAscii(std::string_view bytes, std::u16string_view name) noexcept {
    if (bytes.size() != name.size()) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (qel::framework::AsciiLower(static_cast<unsigned char>(bytes[i])) != qel::framework::AsciiLower(name[i]))
            return false;
    return true;
}

// White space is ASCII and never the second byte of a character, so bytes
// trim exactly as their decoded text does.
std::string_view TrimBytes(std::string_view s) noexcept {
    std::size_t b = 0, e = s.size();
    while (b < e && qel::framework::IsSpace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && qel::framework::IsSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::u16string TrimmedText(std::string_view bytes) { return qel::framework::Trim(qel::framework::Cp932ToWide(bytes)); }

// A header line "key: value": the key is the text before the first colon,
// which must not be the first character. ':' is ASCII and never the second
// byte of a character, so the split of the bytes is the split of the text.
bool SplitHeader(std::string_view line, std::string_view& key, std::string_view& rest) noexcept {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    key = line.substr(0, colon);
    rest = line.substr(colon + 1);
    return true;
}

bool StartsWithHyphens(std::string_view line) noexcept { return line.size() >= 2 && line[0] == '-' && line[1] == '-'; }

enum class LineKind { text, delimiter, closing };

// What a line of the body is. When the message declares its boundary, only
// "--boundary" and "--boundary--" delimit parts, so that a line of the page
// such as "-->" stays in the page. A file that declares none is read by the
// lenient rule: any line that starts with two hyphens is a delimiter, and a
// closing one when it also ends with two and is five characters or more (a
// hyphen is never the second byte of a character, so counting bytes gives
// the same answer as counting characters).
LineKind KindOfLine(std::string_view line, const std::u16string& boundary) {
    if (!StartsWithHyphens(line)) return LineKind::text;
    if (boundary.empty()) {
        const bool closing = line.size() > 4 && line[line.size() - 1] == '-' && line[line.size() - 2] == '-';
        return closing ? LineKind::closing : LineKind::delimiter;
    }
    const std::u16string rest = qel::framework::Cp932ToWide(line.substr(2));
    if (rest.size() < boundary.size() || rest.compare(0, boundary.size(), boundary) != 0) return LineKind::text;
    const std::u16string_view after = std::u16string_view(rest).substr(boundary.size());
    if (after.empty()) return LineKind::delimiter;
    return after == u"--" ? LineKind::closing : LineKind::text;
}

}  // namespace

// --- CQelMimePartLines ---------------------------------------------------------

CQelMimePartLines::CQelMimePartLines(qel::format::AttachmentStore& store) : m_store(store) {}
CQelMimePartLines::~CQelMimePartLines() {
    if (m_bOpen) m_store.Discard();
}

bool CQelMimePartLines::IsBase64() const {
    return qel::framework::EqualsNoCase(m_strTransferEncoding, qel::format::kEncodingBase64);
}
bool CQelMimePartLines::Is8bit() const {
    return qel::framework::EqualsNoCase(m_strTransferEncoding, qel::format::kEncoding8bit);
}

void CQelMimePartLines::AppendHeader(std::string_view line) {
    std::string_view key, rest;
    if (!SplitHeader(line, key, rest)) return;
    if (EqualsAscii(key, qel::format::kKeyContentType)) m_strContentType = TrimmedText(rest);
    else if (EqualsAscii(key, qel::format::kKeyTransferEncoding)) m_strTransferEncoding = TrimmedText(rest);
    else if (EqualsAscii(key, qel::format::kKeyContentId)) m_strContentId = TrimmedText(rest);
}

void CQelMimePartLines::StartBody() {
    m_kind = Is8bit() ? Kind::text : IsBase64() ? Kind::base64 : Kind::other;
    if (m_kind == Kind::base64) {
        m_bStreaming = true;
        if (!m_chunk) m_chunk.reset(new unsigned char[kChunkBytes]);
        m_nChunk = 0;
    }
}

// The decoder reads the body as one text with a line end after every line.
// As long as every line holds whole groups of four digits and nothing else,
// the lines decode to the same bytes without their line ends, so clean
// lines are gathered into a run and the run decoded in one call. From the
// first line that is not clean, the rest of the body is kept as bytes and
// decoded as one text by Finish.
void CQelMimePartLines::AppendBody(std::string_view line) {
    switch (m_kind) {
        case Kind::text:
            m_body.append(line);
            m_body.push_back('\n');
            return;
        case Kind::other: return;
        case Kind::base64: break;
    }
    const std::size_t index = m_nBodyLines++;
    if (m_bStreaming && line.size() % 4 == 0 && line.size() <= kRunChars) {
        if (kRunChars - m_run.size() < line.size()) DecodeRun();
        if (m_bStreaming) {
            if (m_run.empty()) m_nRunFirst = index;
            m_run.append(line);
            m_runLines.push_back(line.size());
            return;
        }
    }
    DecodeRun();
    if (m_bStreaming) {
        StreamLine(line, index == 0);
        return;
    }
    m_rest.append(line);
    m_rest.push_back('\n');
}

// Decodes the gathered run. A run that holds a character outside the
// alphabet decodes to fewer bytes than its length promises; its lines then
// go through StreamLine one by one, which finds the first that is not clean.
void CQelMimePartLines::DecodeRun() {
    if (m_run.empty()) return;
    if (m_nChunk > 0) {
        Flush(m_chunk.get(), m_nChunk);
        m_nChunk = 0;
    }
    std::size_t n = kChunkBytes;
    DecodeBase64(m_run.data(), m_run.size(), m_chunk.get(), &n);
    if (n == m_run.size() / 4 * 3) {
        Flush(m_chunk.get(), n);
        m_run.clear();
        m_runLines.clear();
        return;
    }
    std::string run = std::move(m_run);
    std::vector<std::size_t> lines = std::move(m_runLines);
    m_run.clear();
    m_runLines.clear();
    std::size_t at = 0;
    const std::size_t runFirst = m_nRunFirst;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line(run.data() + at, lines[i]);
        at += lines[i];
        if (m_bStreaming) {
            StreamLine(line, runFirst + i == 0);
        } else {
            m_rest.append(line);
            m_rest.push_back('\n');
        }
    }
}

// One line the old way: slices of whole groups decoded into the chunk; from
// the first slice that is not clean the rest goes to m_rest. The LF put
// before it stands for the line end that precedes it in the body, so that a
// NUL at the start of the rest is read as it would be there (inside a
// group, not where a group starts).
void CQelMimePartLines::StreamLine(std::string_view line, bool firstLine) {
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t take = std::min(line.size() - pos, kRunChars);
        if (take % 4 != 0) break;
        const std::size_t whole = take / 4 * 3;
        if (kChunkBytes - m_nChunk < whole) {
            Flush(m_chunk.get(), m_nChunk);
            m_nChunk = 0;
        }
        std::size_t n = kChunkBytes - m_nChunk;
        DecodeBase64(line.data() + pos, take, m_chunk.get() + m_nChunk, &n);
        if (n != whole) break;  // a character outside the alphabet: these bytes are not taken
        m_nChunk += n;
        pos += take;
    }
    if (pos == line.size()) return;
    m_bStreaming = false;
    if (pos == 0 && !firstLine) m_rest.push_back('\n');
    m_rest.append(line.substr(pos));
    m_rest.push_back('\n');
}

// Writes decoded bytes to the attachment, making it first. Raises
// CFileException when it cannot be made or written; the part's attachment
// is then discarded, and the load fails.
void CQelMimePartLines::Flush(const unsigned char* bytes, std::size_t count) {
    if (!m_bOpen) {
        m_store.Create(qel::format::GetParam(m_strContentType, u"name"));
        m_bOpen = true;
    }
    m_store.Write(bytes, count);
}

void CQelMimePartLines::Finish() {
    if (!IsBase64()) return;
    if (m_kind == Kind::base64) DecodeRun();
    // The bytes of the part that are not written yet: the chunk, then the
    // rest of the body decoded as one text.
    CQelTorucaUtil util;
    std::size_t restCount = 0;
    std::unique_ptr<unsigned char[]> restBytes;
    if (!m_rest.empty()) {
        restBytes.reset(util.DecodeBase64Bytes(m_rest.data(), m_rest.size(), restCount));
        if (!restBytes) {
            if (m_bOpen) m_store.Discard();
            m_bOpen = false;
            return;
        }
        std::string().swap(m_rest);
    }
    Flush(m_chunk.get(), m_nChunk);
    m_nChunk = 0;
    if (restCount > 0) Flush(restBytes.get(), restCount);
    m_bOpen = false;
    m_strSavedPath = m_store.Commit();
}

void CQelMimePartLines::Reset() noexcept {
    if (m_bOpen) m_store.Discard();
    m_bOpen = false;
    m_strContentType.clear();
    m_strTransferEncoding.clear();
    m_strContentId.clear();
    m_body.clear();
    m_strSavedPath.clear();
    m_kind = Kind::other;
    m_bStreaming = false;
    m_nBodyLines = 0;
    m_nChunk = 0;
    m_run.clear();
    m_runLines.clear();
    std::string().swap(m_rest);
}

std::u16string CQelMimePartLines::BodyText() const {
    std::u16string text;
    text.reserve(m_body.size() + m_body.size() / 8);
    std::size_t pos = 0;
    while (pos < m_body.size()) {
        const std::size_t end = m_body.find('\n', pos);
        qel::framework::AppendCp932AsWide(text, std::string_view(m_body).substr(pos, end - pos));
        text.append(qel::format::kCrLf);
        pos = end + 1;
    }
    return text;
}

// --- The reader -------------------------------------------------------------

namespace {

// The state of one read that the top-level header lines change.
struct HeaderState {
    bool pendingType = false;  // the first line was "ToruCa": the body decides
    std::u16string boundary;   // declared by the message's Content-Type; empty: none
};

// The header lines whose value is the trimmed text, and those whose value
// is a number; each key sets one member of the record.
struct TextHeader {
    const char16_t* key;
    void (CQelTpjFile::*set)(const std::u16string&);
};
constexpr TextHeader kTextHeaders[] = {
    {qel::format::kKeyVersion, &CQelTpjFile::SetVersion},
    {qel::format::kKeyUrl, &CQelTpjFile::SetUrl},
    {qel::format::kKeyExpires, &CQelTpjFile::SetExpires},
    {qel::format::kKeyLastModified, &CQelTpjFile::SetLastModified},
    {qel::format::kKeyIpId, &CQelTpjFile::SetIpId},
    {qel::format::kKeySortId, &CQelTpjFile::SetSortId},
    {qel::format::kKeyMimeVersion, &CQelTpjFile::SetMimeVersion},
};
struct NumberHeader {
    const char16_t* key;
    void (CQelTpjFile::*set)(int);
};
constexpr NumberHeader kNumberHeaders[] = {
    {qel::format::kKeyCategory, &CQelTpjFile::SetCategory},
    {qel::format::kKeyDist, &CQelTpjFile::SetDist},
    {qel::format::kKeyColorId, &CQelTpjFile::SetColorId},
};

// Sets the member a text or number header names; false for other keys.
bool ReadValueHeader(CQelTpjFile& record, std::string_view key, std::string_view rest) {
    for (const TextHeader& header : kTextHeaders) {
        if (!EqualsAscii(key, header.key)) continue;
        (record.*header.set)(TrimmedText(rest));
        return true;
    }
    for (const NumberHeader& header : kNumberHeaders) {
        if (!EqualsAscii(key, header.key)) continue;
        (record.*header.set)(CQelTorucaUtil().ToInt(TrimmedText(rest)));
        return true;
    }
    return false;
}

// "SNIP" and "CARD" set the type; "PROJECT" and anything else change nothing.
void ReadTypeHeader(CQelTpjFile& record, std::string_view rest, HeaderState& state) {
    const std::u16string value = TrimmedText(rest);
    if (qel::framework::EqualsNoCase(value, qel::format::kTypeValueSnip)) {
        record.m_nType = TYPE_SNIP;
        state.pendingType = false;
    } else if (qel::framework::EqualsNoCase(value, qel::format::kTypeValueCard)) {
        record.m_nType = TYPE_CARD;
        state.pendingType = false;
    }
}

// The data line a key names, or nullptr for any other key.
std::string* DataLineOf(CQelTpjFile& record, std::string_view key) {
    if (EqualsAscii(key, qel::format::kKeyData1)) return &record.m_strData1;
    if (EqualsAscii(key, qel::format::kKeyData2)) return &record.m_strData2;
    if (EqualsAscii(key, qel::format::kKeyData3)) return &record.m_strData3;
    return nullptr;
}

// The Base64 text is decoded from the file's bytes as they are: a byte that
// is not code page 932 is skipped like any other foreign character rather
// than turned into text first. The data line keeps the decoded bytes up to
// the first NUL, unconverted.
void ReadDataHeader(std::string& field, std::string_view rest) {
    const std::string_view text = TrimBytes(rest);
    std::size_t count = 0;
    std::unique_ptr<unsigned char[]> bytes(
        CQelTorucaUtil().DecodeBase64Bytes(text.empty() ? "" : text.data(), text.size(), count));
    const char* p = reinterpret_cast<const char*>(bytes.get());
    std::string data = p ? std::string(p, ::strnlen(p, count)) : std::string();
    field.swap(data);
}

void ReadHeaderLine(CQelTpjFile& record, std::string_view line, HeaderState& state) {
    std::string_view key, rest;
    if (!SplitHeader(line, key, rest)) return;
    if (ReadValueHeader(record, key, rest)) return;
    if (EqualsAscii(key, qel::format::kKeyType)) {
        ReadTypeHeader(record, rest, state);
    } else if (std::string* field = DataLineOf(record, key)) {
        ReadDataHeader(*field, rest);
    } else if (EqualsAscii(key, qel::format::kKeyContentType)) {
        state.boundary = qel::format::GetParam(TrimmedText(rest), u"boundary");
        record.SetBoundary(state.boundary);
    }
}

enum class State { envelope, betweenParts, partHeaders, partBody };

// The file's lines as views into one large buffer, read in blocks of 1 MiB:
// a line ends at LF or CR LF (both removed), a CR that no LF follows stays
// in the line, a last line without an end is read. A line longer than the
// limit the caller gives raises CFileException (EOVERFLOW) before it is
// held whole.
class LineReader {
public:
    explicit LineReader(CFile& file) : m_file(file), m_buffer(new char[kBlock]), m_capacity(kBlock) {}

    // The next line, valid until the next call; false at the end.
    bool Next(std::string_view& line, std::size_t maxLength) {
        const std::size_t maxHeld = maxLength >= kAnyLength - 1 ? maxLength : maxLength + 1;
        std::size_t scanned = m_pos;
        for (;;) {
            const char* base = m_buffer.get();
            const void* nl = scanned < m_end ? std::memchr(base + scanned, '\n', m_end - scanned) : nullptr;
            if (nl) {
                const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(nl) - base);
                std::size_t len = at - m_pos;
                if (len > 0 && base[at - 1] == '\r') --len;
                if (len > maxLength) TooLong();
                line = std::string_view(base + m_pos, len);
                m_pos = at + 1;
                return true;
            }
            if (m_end - m_pos > maxHeld) TooLong();
            scanned = m_end - m_pos;
            if (!Fill()) break;
        }
        if (m_pos >= m_end) return false;
        if (m_end - m_pos > maxLength) TooLong();
        line = std::string_view(m_buffer.get() + m_pos, m_end - m_pos);
        m_pos = m_end;
        return true;
    }

private:
    static constexpr std::size_t kBlock = std::size_t{1} << 20;

    [[noreturn]] void TooLong() {
        AfxThrowFileException(CFileException::genericException, EOVERFLOW, m_file.GetFilePath());
    }

    // Moves the unread rest to the front and reads a block after it,
    // growing the buffer when the rest fills it (a long line).
    bool Fill() {
        if (m_eof) return false;
        const std::size_t rest = m_end - m_pos;
        if (m_capacity - rest < kBlock) {
            const std::size_t capacity = std::max(2 * m_capacity, rest + kBlock);
            std::unique_ptr<char[]> grown(new char[capacity]);
            std::memcpy(grown.get(), m_buffer.get() + m_pos, rest);
            m_buffer = std::move(grown);
            m_capacity = capacity;
        } else if (m_pos > 0) {
            std::memmove(m_buffer.get(), m_buffer.get() + m_pos, rest);
        }
        m_pos = 0;
        m_end = rest;
        const unsigned n = m_file.Read(m_buffer.get() + m_end,
                                       static_cast<unsigned>(std::min<std::size_t>(m_capacity - m_end, 1u << 30)));
        m_end += n;
        if (n == 0) m_eof = true;
        return n > 0;
    }

    CFile& m_file;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity;
    std::size_t m_pos = 0, m_end = 0;
    bool m_eof = false;
};

// The magic line gives the record's type, or leaves it to the body.
void ReadMagicLine(LineReader& lines, CQelTpjFile& record, HeaderState& headers) {
    std::string_view line;
    if (!lines.Next(line, kMaxHeaderLine)) return;
    if (EqualsAscii(line, qel::format::kMagicProject)) record.m_nType = TYPE_PROJECT;
    else if (EqualsAscii(line, qel::format::kMagicToruca)) headers.pendingType = true;
}

// A line of a part that is no delimiter: a header line, the empty line
// that starts the body, or a line of the body. The state it leads to.
inline State ReadPartLine(State state, std::string_view line, CQelMimePartLines& part) {
    if (state == State::partBody) {
        part.AppendBody(line);
        return state;
    }
    if (line.empty()) {
        part.StartBody();
        return State::partBody;
    }
    part.AppendHeader(line);
    return State::partHeaders;
}

// Reads the lines after the magic one: the header lines, and the parts,
// each taken into the record when a delimiter ends it, if it had a line.
// A part that no delimiter ended is dropped (and its attachment).
void ReadLines(LineReader& lines, CQelTpjFile& record, HeaderState& headers, CQelMimePartLines& part) {
    State state = State::envelope;
    std::string_view line;
    while (lines.Next(line, state == State::partBody ? kAnyLength : kMaxHeaderLine)) {
        const LineKind kind = KindOfLine(line, headers.boundary);
        if (kind != LineKind::text) {
            if (state == State::partHeaders || state == State::partBody) {
                part.Finish();
                qel::format::ReadMimePart(record, part);
            }
            part.Reset();
            state = kind == LineKind::closing ? State::envelope : State::betweenParts;
        } else if (state == State::envelope) {
            ReadHeaderLine(record, line, headers);
        } else {
            state = ReadPartLine(state, line, part);
        }
    }
    part.Reset();
}

// Reports a load that failed and undoes it: the attachments it made are
// removed, the images and the icon are as they were before. False.
bool FailedLoad(const std::exception& error, const std::u16string& path, CQelTpjFile& record,
                const CQelTpjImgFile& iconBefore, CQelMimePartLines& part, qel::format::AttachmentStore& store) {
    const auto* fileError = dynamic_cast<const CFileException*>(&error);
    const bool attachment = fileError != nullptr && fileError->m_strFileName != path;
    try {
        qel::host::ReportFailure(qel::host::DescribeFailure(error, attachment ? u"attachment" : u"",
                                                            attachment ? u"cannot be written" : u"cannot be read"));
    } catch (const std::bad_alloc&) {
        // No memory for the words: the failure stands without them.
    }
    part.Reset();
    store.RemoveCommitted();
    record.m_arrImages.RemoveAll();
    record.m_uniqueIcon = iconBefore;
    return false;
}

}  // namespace

namespace qel::format {

bool ReadCard(CQelTpjFile& record, const std::u16string& path, AttachmentStore& store) {
    record.m_strHtml.clear();
    record.m_arrImages.RemoveAll();
    const CQelTpjImgFile iconBefore = record.m_uniqueIcon;
    // Outside the guard: a load that fails removes the attachments it made,
    // so that the failure leaves nothing behind.
    CQelMimePartLines part(store);
    try {
        CFile file;
        CFileException openError;
        if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeText, &openError)) {
            qel::host::ReportFailure(qel::host::DescribeFailure(openError, u"", u"cannot be opened"));
            return false;
        }
        HeaderState headers;
        LineReader lines(file);
        ReadMagicLine(lines, record, headers);
        ReadLines(lines, record, headers, part);
        if (headers.pendingType) record.m_nType = record.m_strHtml.empty() ? TYPE_SNIP : TYPE_CARD;
        file.Close();
        return true;
    } catch (const CException& error) {
        return FailedLoad(error, path, record, iconBefore, part, store);
    } catch (const std::bad_alloc& error) {
        return FailedLoad(error, path, record, iconBefore, part, store);
    }
}

}  // namespace qel::format
