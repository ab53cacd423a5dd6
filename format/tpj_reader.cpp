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
#include "format/tpj_reader.h"

#include <algorithm>
#include <iterator>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "format/attachment_store.h"
#include "format/base64.h"
#include "format/header_lines.h"
#include "format/page_part.h"
#include "format/toruca_format.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/strings.h"
#include "host/report.h"
#include "model/tpjfile.h"

namespace qel::format {

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
// Bytes of one Base64 line of the encoder's layout, and the shortest such
// line with its line end.
constexpr std::size_t kLineBytes = kBase64LineLength / 4 * 3;
constexpr std::size_t kShortestLine = kBase64LineLength + 1;
constexpr std::size_t kHyphens = std::char_traits<char16_t>::length(kDelimiterHyphens);

constexpr bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
// What may follow a delimiter's boundary: blanks (transport padding), and a
// CR that ends the line, which is what is left of a CR LF when the file
// ends before its LF.
constexpr bool IsPadding(char16_t c) { return IsBlank(c) || c == u'\r'; }

std::u16string TrimmedText(std::string_view bytes) { return qel::framework::Trim(qel::framework::Cp932ToWide(bytes)); }

enum class LineKind { text, delimiter, closing };

// The kind of a line that starts with hyphens, from the bytes `rest` after
// them, without converting: for an ASCII boundary and a line whose bytes
// compared are ASCII, each byte is the character it decodes to. None when
// the answer needs the decoded text.
std::optional<LineKind> KindOfAsciiLine(std::string_view rest, std::u16string_view boundary) {
    const auto ascii = [](auto c) { return static_cast<std::uint32_t>(c) < 0x80; };
    const std::string_view compared = rest.substr(0, boundary.size() + kHyphens);
    if (!std::all_of(boundary.begin(), boundary.end(), ascii) || !std::all_of(compared.begin(), compared.end(), ascii))
        return std::nullopt;
    if (compared.size() < boundary.size() ||
        !std::equal(boundary.begin(), boundary.end(), compared.begin(),
                    [](char16_t c, char b) { return c == static_cast<char16_t>(b); }))
        return LineKind::text;
    std::string_view after = rest.substr(boundary.size());
    while (!after.empty() && IsPadding(static_cast<char16_t>(after.back()))) after.remove_suffix(1);
    if (after.empty()) return LineKind::delimiter;
    return EqualsAscii(after, kDelimiterHyphens) ? LineKind::closing : LineKind::text;
}

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
        const bool closing =
            line.size() > 2 * kHyphens && EqualsAscii(line.substr(line.size() - kHyphens), kDelimiterHyphens);
        return closing ? LineKind::closing : LineKind::delimiter;
    }
    if (const std::optional<LineKind> kind = KindOfAsciiLine(line.substr(kHyphens), boundary)) return *kind;
    const std::u16string rest = qel::framework::Cp932ToWide(line.substr(kHyphens));
    if (rest.size() < boundary.size() || rest.compare(0, boundary.size(), boundary) != 0) return LineKind::text;
    std::u16string_view after = std::u16string_view(rest).substr(boundary.size());
    while (!after.empty() && IsPadding(after.back())) after.remove_suffix(1);
    if (after.empty()) return LineKind::delimiter;
    return after == kDelimiterHyphens ? LineKind::closing : LineKind::text;
}

// A parameter's value in a header value, from `at` (after the "=" and any
// blanks): a quoted string, in which a backslash quotes the next character,
// or a token up to a ";" or a blank. `at` is left after it.
std::u16string ParamValue(std::u16string_view value, std::size_t& at) {
    std::u16string param;
    if (at < value.size() && value[at] == kParamClose[0]) {
        for (++at; at < value.size() && value[at] != kParamClose[0]; ++at) {
            if (value[at] == u'\\' && at + 1 < value.size()) ++at;
            param += value[at];
        }
        return param;
    }
    while (at < value.size() && value[at] != kParamSeparator[0] && !IsBlank(value[at])) param += value[at++];
    return param;
}

