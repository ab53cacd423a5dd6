// Decoding the bytes of a page file into wide text.
#include <gumbo.h>
#include <uchardet/uchardet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "framework/codepage.h"
#include "host/charset.h"
#include "host/html/htmlsource.h"

namespace qel::host {
namespace {

// How far the page is searched for a declared charset, as browsers do.
constexpr std::size_t kPrescanBytes = 1024;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

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
    const std::string lower = AsciiLowered(content);
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
    if (equiv && content && AsciiLowered(TrimmedAscii(equiv)) == "content-type")
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
    if (StartsWith(bytes, "\xFF\xFE")) return {DecodeBytesAs(bytes.substr(2), "UTF-16LE"), "UTF-16LE"};
    if (StartsWith(bytes, "\xFE\xFF")) return {DecodeBytesAs(bytes.substr(2), "UTF-16BE"), "UTF-16BE"};

    // Before any guess that reads bytes one by one: UTF-16 passes the UTF-8
    // check (a NUL is valid UTF-8) and would read as one character a line.
    const std::string utf16 = Utf16ByteOrderByZeros(bytes);
    if (!utf16.empty()) return {DecodeBytesAs(bytes, utf16), utf16};

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
            const std::string name = AsciiLowered(uchardet_get_charset(ud));
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

}  // namespace qel::host
