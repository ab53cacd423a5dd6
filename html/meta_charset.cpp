#include "html/meta_charset.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "framework/strings.h"
#include "host/html/dom.h"

namespace qel::html {

namespace {

bool IsAsciiSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r'; }

std::u16string_view TrimAsciiSpace(std::u16string_view s) {
    while (!s.empty() && IsAsciiSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsAsciiSpace(s.back())) s.remove_suffix(1);
    return s;
}

std::size_t SkipAsciiSpace(std::u16string_view s, std::size_t p) {
    while (p < s.size() && IsAsciiSpace(s[p])) ++p;
    return p;
}

// The value at `p`, after "charset=" and its blanks: in quotes, or up to a
// blank or ';'.
bool ReadCharsetValue(std::u16string_view content, std::size_t p, std::size_t& start, std::size_t& length) {
    const std::size_t n = content.size();
    if (p >= n) return false;
    if (content[p] == u'"' || content[p] == u'\'') {
        const std::size_t close = content.find(content[p], p + 1);
        if (close == std::u16string_view::npos) return false;
        start = p + 1;
        length = close - start;
    } else {
        std::size_t end = p;
        while (end < n && !IsAsciiSpace(content[end]) && content[end] != u';') ++end;
        start = p;
        length = end - p;
    }
    return !TrimAsciiSpace(content.substr(start, length)).empty();
}

// Finds the charset label inside the value of a meta element's "content"
// attribute ("text/html; charset=utf-8") the way a browser reads it: the
// first "charset" (any case) followed, blanks allowed, by "=", then a value
// in quotes or up to a blank or ';'. `start` and `length` give the label's
// place (inside the quotes when quoted); an empty label or an unmatched
// quote finds nothing.
bool FindContentCharset(std::u16string_view content, std::size_t& start, std::size_t& length) {
    std::u16string lowered(content);
    for (char16_t& c : lowered) c = qel::framework::AsciiLower(c);
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = lowered.find(u"charset", from);
        if (at == std::u16string::npos) return false;
        const std::size_t p = SkipAsciiSpace(content, at + 7);
        if (p < content.size() && content[p] == u'=')
            return ReadCharsetValue(content, SkipAsciiSpace(content, p + 1), start, length);
        from = at + 7;  // "charsetx", "charset;": look further on
    }
}

// White space of an XML declaration: S (blank, tab, CR, LF).
bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::size_t SkipXmlSpace(const std::u16string& s, std::size_t q, std::size_t end) {
    while (q < end && IsXmlSpace(s[q])) ++q;
    return q;
}

// The quoted encoding name at `q`, replaced by Shift_JIS's unless it is
// that already; the declaration ends at `end`.
bool ReplaceXmlEncoding(std::u16string& markup, std::size_t q, std::size_t end) {
    if (q >= end || (markup[q] != u'"' && markup[q] != u'\'')) return false;
    const std::size_t close = markup.find(markup[q], q + 1);
    if (close == std::u16string::npos || close > end) return false;
    const std::u16string_view label = std::u16string_view(markup).substr(q + 1, close - q - 1);
    if (TrimAsciiSpace(label).empty() || IsShiftJisLabel(label)) return false;
    markup.replace(q + 1, close - q - 1, kShiftJisLabel);
    return true;
}

}  // namespace

bool IsShiftJisLabel(std::u16string_view label) {
    static constexpr std::array<std::u16string_view, 10> kLabels = {u"shift_jis",   u"shift-jis", u"sjis",  u"x-sjis",
                                                                    u"windows-31j", u"cp932",     u"ms932", u"ms_kanji",
                                                                    u"csshiftjis",  u"x-ms-cp932"};
    const std::u16string_view trimmed = TrimAsciiSpace(label);
    return std::any_of(kLabels.begin(), kLabels.end(),
                       [&](std::u16string_view known) { return qel::framework::EqualsNoCase(trimmed, known); });
}

int DeclareShiftJis(Document& doc) {
    int changed = 0;
    const NodeList metas = doc.getElementsByTagName(u"meta");
    for (unsigned i = 0; i < metas.length(); ++i) {
        auto* meta = dynamic_cast<Element*>(metas.item(i));
        if (!meta) continue;

        const std::u16string charset = meta->getAttribute(u"charset");
        if (!TrimAsciiSpace(charset).empty() && !IsShiftJisLabel(charset)) {
            meta->setAttribute(u"charset", kShiftJisLabel);
            ++changed;
        }

        if (!qel::framework::EqualsNoCase(TrimAsciiSpace(meta->getAttribute(u"http-equiv")), u"content-type")) continue;
        std::u16string content = meta->getAttribute(u"content");
        std::size_t start = 0, length = 0;
        if (FindContentCharset(content, start, length) &&
            !IsShiftJisLabel(std::u16string_view(content).substr(start, length))) {
            content.replace(start, length, kShiftJisLabel);
            meta->setAttribute(u"content", content);
            ++changed;
        }
    }
    return changed;
}

bool DeclareShiftJisInXmlDeclaration(std::u16string& markup) {
    // XMLDecl ::= '<?xml' VersionInfo EncodingDecl? SDDecl? S? '?>', at the
    // very start; its names are case-sensitive.
    const std::size_t p = !markup.empty() && markup[0] == u'\uFEFF' ? 1 : 0;
    if (markup.compare(p, 5, u"<?xml") != 0 || p + 5 >= markup.size() || !IsXmlSpace(markup[p + 5])) return false;
    const std::size_t end = markup.find(u"?>", p + 5);
    if (end == std::u16string::npos) return false;
    for (std::size_t at = markup.find(u"encoding", p + 5); at < end; at = markup.find(u"encoding", at + 8)) {
        if (!IsXmlSpace(markup[at - 1])) continue;
        const std::size_t q = SkipXmlSpace(markup, at + 8, end);
        if (q >= end || markup[q] != u'=') continue;
        return ReplaceXmlEncoding(markup, SkipXmlSpace(markup, q + 1, end), end);
    }
    return false;
}

}  // namespace qel::html
