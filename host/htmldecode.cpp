// Decoding the bytes of a page file into wide text.
#include <gumbo.h>
#include <iconv.h>
#include <uchardet/uchardet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "framework/codepage.h"
#include "host/htmlsource.h"

namespace qel::host {
namespace {

// How far the page is searched for a declared charset, as browsers do.
constexpr std::size_t kPrescanBytes = 1024;

std::string Lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsAsciiSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsAsciiSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

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

// The byte order of UTF-16 text that has no byte-order mark, told by where
// its zero bytes fall: the ASCII characters of a page's markup each have
// one, always on the same side of the pair. Empty when the bytes show no
// such pattern (an eight-bit page with a stray NUL shows none: it needs a
// zero in at least one pair of eight on one side and hardly any on the
// other).
std::string Utf16ByteOrderByZeros(std::string_view bytes) {
    constexpr std::size_t kSample = 65536;
    const std::size_t n = std::min(bytes.size(), kSample) & ~std::size_t{1};
    std::size_t highZero = 0, lowZero = 0;  // zero first byte (big-endian ASCII), zero second byte
    for (std::size_t i = 0; i < n; i += 2) {
        if (bytes[i] == '\0') ++highZero;
        if (bytes[i + 1] == '\0') ++lowZero;
    }
    const std::size_t pairs = n / 2;
    auto dominates = [pairs](std::size_t side, std::size_t other) {
        return side >= 2 && side * 8 >= pairs && other * 4 <= side;
    };
    if (dominates(lowZero, highZero)) return "UTF-16LE";
    if (dominates(highZero, lowZero)) return "UTF-16BE";
    return {};
}

// The charset named in a Content-Type value ("text/html; charset=x-sjis"),
// as the HTML standard extracts it from a meta element's content.
std::string CharsetFromContent(std::string_view content) {
    const std::string lower = Lowered(content);
    std::size_t pos = 0;
    while ((pos = lower.find("charset", pos)) != std::string::npos) {
        std::size_t i = pos + 7;
        while (i < lower.size() && IsAsciiSpace(lower[i])) ++i;
        if (i >= lower.size() || lower[i] != '=') {
            pos = i;
            continue;
        }
        ++i;
        while (i < lower.size() && IsAsciiSpace(lower[i])) ++i;
        if (i >= lower.size()) return {};
        if (lower[i] == '"' || lower[i] == '\'') {
            const std::size_t close = lower.find(lower[i], i + 1);
            if (close == std::string::npos) return {};
            return lower.substr(i + 1, close - i - 1);
        }
        std::size_t j = i;
        while (j < lower.size() && !IsAsciiSpace(lower[j]) && lower[j] != ';') ++j;
        return lower.substr(i, j - i);
    }
    return {};
}

const char* AttributeValue(const GumboElement& el, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&el.attributes, name);
    return a ? a->value : nullptr;
}

}  // namespace

std::string EncodingOfLabel(std::string_view label) {
    const std::string l = Lowered(Trimmed(label));
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
            if (l == Lowered(name)) return true;
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

namespace {

// Each byte as the character of its value, in UTF-8.
std::string BytesAsLatin1(std::string_view bytes) {
    std::string latin1;
    latin1.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            latin1.push_back(c);
        } else {
            latin1.push_back(static_cast<char>(0xC0 | b >> 6));
            latin1.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return latin1;
}

// The encoding a meta element declares, by its charset attribute or as an
// http-equiv Content-Type; empty when it declares none that can be read.
std::string EncodingOfMeta(const GumboElement& meta) {
    if (const char* charset = AttributeValue(meta, "charset")) return EncodingOfLabel(charset);
    const char* equiv = AttributeValue(meta, "http-equiv");
    const char* content = AttributeValue(meta, "content");
    if (equiv && content && Lowered(Trimmed(equiv)) == "content-type")
        return EncodingOfLabel(CharsetFromContent(content));
    return {};
}

// The encoding of the first meta element in document order that declares one.
std::string FirstMetaEncoding(const GumboNode* document) {
    std::vector<const GumboNode*> stack{document};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        const GumboVector* children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT) {
            const GumboElement& el = node->v.element;
            if (el.tag == GUMBO_TAG_META)
                if (std::string found = EncodingOfMeta(el); !found.empty()) return found;
            children = &el.children;
        } else {
            continue;
        }
        // Children in reverse so that the first meta in document order is seen first.
        for (unsigned i = children->length; i-- > 0;) stack.push_back(static_cast<const GumboNode*>(children->data[i]));
    }
    return {};
}

}  // namespace

