// LoadFile: reads a ToruCa snippet, detail or project file into the record
// and saves its attachments as new files in the host's temporary folder.
//
// The file is read line by line as bytes. Only what is needed as text is
// decoded from code page 932 (header keys and values, the HTML part); Base64
// bodies stay bytes and are decoded as they are read, so that a part of any
// size costs one small buffer and the image file it is written to.
#include "format/tpj_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "format/base64.h"
#include "format/toruca_format.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/strings.h"
#include "host/report.h"
#include "host/tempfile.h"
#include "model/tpjfile.h"
#include "toruca/torucautil.h"

namespace {

// Decoded bytes held before they are written to the attachment's file. A
// part that decodes to no more than this is written only once it is complete.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
// Longest piece of one Base64 line decoded in one call: whole groups whose
// bytes always fit an empty chunk.
constexpr std::size_t kSliceChars = kChunkBytes / 3 * 4;
static_assert(kSliceChars % 4 == 0 && kSliceChars / 4 * 3 <= kChunkBytes);
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
        if (qel::framework::AsciiLower(static_cast<unsigned char>(bytes[i])) != qel::framework::AsciiLower(name[i])) return false;
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

bool StartsWithHyphens(std::string_view line) noexcept {
    return line.size() >= 2 && line[0] == '-' && line[1] == '-';
}

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

std::u16string TempFolder() {
    if (CParamEngineer* params = CParamEngineer::getInstance()) return params->getTempDirectory();
    return CZorCommon::getProductFolder(8, 0);
}

}  // namespace

// --- CQelMimePartLines ---------------------------------------------------------

CQelMimePartLines::CQelMimePartLines() = default;
CQelMimePartLines::~CQelMimePartLines() { Abandon(); }

bool CQelMimePartLines::IsBase64() const { return qel::framework::EqualsNoCase(m_strTransferEncoding, qel::format::kEncodingBase64); }
bool CQelMimePartLines::Is8bit() const { return qel::framework::EqualsNoCase(m_strTransferEncoding, qel::format::kEncoding8bit); }

void CQelMimePartLines::Append(std::string_view line) {
    ++m_nLines;
    if (m_bBody) {
        switch (m_kind) {
        case Kind::base64: AppendBase64(line); break;
        case Kind::text:
            m_body.append(line);
            m_body.push_back('\n');
            break;
        case Kind::other: break;
        }
        return;
    }
    if (line.empty()) {
        StartBody();
        return;
    }
    std::string_view key, rest;
    if (!SplitHeader(line, key, rest)) return;
    if (EqualsAscii(key, qel::format::kKeyContentType)) m_strContentType = TrimmedText(rest);
    else if (EqualsAscii(key, qel::format::kKeyTransferEncoding)) m_strTransferEncoding = TrimmedText(rest);
    else if (EqualsAscii(key, qel::format::kKeyContentId)) m_strContentId = TrimmedText(rest);
}

void CQelMimePartLines::StartBody() {
    m_bBody = true;
    m_kind = Is8bit() ? Kind::text : IsBase64() ? Kind::base64 : Kind::other;
    if (m_kind == Kind::base64) {
        m_bStreaming = true;
        if (!m_chunk) m_chunk.reset(new unsigned char[kChunkBytes]);
        m_nChunk = 0;
    }
}

