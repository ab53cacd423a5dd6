#include "html/data_url.h"

#include <array>
#include <utility>

#include "format/base64.h"
#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/filekind.h"

namespace qel::html {

namespace {

bool IsAsciiWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

std::string_view TrimAsciiWhitespace(std::string_view s) {
    while (!s.empty() && IsAsciiWhitespace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsAsciiWhitespace(s.back())) s.remove_suffix(1);
    return s;
}

std::string AsciiLowered(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%XX" escapes turned into their bytes; a '%' that starts none stays.
std::string PercentDecoded(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        int high, low;
        if (s[i] == '%' && i + 2 < s.size() && (high = HexValue(s[i + 1])) >= 0 && (low = HexValue(s[i + 2])) >= 0) {
            out += static_cast<char>(high << 4 | low);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The WHATWG "forgiving-base64 decode": white space dropped, one or two '='
// allowed at the end of a text whose length is a multiple of four, nothing
// else outside the alphabet, and no length that leaves a single digit. The
// digits are then decoded by the codec of the card files.
bool ForgivingBase64(std::string_view text, std::string& bytes) {
    std::string digits;
    digits.reserve(text.size());
    for (char c : text)
        if (!IsAsciiWhitespace(c)) digits += c;
    if (digits.size() % 4 == 0) {
        for (int i = 0; i < 2 && !digits.empty() && digits.back() == '='; ++i) digits.pop_back();
    }
    if (digits.size() % 4 == 1) return false;
    for (char c : digits)
        if (Base64DigitValue(c) < 0) return false;
    std::size_t length = digits.size() / 4 * 3 + 2;
    bytes.assign(length, '\0');
    if (!DecodeBase64(digits.data(), digits.size(), reinterpret_cast<unsigned char*>(bytes.data()), &length))
        return false;
    bytes.resize(length);
    return true;
}

}  // namespace

bool ParseDataUrl(std::u16string_view value, DataUrl& out) {
    // As a browser takes a URL from an attribute.
    std::size_t first = 0, last = value.size();
    while (first < last && value[first] <= 0x20) ++first;
    while (last > first && value[last - 1] <= 0x20) --last;
    std::u16string kept;
    kept.reserve(last - first);
    for (std::size_t i = first; i < last; ++i)
        if (value[i] != u'\t' && value[i] != u'\n' && value[i] != u'\r') kept += value[i];
    if (!qel::framework::StartsWithNoCase(kept, u"data:")) return false;
    // The fragment is no part of the resource, as a browser fetches it.
    if (const std::size_t hash = kept.find(u'#'); hash != std::u16string::npos) kept.resize(hash);
    const std::string url = qel::framework::WideToUtf8(std::u16string_view(kept).substr(5));

    const std::size_t comma = url.find(',');
    if (comma == std::string::npos) return false;
    std::string type(TrimAsciiWhitespace(std::string_view(url).substr(0, comma)));
    const std::string body = PercentDecoded(std::string_view(url).substr(comma + 1));

    // ";base64" at the end of the type, blanks allowed before "base64".
    bool base64 = false;
    {
        const std::string lowered = AsciiLowered(type);
        if (lowered.size() >= 6 && lowered.compare(lowered.size() - 6, 6, "base64") == 0) {
            std::string_view rest = std::string_view(type).substr(0, type.size() - 6);
            while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
            if (!rest.empty() && rest.back() == ';') {
                rest.remove_suffix(1);
                type = std::string(rest);
                base64 = true;
            }
        }
    }
    if (base64) {
        if (!ForgivingBase64(body, out.bytes)) return false;
    } else {
        out.bytes = body;
    }

    // Only the essence counts here ("image/png" of "image/png;name=a.png").
    const std::string essence = AsciiLowered(TrimAsciiWhitespace(std::string_view(type).substr(0, type.find(';'))));
    // A type and a subtype of token characters, else the default type.
    static constexpr std::string_view kNotToken = " \t\"(),/:;<=>?@[\\]{}";
    const std::size_t slash = essence.find('/');
    const std::string_view kind = std::string_view(essence).substr(0, slash);
    const std::string_view sub =
        slash == std::string::npos ? std::string_view() : std::string_view(essence).substr(slash + 1);
    const bool valid = !kind.empty() && !sub.empty() && kind.find_first_of(kNotToken) == std::string_view::npos &&
                       sub.find_first_of(kNotToken) == std::string_view::npos;
    out.mediaType = valid ? essence : "text/plain";
    return true;
}

std::u16string DataUrlExtension(const DataUrl& data) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.bytes.data());
    if (CQelTktUtil::whatKindOfData(bytes, data.bytes.size()) == CQelTktUtil::KIND_FLASH) return u"swf";
    switch (CQelTktUtil::whatKindOfImageData(bytes, data.bytes.size())) {
        case CQelTktUtil::IMAGE_GIF: return u"gif";
        case CQelTktUtil::IMAGE_JPEG: return u"jpg";
        case CQelTktUtil::IMAGE_PNG: return u"png";
        default: break;
    }
    static constexpr std::array<std::pair<std::string_view, std::u16string_view>, 12> kTypes = {{
        {"image/gif", u"gif"},
        {"image/jpeg", u"jpg"},
        {"image/jpg", u"jpg"},
        {"image/pjpeg", u"jpg"},
        {"image/png", u"png"},
        {"image/x-png", u"png"},
        {"image/bmp", u"bmp"},
        {"image/x-ms-bmp", u"bmp"},
        {"image/webp", u"webp"},
        {"image/svg+xml", u"svg"},
        {"image/x-icon", u"ico"},
        {"application/x-shockwave-flash", u"swf"},
    }};
    for (const auto& [type, extension] : kTypes)
        if (data.mediaType == type) return std::u16string(extension);
    return {};
}

}  // namespace qel::html