std::string DeclaredEncoding(std::string_view head) {
    // The meta elements are found by the HTML parser itself over the first
    // bytes read one byte to one character: the markup that declares a
    // charset is ASCII in every encoding a page can declare that way, and
    // comments and scripts hide what they hold as they do in a browser.
    const std::string latin1 = BytesAsLatin1(head);
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* output = gumbo_parse_with_options(&options, latin1.data(), latin1.size());
    if (!output) return {};
    std::string found = FirstMetaEncoding(output->document);
    gumbo_destroy_output(&options, output);
    return found;
}

DecodedHtml DecodeHtmlBytes(std::string_view bytes) {
    if (StartsWith(bytes, "\xEF\xBB\xBF")) return {qel::framework::Utf8ToWide(bytes.substr(3)), "UTF-8"};
    if (StartsWith(bytes, "\xFF\xFE")) return {DecodeUtf16(bytes.substr(2), false), "UTF-16LE"};
    if (StartsWith(bytes, "\xFE\xFF")) return {DecodeUtf16(bytes.substr(2), true), "UTF-16BE"};

    // Before any guess that reads bytes one by one: UTF-16 passes the UTF-8
    // check (a NUL is valid UTF-8) and would read as one character a line.
    const std::string utf16 = Utf16ByteOrderByZeros(bytes);
    if (!utf16.empty()) return {DecodeUtf16(bytes, utf16 == "UTF-16BE"), utf16};

    auto decodeAs = [bytes](const std::string& encoding) -> DecodedHtml {
        return {DecodeBytesAs(bytes, encoding), encoding};
    };
    const std::string declared = DeclaredEncoding(bytes.substr(0, kPrescanBytes));
    if (!declared.empty()) return decodeAs(declared);

    // uchardet is asked only about what it can tell well: Japanese
    // multi-byte text. On short pieces it names Latin or Cyrillic code pages
    // for what is Shift_JIS.
    auto japaneseGuess = [bytes]() -> std::string {
        std::string guess;
        uchardet_t ud = uchardet_new();
        if (!ud) return guess;
        if (uchardet_handle_data(ud, bytes.data(), bytes.size()) == 0) {
            uchardet_data_end(ud);
            const std::string name = Lowered(uchardet_get_charset(ud));
            if (name == "shift_jis") guess = "CP932";
            else if (name == "euc-jp") guess = "EUC-JP";
            else if (name == "iso-2022-jp") guess = "ISO-2022-JP";
        }
        uchardet_delete(ud);
        return guess;
    };
    if (qel::framework::IsValidUtf8(bytes)) {
        // ISO-2022-JP is seven-bit, so it passes as UTF-8; its escape
        // sequences (ESC) never occur in a UTF-8 page's text.
        if (bytes.find('\x1B') != std::string_view::npos && japaneseGuess() == "ISO-2022-JP")
            return decodeAs("ISO-2022-JP");
        return decodeAs("UTF-8");
    }
    const std::string guess = japaneseGuess();
    if (!guess.empty()) return decodeAs(guess);
    // uchardet says nothing Japanese about short pages. Bytes that only
    // EUC-JP reads without error are EUC-JP ("日本語" is no Shift_JIS); bytes
    // that both read (half-width katakana in Shift_JIS are valid EUC-JP pairs)
    // stay code page 932, as they were always read.
    DecodedHtml sjis = decodeAs("CP932");
    if (sjis.text.find(u'\uFFFD') != std::u16string::npos) {
        DecodedHtml euc = decodeAs("EUC-JP");
        if (euc.text.find(u'\uFFFD') == std::u16string::npos) return euc;
    }
    return sjis;
}

std::u16string DecodeBytesAs(std::string_view bytes, const std::string& encoding) {
    if (encoding == "UTF-8") return qel::framework::Utf8ToWide(bytes);
    if (encoding == "CP932") return qel::framework::Cp932ToWide(bytes);
    if (encoding == "UTF-16LE" || encoding == "UTF-16BE") return DecodeUtf16(bytes, encoding == "UTF-16BE");
    return DecodeIconv(bytes, encoding);
}

}  // namespace qel::host
