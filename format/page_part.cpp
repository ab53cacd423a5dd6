#include "format/page_part.h"

#include "format/toruca_format.h"
#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/charset.h"

namespace qel::format {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One line of a quoted-printable body appended to `out`; false when it ends
// in a soft line break.
bool AppendQuotedPrintableLine(std::string& out, std::string_view line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '=') {
            out.push_back(line[i]);
            continue;
        }
        if (i + 1 == line.size()) return false;
        const int high = i + 2 < line.size() ? HexDigit(line[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(line[i + 2]) : -1;
        if (low < 0) {
            out.push_back('=');
            continue;
        }
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

}  // namespace

PageEncoding PageEncodingOf(std::u16string_view transferEncoding) {
    const std::u16string value = qel::framework::Trim(transferEncoding);
    if (qel::framework::EqualsNoCase(value, kEncodingBase64)) return PageEncoding::base64;
    if (qel::framework::EqualsNoCase(value, kEncodingQuotedPrintable)) return PageEncoding::quotedPrintable;
    return PageEncoding::asIs;
}

std::string DecodeQuotedPrintable(std::string_view body) {
    // The last line end is the delimiter's.
    if (body.ends_with('\n')) body.remove_suffix(1);
    std::string out;
    out.reserve(body.size());
    for (std::size_t pos = 0;;) {
        const std::size_t end = body.find('\n', pos);
        const bool hard = AppendQuotedPrintableLine(out, body.substr(pos, end - pos));
        if (end == std::string_view::npos) break;
        if (hard) out.push_back('\n');
        pos = end + 1;
    }
    return out;
}

std::u16string PageText(std::string_view lines, std::u16string_view charset) {
    const std::string encoding =
        charset.empty() ? std::string() : qel::host::EncodingOfLabel(qel::framework::WideToUtf8(charset));
    std::u16string text;
    text.reserve(lines.size() + lines.size() / 8);
    if (encoding.empty() || encoding == "CP932") {
        for (std::size_t pos = 0;;) {
            const std::size_t end = lines.find('\n', pos);
            qel::framework::AppendCp932AsWide(text, lines.substr(pos, end - pos));
            if (end == std::string_view::npos) break;
            text.append(kCrLf);
            pos = end + 1;
        }
        return text;
    }
    // Another charset is decoded whole (a LF may be a byte of a character
    // in it), and its line ends made CR LF after.
    for (const char16_t c : qel::host::DecodeBytesAs(lines, encoding)) {
        if (c == u'\n') text += u'\r';
        text += c;
    }
    return text;
}

std::u16string DecodedPageText(std::string_view bytes, std::u16string_view charset) {
    std::string lines;
    lines.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != '\r' || i + 1 == bytes.size() || bytes[i + 1] != '\n') lines.push_back(bytes[i]);
    return PageText(lines, charset);
}

}  // namespace qel::format