// The decoder reads the body as one text with a line end after every line.
// As long as every line (or slice of a long line) holds whole groups of four
// digits and nothing else, it decodes to the same bytes on its own, so it is
// decoded at once. From the first line that does not, the rest of the body
// is kept as bytes and decoded as one text by Finish; the LF put before it
// stands for the line end that precedes it in the body, so that a NUL at
// the start of the rest is read as it would be there (inside a group, not
// where a group starts).
void CQelMimePartLines::AppendBase64(std::string_view line) {
    const bool firstLine = m_nBodyLines++ == 0;
    std::size_t pos = 0;
    if (m_bStreaming) {
        while (pos < line.size()) {
            const std::size_t take = std::min(line.size() - pos, kSliceChars);
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
    }
    m_rest.append(line.substr(pos));
    m_rest.push_back('\n');
}

// Writes decoded bytes to the attachment's file, making it first. Raises
// CFileException when the file cannot be made or written; the part's file is
// then removed, and the load fails.
void CQelMimePartLines::Flush(const unsigned char* bytes, std::size_t count) {
    if (!m_file.IsOpen()) {
        CFileException error;
        const std::u16string name = qel::format::GetParam(m_strContentType, u"name");
        if (!m_file.Create(TempFolder(), name, &error)) throw error;
    }
    if (count > 0) m_file.Write(bytes, count);
}

void CQelMimePartLines::Finish() {
    if (!IsBase64()) return;
    // The bytes of the part that are not written yet: the chunk, then the
    // rest of the body decoded as one text.
    CQelTorucaUtil util;
    std::size_t restCount = 0;
    std::unique_ptr<unsigned char[]> restBytes;
    if (!m_rest.empty()) {
        restBytes.reset(util.DecodeBase64Bytes(m_rest.data(), m_rest.size(), restCount));
        if (!restBytes) {
            Abandon();
            return;
        }
        std::string().swap(m_rest);
    }
    Flush(m_chunk.get(), m_nChunk);
    m_nChunk = 0;
    if (restCount > 0) Flush(restBytes.get(), restCount);
    m_saved.reserve(m_saved.size() + 1);
    m_strSavedPath = m_file.Commit(false);
    m_saved.push_back(m_strSavedPath);
}

// Removes the file of an attachment that was not completed: it never had a
// name anyone else could see.
void CQelMimePartLines::Abandon() noexcept { m_file.Discard(); }

void CQelMimePartLines::RemoveSaved() noexcept {
    for (const std::u16string& path : m_saved) {
        try {
            ::unlink(qel::framework::PathToNative(path).c_str());
        } catch (...) {
            // Only a failed allocation of the native path: the file stays.
        }
    }
    m_saved.clear();
}

void CQelMimePartLines::Reset() noexcept {
    Abandon();
    m_nLines = 0;
    m_bBody = false;
    m_strContentType.clear();
    m_strTransferEncoding.clear();
    m_strContentId.clear();
    m_body.clear();
    m_strSavedPath.clear();
    m_kind = Kind::other;
    m_bStreaming = false;
    m_nBodyLines = 0;
    m_nChunk = 0;
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

// --- The record -----------------------------------------------------------------

namespace {

// The state of one LoadFile call that the top-level header lines change.
struct HeaderState {
    bool pendingType = false;  // the first line was "ToruCa": the body decides
    std::u16string boundary;   // declared by the message's Content-Type; empty: none
};

void ReadHeaderLine(CQelTpjFile& record, std::string_view line, HeaderState& state) {
    std::string_view key, rest;
    if (!SplitHeader(line, key, rest)) return;
    CQelTorucaUtil util;
    if (EqualsAscii(key, qel::format::kKeyVersion)) {
        record.SetVersion(TrimmedText(rest));
    } else if (EqualsAscii(key, qel::format::kKeyType)) {
        const std::u16string value = TrimmedText(rest);
        if (qel::framework::EqualsNoCase(value, qel::format::kTypeValueSnip)) {
            record.m_nType = TYPE_SNIP;
            state.pendingType = false;
        } else if (qel::framework::EqualsNoCase(value, qel::format::kTypeValueCard)) {
            record.m_nType = TYPE_CARD;
            state.pendingType = false;
        }
        // "PROJECT" and anything else: no change.
    } else if (EqualsAscii(key, qel::format::kKeyUrl)) {
        record.SetUrl(TrimmedText(rest));
    } else if (EqualsAscii(key, qel::format::kKeyExpires)) {
        record.SetExpires(TrimmedText(rest));
    } else if (EqualsAscii(key, qel::format::kKeyLastModified)) {
        record.SetLastModified(TrimmedText(rest));
    } else if (EqualsAscii(key, qel::format::kKeyIpId)) {
        record.SetIpId(TrimmedText(rest));
    } else if (EqualsAscii(key, qel::format::kKeySortId)) {
        record.SetSortId(TrimmedText(rest));
    } else if (EqualsAscii(key, qel::format::kKeyCategory)) {
        record.SetCategory(util.ToInt(TrimmedText(rest)));
    } else if (EqualsAscii(key, qel::format::kKeyDist)) {
        record.SetDist(util.ToInt(TrimmedText(rest)));
    } else if (EqualsAscii(key, qel::format::kKeyColorId)) {
        record.SetColorId(util.ToInt(TrimmedText(rest)));
    } else if (EqualsAscii(key, qel::format::kKeyData1) || EqualsAscii(key, qel::format::kKeyData2) ||
               EqualsAscii(key, qel::format::kKeyData3)) {
        // The Base64 text is decoded from the file's bytes as they are: a
        // byte that is not code page 932 is skipped like any other foreign
        // character rather than turned into text first. The data line keeps
        // the decoded bytes up to the first NUL, unconverted.
        const std::string_view text = TrimBytes(rest);
        std::size_t count = 0;
        std::unique_ptr<unsigned char[]> bytes(util.DecodeBase64Bytes(text.empty() ? "" : text.data(), text.size(), count));
        const char* p = reinterpret_cast<const char*>(bytes.get());
        std::string data = p ? std::string(p, ::strnlen(p, count)) : std::string();
        const char digit = key.back();
        (digit == '1' ? record.m_strData1 : digit == '2' ? record.m_strData2 : record.m_strData3).swap(data);
    } else if (EqualsAscii(key, qel::format::kKeyMimeVersion)) {
        record.SetMimeVersion(TrimmedText(rest));
    } else if (EqualsAscii(key, qel::format::kKeyContentType)) {
        state.boundary = qel::format::GetParam(TrimmedText(rest), u"boundary");
        record.SetBoundary(state.boundary);
    }
}

}  // namespace

namespace qel::format {

bool LoadFile(CQelTpjFile& record, const std::u16string& path) {
    record.m_strHtml.clear();
    record.m_arrImages.RemoveAll();
    CQelTpjImgFile iconBefore = record.m_uniqueIcon;
    // Outside the guard: a load that fails removes the attachment files it
    // made, so that the failure leaves nothing behind.
    CQelMimePartLines part;
    auto failed = [&](const std::exception& error) {
        const auto* fileError = dynamic_cast<const CFileException*>(&error);
        const bool attachment = fileError != nullptr && fileError->m_strFileName != path;
        try {
            qel::host::ReportFailure(qel::host::DescribeFailure(
                error, attachment ? u"attachment" : u"", attachment ? u"cannot be written" : u"cannot be read"));
        } catch (const std::bad_alloc&) {
            // No memory for the words: the failure stands without them.
        }
        part.Reset();
        part.RemoveSaved();
        record.m_arrImages.RemoveAll();
        record.m_uniqueIcon = std::move(iconBefore);
        return false;
    };
    try {
        CStdioFile file;
        CFileException openError;
        if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeText, &openError)) {
            qel::host::ReportFailure(qel::host::DescribeFailure(openError, u"", u"cannot be opened"));
            return false;
        }
        HeaderState state;
        bool collecting = false;
        std::string line;
        if (file.ReadString(line, kMaxHeaderLine)) {
            if (EqualsAscii(line, qel::format::kMagicProject)) record.m_nType = TYPE_PROJECT;
            else if (EqualsAscii(line, qel::format::kMagicToruca)) state.pendingType = true;
        }
        while (file.ReadString(line, collecting && part.m_bBody ? kAnyLength : kMaxHeaderLine)) {
            const LineKind kind = KindOfLine(line, state.boundary);
            if (kind == LineKind::closing) {
                if (!part.Empty()) {
                    part.Finish();
                    ReadMimePart(record, part);
                }
                part.Reset();
                collecting = false;
            } else if (kind == LineKind::delimiter) {
                if (!part.Empty()) {
                    part.Finish();
                    ReadMimePart(record, part);
                }
                part.Reset();
                collecting = true;
            } else if (collecting) {
                part.Append(line);
            } else {
                ReadHeaderLine(record, line, state);
            }
        }
        // A part that no delimiter ended is dropped (and its file with it).
        part.Reset();
        if (state.pendingType) record.m_nType = record.m_strHtml.empty() ? TYPE_SNIP : TYPE_CARD;
        file.Close();
        return true;
    } catch (const CException& error) {
        return failed(error);
    } catch (const std::bad_alloc& error) {
        return failed(error);
    }
}

void ReadMimePart(CQelTpjFile& record, const CQelMimePartLines& lines) {
    if (lines.Is8bit()) {
        record.m_strHtml = lines.BodyText();
        return;
    }
    if (!lines.IsBase64() || lines.m_strSavedPath.empty()) return;
    const std::u16string& type = lines.m_strContentType;
    if (type.find(qel::format::kIconContentType) != std::u16string::npos) {
        record.SetUniqueIcon(lines.m_strSavedPath, GetParam(type, u"title"));
        return;
    }
    std::u16string id = lines.m_strContentId;
    if (!id.empty() && id[0] == u'<') {
        id.erase(0, 1);
        const std::size_t gt = id.find(u'>');
        if (gt != std::u16string::npos && gt != 0) id.resize(gt);
    }
    record.AddImage(lines.m_strSavedPath, id);
}

std::u16string GetParam(const std::u16string& value, const std::u16string& name) {
    static constexpr const char16_t* kSkipped[] = {qel::format::kMultipartMixed, qel::format::kIconContentType,
                                                   qel::format::kJpegContentType, qel::format::kGifContentType,
                                                   qel::format::kPngContentType};
    const std::u16string opening = name + u"=\"";
    std::u16string rest = value;
    while (!rest.empty()) {
        std::u16string piece;
        const std::size_t semi = rest.find(u';');
        if (semi == std::u16string::npos) {
            piece.swap(rest);
        } else {
            piece = rest.substr(0, semi);
            rest = qel::framework::TrimRight(std::u16string_view(rest).substr(semi + 1));
        }
        if (std::any_of(std::begin(kSkipped), std::end(kSkipped),
                        [&](const char16_t* t) { return qel::framework::EqualsNoCase(piece, t); }))
            continue;
        if (piece.compare(0, opening.size(), opening) != 0) continue;
        const std::size_t quote = piece.find(u'"', opening.size());
        if (quote != std::u16string::npos && quote > opening.size())
            return piece.substr(opening.size(), quote - opening.size());
    }
    return {};
}

}  // namespace qel::format
