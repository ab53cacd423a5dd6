// Text in a named character set: the labels pages and URLs use, and
// decoding bytes in one of them to wide text.
#include "host/charset.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "framework/codepage.h"

namespace qel::host {

std::string AsciiLowered(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

std::string_view TrimmedAscii(std::string_view s) {
    while (!s.empty() && IsAsciiSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsAsciiSpace(s.back())) s.remove_suffix(1);
    return s;
}

namespace {

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string out;
    out.reserve(bytes.size() / 2 + 1);
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
    }
    if (i < bytes.size()) out.push_back(u'\uFFFD');  // an odd byte at the end
    return out;
}

// Decodes through glibc's iconv. A byte sequence that `charset` does not
// allow reads as U+FFFD and decoding goes on at the next byte.
std::u16string DecodeIconv(std::string_view bytes, const std::string& charset) {
    iconv_t cd = iconv_open("UTF-16LE", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return qel::framework::Cp932ToWide(bytes);
    std::u16string out;
    out.reserve(bytes.size());
    std::vector<char> buffer(16384);
    auto flush = [&](const char* upto) {
        for (const char* q = buffer.data(); q + 1 < upto; q += 2)
            out.push_back(
                static_cast<char16_t>(static_cast<unsigned char>(q[0]) | static_cast<unsigned char>(q[1]) << 8));
    };
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    bool ending = false;
    for (;;) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        // The last call, with no input, writes what a stateful encoding still holds.
        const std::size_t r =
            ending ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft) : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        flush(outPtr);
        if (r != static_cast<std::size_t>(-1)) {
            if (ending) break;
            ending = true;
            continue;
        }
        if (err == E2BIG) continue;
        if (ending) break;
        // EILSEQ, or EINVAL for a sequence cut off at the end.
        out.push_back(u'\uFFFD');
        if (inLeft == 0) break;
        ++in;
        --inLeft;
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string EncodingOfLabel(std::string_view label) {
    const std::string l = AsciiLowered(TrimmedAscii(label));
    if (l.empty() || l.size() > 40) return {};
    static const char* const kUtf8[] = {"utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8",
                                        "x-unicode20utf8",
                                        // A page cannot declare UTF-16 for itself: its bytes read as ASCII.
                                        "utf-16", "utf-16le", "utf-16be", "unicode", "unicodefeff", "unicodefffe",
                                        "ucs-2", "csunicode", "iso-10646-ucs-2"};
    static const char* const kCp932[] = {"shift_jis",   "shift-jis",   "sjis",       "x-sjis",
                                         "windows-31j", "ms932",       "ms_kanji",   "cp932",
                                         "csshiftjis",  "windows-932", "x-ms-cp932", "csWindows31J"};
    static const char* const kEucJp[] = {"euc-jp", "eucjp", "x-euc-jp", "x-euc", "cseucpkdfmtjapanese"};
    static const char* const kIso2022Jp[] = {"iso-2022-jp", "csiso2022jp"};
    static const char* const kLatin1[] = {"iso-8859-1", "iso8859-1",    "iso_8859-1", "latin1",   "l1",    "us-ascii",
                                          "ascii",      "windows-1252", "cp1252",     "x-cp1252", "cp819", "ibm819"};
    auto in = [&l](const auto& list) {
        for (const char* name : list)
            if (l == AsciiLowered(name)) return true;
        return false;
    };
    if (in(kUtf8)) return "UTF-8";
    if (in(kCp932)) return "CP932";
    if (in(kEucJp)) return "EUC-JP";
    if (in(kIso2022Jp)) return "ISO-2022-JP";
    if (in(kLatin1)) return "WINDOWS-1252";  // as browsers read these labels
    // Any other charset that glibc knows; the label reaches iconv_open only
    // when it looks like a charset name.
    for (char c : l)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':'))
            return {};
    std::string name = l;
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    iconv_t cd = iconv_open("UTF-16LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    iconv_close(cd);
    return name;
}

std::u16string DecodeBytesAs(std::string_view bytes, const std::string& encoding) {
    if (encoding == "UTF-8") return qel::framework::Utf8ToWide(bytes);
    if (encoding == "CP932") return qel::framework::Cp932ToWide(bytes);
    if (encoding == "UTF-16LE" || encoding == "UTF-16BE") return DecodeUtf16(bytes, encoding == "UTF-16BE");
    return DecodeIconv(bytes, encoding);
}

}  // namespace qel::host