// A parameter of a header value read as MIME writes parameters (the
// message's boundary, a page part's charset): each after a ";", blanks
// allowed around the name, the "=" and the value, the name in any case, the
// value a token or a quoted string. Empty when the value declares none.
std::u16string MimeParam(std::u16string_view value, std::u16string_view name) {
    const auto skipBlanks = [&](std::size_t at) {
        while (at < value.size() && IsBlank(value[at])) ++at;
        return at;
    };
    for (std::size_t at = value.find(kParamSeparator[0]); at != std::u16string_view::npos;
         at = value.find(kParamSeparator[0], at)) {
        const std::size_t nameStart = skipBlanks(at + 1);
        std::size_t nameEnd = std::min(value.find_first_of(u"=;", nameStart), value.size());
        at = nameEnd;
        if (nameEnd == value.size() || value[nameEnd] != kParamOpen[0]) continue;
        while (nameEnd > nameStart && IsBlank(value[nameEnd - 1])) --nameEnd;
        at = skipBlanks(at + 1);
        std::u16string param = ParamValue(value, at);
        if (qel::framework::EqualsNoCase(value.substr(nameStart, nameEnd - nameStart), name)) return param;
    }
    return {};
}

// A line that goes on the header line before it (RFC 5322 folding).
bool IsContinuation(std::string_view line) { return !line.empty() && IsBlank(static_cast<char16_t>(line[0])); }

// A line that is only the name parameter (name="photo.bmp";), as the
// original writer made the first header line of a part of a kind it had no
// content type for.
bool IsNamePiece(std::string_view line) {
    constexpr std::size_t kName = std::char_traits<char16_t>::length(kParamName);
    constexpr std::size_t kOpen = std::char_traits<char16_t>::length(kParamOpen);
    return line.size() > kName + kOpen && EqualsAscii(line.substr(0, kName), kParamName) &&
           EqualsAscii(line.substr(kName, kOpen), kParamOpen);
}

// The media type of a Content-Type value, without its parameters.
std::u16string_view MediaType(std::u16string_view value) {
    std::u16string_view type = value.substr(0, value.find(kParamSeparator[0]));
    while (!type.empty() && IsBlank(type.back())) type.remove_suffix(1);
    return type;
}

}  // namespace

// --- MimePart ------------------------------------------------------------------

MimePart::MimePart(AttachmentStore& store) : m_store(store) {}
MimePart::~MimePart() {
    if (m_bOpen) m_store.Discard();
}

bool MimePart::IsBase64() const { return qel::framework::EqualsNoCase(m_strTransferEncoding, kEncodingBase64); }
bool MimePart::Is8bit() const { return qel::framework::EqualsNoCase(m_strTransferEncoding, kEncoding8bit); }

// The part that says 8bit is the page, as the original's cards have it; so
// is a part of type text/html in any encoding, and the first part when it
// has no type (and is no Base64 attachment).
bool MimePart::IsPage() const {
    if (Is8bit() || qel::framework::EqualsNoCase(MediaType(m_strContentType), kHtmlMediaType)) return true;
    return m_bFirstPart && m_strContentType.empty() && !IsBase64();
}

// A header line is held until the next one shows it is not folded; lines
// that go on it are joined to it as they are (their blank kept).
void MimePart::AppendHeader(std::string_view line) {
    if (IsContinuation(line) && !m_header.empty()) {
        // A folded line longer than any real one is cut, as the reader cuts nothing else.
        if (m_header.size() + line.size() <= kMaxHeaderLine) m_header.append(line);
        return;
    }
    TakeHeader();
    if (!m_bHeaders && IsNamePiece(line)) m_strNameLine = TrimmedText(line);
    else m_header.assign(line);
    m_bHeaders = true;
}

void MimePart::TakeHeader() {
    std::string_view key, rest;
    if (m_header.empty() || !SplitHeader(m_header, key, rest)) {
        m_header.clear();
        return;
    }
    if (EqualsAscii(key, kKeyContentType)) m_strContentType = TrimmedText(rest);
    else if (EqualsAscii(key, kKeyTransferEncoding)) m_strTransferEncoding = TrimmedText(rest);
    else if (EqualsAscii(key, kKeyContentId)) m_strContentId = TrimmedText(rest);
    else if (EqualsAscii(key, kKeyContentDisposition)) m_strDisposition = TrimmedText(rest);
    m_header.clear();
}

std::u16string MimePart::Name() const {
    std::u16string name = GetParam(m_strContentType, kParamName);
    if (name.empty()) name = MimeParam(m_strContentType, kParamName);
    if (name.empty()) name = GetParam(m_strNameLine, kParamName);
    if (name.empty()) name = MimeParam(m_strDisposition, kParamFilename);
    return name;
}

void MimePart::StartBody() {
    TakeHeader();
    m_kind = IsPage() ? Kind::text : IsBase64() ? Kind::base64 : Kind::other;
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
void MimePart::AppendBody(std::string_view line) {
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

std::size_t MimePart::AppendBodyLines(std::string_view text) {
    if (!TakesBodyLines()) return 0;
    DecodeRun();  // the lines gathered before come first
    std::size_t taken = 0;
    while (m_bStreaming) {
        if (kChunkBytes - m_nChunk < kLineBytes) {
            Flush(m_chunk.get(), m_nChunk);
            m_nChunk = 0;
        }
        std::size_t used = 0;
        const std::size_t n = DecodeBase64Lines(text.data() + taken, text.size() - taken, m_chunk.get() + m_nChunk,
                                                kChunkBytes - m_nChunk, &used);
        if (used == 0) break;
        m_nChunk += n;
        m_nBodyLines += n / kLineBytes;
        taken += used;
    }
    return taken;
}

// Decodes the gathered run after the bytes the chunk holds. A run that holds
// a character outside the alphabet decodes to fewer bytes than its length
// promises; its lines then go through StreamLine one by one, which finds the
// first that is not clean.
void MimePart::DecodeRun() {
    if (m_run.empty()) return;
    const std::size_t whole = m_run.size() / 4 * 3;
    if (kChunkBytes - m_nChunk < whole) {
        Flush(m_chunk.get(), m_nChunk);
        m_nChunk = 0;
    }
    std::size_t n = kChunkBytes - m_nChunk;
    DecodeBase64(m_run.data(), m_run.size(), m_chunk.get() + m_nChunk, &n);
    if (n == whole) {
        m_nChunk += n;
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
void MimePart::StreamLine(std::string_view line, bool firstLine) {
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
// is then discarded, and the load fails. The store may still be writing the
// chunk when this returns (until its next call): decoding goes on in the
// other one.
void MimePart::Flush(const unsigned char* bytes, std::size_t count) {
    if (!m_bOpen) {
        m_store.Create(Name());
        m_bOpen = true;
    }
    m_store.Write(bytes, count);
    if (bytes != m_chunk.get()) return;
    if (!m_spare) m_spare.reset(new unsigned char[kChunkBytes]);
    m_chunk.swap(m_spare);
}

void MimePart::Finish() {
    TakeHeader();
    if (!IsBase64() || IsPage()) return;
    if (m_kind == Kind::base64) DecodeRun();
    // The bytes of the part that are not written yet: the chunk, then the
    // rest of the body decoded as one text.
    std::size_t restCount = 0;
    std::unique_ptr<unsigned char[]> restBytes;
    if (!m_rest.empty()) {
        restBytes = DecodeBase64Bytes(m_rest.data(), m_rest.size(), restCount);
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

void MimePart::Reset() noexcept {
    if (m_bOpen) m_store.Discard();
    m_bOpen = false;
    m_strContentType.clear();
    m_strTransferEncoding.clear();
    m_strContentId.clear();
    m_strNameLine.clear();
    m_strDisposition.clear();
    m_header.clear();
    m_bHeaders = false;
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

std::u16string MimePart::BodyText() const {
    const std::u16string charset = MimeParam(m_strContentType, kParamCharset);
    switch (PageEncodingOf(m_strTransferEncoding)) {
        case PageEncoding::base64: {
            std::size_t count = 0;
            const std::unique_ptr<unsigned char[]> bytes = DecodeBase64Bytes(m_body.data(), m_body.size(), count);
            const char* text = reinterpret_cast<const char*>(bytes.get());
            return DecodedPageText(text ? std::string_view(text, count) : std::string_view(), charset);
        }
        case PageEncoding::quotedPrintable: return DecodedPageText(DecodeQuotedPrintable(m_body), charset);
        case PageEncoding::asIs: break;
    }
    // The last line end belongs to the delimiter that ended the part; of the
    // empty lines before it, as many as the writer puts after a page that
    // says 8bit are its padding.
    std::string_view body(m_body);
    if (!body.empty()) body.remove_suffix(1);
    for (int i = 1; Is8bit() && i < kPageLineEnds && body.ends_with('\n'); ++i) body.remove_suffix(1);
    return PageText(body, charset);
}

// --- The reader -------------------------------------------------------------

namespace {

// The state of one read that the top-level header lines change.
struct HeaderState {
    bool pendingType = false;  // the first line was "ToruCa": the body decides
    bool pageLines = false;    // a page part with a line was taken
    std::u16string boundary;   // declared by the message's Content-Type; empty: none
};

// The header lines whose value is the trimmed text, and those whose value
// is a number; each key sets one member of the record.
struct TextHeader {
    const char16_t* key;
    void (CQelTpjFile::*set)(const std::u16string&);
};
constexpr TextHeader kTextHeaders[] = {
    {kKeyVersion, &CQelTpjFile::SetVersion},
    {kKeyUrl, &CQelTpjFile::SetUrl},
    {kKeyExpires, &CQelTpjFile::SetExpires},
    {kKeyLastModified, &CQelTpjFile::SetLastModified},
    {kKeyIpId, &CQelTpjFile::SetIpId},
    {kKeySortId, &CQelTpjFile::SetSortId},
    {kKeyMimeVersion, &CQelTpjFile::SetMimeVersion},
};
struct NumberHeader {
    const char16_t* key;
    void (CQelTpjFile::*set)(int);
};
constexpr NumberHeader kNumberHeaders[] = {
    {kKeyCategory, &CQelTpjFile::SetCategory},
    {kKeyDist, &CQelTpjFile::SetDist},
    {kKeyColorId, &CQelTpjFile::SetColorId},
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
        (record.*header.set)(ToInt(TrimmedText(rest)));
        return true;
    }
    return false;
}

// The Type values of the forms that share a magic line ("SNIP", "CARD") set
// the type; "PROJECT" and anything else change nothing.
void ReadTypeHeader(CQelTpjFile& record, std::string_view rest, HeaderState& state) {
    if (const CardForm* form = FormOfTypeValue(TrimBytes(rest))) {
        record.m_nType = form->type;
        state.pendingType = false;
    }
}

// The data line a key names, or nullptr for any other key.
std::string* DataLineOf(CQelTpjFile& record, std::string_view key) {
    if (EqualsAscii(key, kKeyData1)) return &record.m_strData1;
    if (EqualsAscii(key, kKeyData2)) return &record.m_strData2;
    if (EqualsAscii(key, kKeyData3)) return &record.m_strData3;
    return nullptr;
}

// The Base64 text is decoded from the file's bytes as they are: a byte that
// is not code page 932 is skipped like any other foreign character rather
// than turned into text first. The data line keeps the decoded bytes up to
// the first NUL, unconverted.
void ReadDataHeader(std::string& field, std::string_view rest) {
    const std::string_view text = TrimBytes(rest);
    std::size_t count = 0;
    const std::unique_ptr<unsigned char[]> bytes =
        DecodeBase64Bytes(text.empty() ? "" : text.data(), text.size(), count);
    const char* p = reinterpret_cast<const char*>(bytes.get());
    std::string data = p ? std::string(p, ::strnlen(p, count)) : std::string();
    field.swap(data);
}

void ReadHeaderLine(CQelTpjFile& record, std::string_view line, HeaderState& state) {
    std::string_view key, rest;
    if (!SplitHeader(line, key, rest)) return;
    if (ReadValueHeader(record, key, rest)) return;
    if (EqualsAscii(key, kKeyType)) {
        ReadTypeHeader(record, rest, state);
    } else if (std::string* field = DataLineOf(record, key)) {
        ReadDataHeader(*field, rest);
    } else if (EqualsAscii(key, kKeyContentType)) {
        state.boundary = MimeParam(TrimmedText(rest), kParamBoundary);
        record.SetBoundary(state.boundary);
    }
}

enum class State { envelope, betweenParts, partHeaders, partBody };

// The magic line gives the record's type, or leaves it to the body.
void ReadMagicLine(LineReader& lines, CQelTpjFile& record, HeaderState& headers) {
    std::string_view line;
    if (!lines.Next(line, kMaxHeaderLine)) return;
    if (EqualsAscii(line, kProjectForm.magic)) record.m_nType = kProjectForm.type;
    else if (EqualsAscii(line, kMagicToruca)) headers.pendingType = true;
}

// A line of a part that is no delimiter: a header line, the empty line
// that starts the body, or a line of the body. The state it leads to.
inline State ReadPartLine(State state, std::string_view line, MimePart& part) {
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

// The MIME header lines of the card (MIME-Version, Content-Type) are held
// until the next line shows whether it goes on them (RFC 5322 folding); the
// card's own lines are read at once, as they always were.
struct EnvelopeLines {
    std::string held;

    void Flush(CQelTpjFile& record, HeaderState& headers) {
        if (held.empty()) return;
        ReadHeaderLine(record, held, headers);
        held.clear();
    }
    void Read(std::string_view line, CQelTpjFile& record, HeaderState& headers) {
        if (IsContinuation(line) && !held.empty()) {
            if (held.size() + line.size() <= kMaxHeaderLine) held.append(line);
            return;
        }
        Flush(record, headers);
        std::string_view key, rest;
        if (SplitHeader(line, key, rest) && (EqualsAscii(key, kKeyContentType) || EqualsAscii(key, kKeyMimeVersion)))
            held.assign(line);
        else ReadHeaderLine(record, line, headers);
    }
};

// Reads the lines after the magic one: the header lines, and the parts,
// each taken into the record when a delimiter ends it, if it had a line.
// A part that no delimiter ended is dropped (and its attachment).
void ReadLines(LineReader& lines, CQelTpjFile& record, HeaderState& headers, MimePart& part) {
    State state = State::envelope;
    EnvelopeLines envelope;
    std::string_view line;
    for (;;) {
        // Base64 lines of the common layout go to the part in large runs,
        // straight from the reader's buffer.
        if (state == State::partBody && part.TakesBodyLines())
            lines.Skip(part.AppendBodyLines(lines.Buffered(kShortestLine)));
        if (!lines.Next(line, state == State::partBody ? LineReader::kAnyLength : kMaxHeaderLine)) break;
        // The boundary a folded Content-Type declares counts from the line after it.
        if (state == State::envelope && !IsContinuation(line)) envelope.Flush(record, headers);
        const LineKind kind = KindOfLine(line, headers.boundary);
        if (kind != LineKind::text) {
            if (state == State::partHeaders || state == State::partBody) {
                part.Finish();
                ReadMimePart(record, part);
                headers.pageLines = headers.pageLines || (part.IsPage() && !part.m_body.empty());
            }
            part.Reset();
            part.m_bFirstPart = state == State::envelope;
            state = kind == LineKind::closing ? State::envelope : State::betweenParts;
        } else if (state == State::envelope) {
            envelope.Read(line, record, headers);
        } else {
            state = ReadPartLine(state, line, part);
        }
    }
    envelope.Flush(record, headers);
    part.Reset();
}

// Reports a load that failed and undoes it: the attachments it made are
// removed, the images and the icon are as they were before. False.
bool FailedLoad(const std::exception& error, const std::u16string& path, CQelTpjFile& record,
                const CQelTpjImgFile& iconBefore, MimePart& part, AttachmentStore& store) {
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

bool ReadCard(CQelTpjFile& record, const std::u16string& path, AttachmentStore& store) {
    record.m_strHtml.clear();
    record.m_arrImages.RemoveAll();
    const CQelTpjImgFile iconBefore = record.m_uniqueIcon;
    // Outside the guard: a load that fails removes the attachments it made,
    // so that the failure leaves nothing behind.
    MimePart part(store);
    try {
        CFile file;
        CFileException openError;
        if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeText, &openError)) {
            qel::host::ReportFailure(qel::host::DescribeFailure(openError, u"", u"cannot be opened"));
            return false;
        }
        HeaderState headers;
        LineReader lines(
            [&file](char* into, std::size_t want) { return std::size_t{file.Read(into, static_cast<unsigned>(want))}; },
            [&file] {
                throw CFileException(CFileException::genericException, EOVERFLOW, file.GetFilePath(),
                                     u"cannot be read: a header line longer than 1 MiB");
            });
        ReadMagicLine(lines, record, headers);
        ReadLines(lines, record, headers, part);
        // A page part of an empty page still makes a detail: it had lines
        // (the writer's padding at least).
        if (headers.pendingType)
            record.m_nType = (record.m_strHtml.empty() && !headers.pageLines ? kSnippetForm : kDetailForm).type;
        file.Close();
        return true;
    } catch (const CException& error) {
        return FailedLoad(error, path, record, iconBefore, part, store);
    } catch (const std::bad_alloc& error) {
        return FailedLoad(error, path, record, iconBefore, part, store);
    }
}

bool LoadFile(CQelTpjFile& record, const std::u16string& path) {
    FolderStore temporaryFolder;
    if (!ReadCard(record, path, temporaryFolder)) return false;
    // The host owns its temporary folder: it removes them once the export is over.
    for (const std::u16string& attachment : temporaryFolder.Committed()) qel::host::ReportAttachment(attachment);
    return true;
}

void ReadMimePart(CQelTpjFile& record, const MimePart& part) {
    if (part.IsPage()) {
        record.m_strHtml = part.BodyText();
        return;
    }
    if (!part.IsBase64() || part.m_strSavedPath.empty()) return;
    const std::u16string& type = part.m_strContentType;
    if (type.find(kIconContentType) != std::u16string::npos) {
        record.SetUniqueIcon(part.m_strSavedPath, GetParam(type, kParamTitle));
        return;
    }
    std::u16string id = part.m_strContentId;
    if (!id.empty() && id[0] == kContentIdOpen) {
        id.erase(0, 1);
        const std::size_t gt = id.find(kContentIdClose);
        if (gt != std::u16string::npos && gt != 0) id.resize(gt);
    }
    record.AddImage(part.m_strSavedPath, id);
}

int ToInt(std::u16string_view value) {
    std::size_t i = 0;
    while (i < value.size() && (value[i] == u' ' || (value[i] >= u'\t' && value[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == u'+' || value[i] == u'-')) negative = value[i++] == u'-';
    // Out of range saturates, as the runtime's conversion does.
    long long n = 0;
    for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i) {
        n = n * 10 + (value[i] - u'0');
        if (n > static_cast<long long>(INT_MAX) + 1) n = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<int>(-n);
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

std::u16string GetParam(const std::u16string& value, const std::u16string& name) {
    static constexpr const char16_t* kSkipped[] = {kMultipartMixed, kIconContentType, kJpegContentType, kGifContentType,
                                                   kPngContentType};
    const std::u16string opening = name + kParamOpen;
    std::u16string rest = value;
    while (!rest.empty()) {
        std::u16string piece;
        const std::size_t semi = rest.find(kParamSeparator[0]);
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
        const std::size_t quote = piece.find(kParamClose[0], opening.size());
        if (quote != std::u16string::npos && quote > opening.size())
            return piece.substr(opening.size(), quote - opening.size());
    }
    return {};
}

}  // namespace qel::format
