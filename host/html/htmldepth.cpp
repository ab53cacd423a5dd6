#include "host/html/htmldepth.h"

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace qel::host {

namespace {

bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAlpha(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

bool IsVoid(GumboTag t) {
    switch (t) {
        case GUMBO_TAG_AREA:
        case GUMBO_TAG_BASE:
        case GUMBO_TAG_BASEFONT:
        case GUMBO_TAG_BGSOUND:
        case GUMBO_TAG_BR:
        case GUMBO_TAG_COL:
        case GUMBO_TAG_EMBED:
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_HR:
        case GUMBO_TAG_IMAGE:
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_INPUT:
        case GUMBO_TAG_ISINDEX:
        case GUMBO_TAG_KEYGEN:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_MENUITEM:
        case GUMBO_TAG_META:
        case GUMBO_TAG_PARAM:
        case GUMBO_TAG_SOURCE:
        case GUMBO_TAG_TRACK:
        case GUMBO_TAG_WBR: return true;
        default: return false;
    }
}

// Elements whose content is text up to their own end tag.
bool IsRawText(GumboTag t) {
    switch (t) {
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_TEXTAREA:
        case GUMBO_TAG_TITLE:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_NOEMBED:
        case GUMBO_TAG_NOFRAMES: return true;
        default: return false;
    }
}

// Start tags that close an open <p>. A table does so only in a page with a
// standard doctype; pages without one, as most old pages are, keep the p
// open around it, and counting it open is the safe side.
bool ClosesP(GumboTag t) {
    switch (t) {
        case GUMBO_TAG_ADDRESS:
        case GUMBO_TAG_ARTICLE:
        case GUMBO_TAG_ASIDE:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_CENTER:
        case GUMBO_TAG_DETAILS:
        case GUMBO_TAG_DIR:
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_DL:
        case GUMBO_TAG_FIELDSET:
        case GUMBO_TAG_FIGCAPTION:
        case GUMBO_TAG_FIGURE:
        case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_FORM:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
        case GUMBO_TAG_HEADER:
        case GUMBO_TAG_HGROUP:
        case GUMBO_TAG_MAIN:
        case GUMBO_TAG_MENU:
        case GUMBO_TAG_NAV:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_P:
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_SECTION:
        case GUMBO_TAG_SUMMARY:
        case GUMBO_TAG_UL:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_DT: return true;
        default: return false;
    }
}

// Start tags before which the parser reopens closed formatting elements:
// phrasing content, not blocks, table parts or the head's elements.
bool Reopens(GumboTag t) {
    if (ClosesP(t)) return false;
    switch (t) {
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_COLGROUP:
        case GUMBO_TAG_COL:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TFOOT:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
        case GUMBO_TAG_META:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_TITLE:
        case GUMBO_TAG_BASE:
        case GUMBO_TAG_HR:
        case GUMBO_TAG_TEXTAREA:
        case GUMBO_TAG_PLAINTEXT:
        case GUMBO_TAG_XMP: return false;
        default: return true;
    }
}

bool IsTableSection(GumboTag t) { return t == GUMBO_TAG_TBODY || t == GUMBO_TAG_THEAD || t == GUMBO_TAG_TFOOT; }
bool IsCell(GumboTag t) { return t == GUMBO_TAG_TD || t == GUMBO_TAG_TH; }

bool IsFormatting(GumboTag t) {
    switch (t) {
        case GUMBO_TAG_A:
        case GUMBO_TAG_B:
        case GUMBO_TAG_BIG:
        case GUMBO_TAG_CODE:
        case GUMBO_TAG_EM:
        case GUMBO_TAG_FONT:
        case GUMBO_TAG_I:
        case GUMBO_TAG_NOBR:
        case GUMBO_TAG_S:
        case GUMBO_TAG_SMALL:
        case GUMBO_TAG_STRIKE:
        case GUMBO_TAG_STRONG:
        case GUMBO_TAG_TT:
        case GUMBO_TAG_U: return true;
        default: return false;
    }
}

// Elements that end the reopening of formatting elements: what was left
// open inside them is not carried out of them.
bool IsMarker(GumboTag t) {
    switch (t) {
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_APPLET:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_MARQUEE:
        case GUMBO_TAG_TEMPLATE: return true;
        default: return false;
    }
}

// FNV-1a of a start tag's text, ASCII case folded: formatting elements of
// the same text are the "identical" ones of which the parser keeps three.
std::uint64_t TagKey(std::string_view text) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        h *= 1099511628211ull;
    }
    return h;
}

class Scanner {
public:
    explicit Scanner(std::size_t stopAbove) : m_stopAbove(stopAbove) {}

    HtmlNesting Run(std::string_view s) {
        std::size_t i = 0;
        while (i < s.size() && !Over()) {
            const std::size_t lt = s.find('<', i);
            if (lt != i && HasText(s.substr(i, (lt == std::string_view::npos ? s.size() : lt) - i))) Reconstruct();
            if (lt == std::string_view::npos || lt + 1 >= s.size()) break;
            i = Markup(s, lt + 1);
        }
        return {m_max, m_work, m_elements};
    }

private:
    // One entry of the list of formatting elements that the parser reopens
    // (clones) wherever content follows after they were closed implicitly.
    struct Formatting {
        GumboTag tag;
        std::uint64_t key;
        bool open;    // on the stack now
        bool marker;  // no element: the start of a cell, caption or object
    };

    // What follows a '<' (s[i] is the character after it); returns where
    // the scan goes on.
    std::size_t Markup(std::string_view s, std::size_t i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '!') return SkipBang(s, i);
        if (c == '?') return SkipTo(s, i, '>');
        if (c == '/' && i + 1 < s.size() && IsAlpha(static_cast<unsigned char>(s[i + 1]))) {
            const GumboTag t = Name(s, ++i);
            i = SkipTag(s, i, nullptr);
            EndTag(t);
            return i;
        }
        if (IsAlpha(c)) return StartTagAt(s, i);
        Reconstruct();  // a '<' that starts no tag is text
        return i;
    }

    // The start tag whose name begins at s[i]; returns where the scan goes on.
    std::size_t StartTagAt(std::string_view s, std::size_t i) {
        const std::size_t tagStart = i;
        const GumboTag t = Name(s, i);
        bool selfClosing = false;
        i = SkipTag(s, i, &selfClosing);
        if (t == GUMBO_TAG_PLAINTEXT) {
            StartTag(t, 0);
            return s.size();  // the rest of the page is text
        }
        if (selfClosing && m_foreign > 0) return i;  // <path/> in SVG or MathML
        StartTag(t, IsFormatting(t) ? TagKey(s.substr(tagStart, i - tagStart)) : 0);
        return IsRawText(t) ? SkipRawText(s, i, t) : i;
    }

    // A comment, or a doctype or other declaration after "<!".
    static std::size_t SkipBang(std::string_view s, std::size_t i) {
        if (s.compare(i, 3, "!--") != 0) return SkipTo(s, i, '>');
        const std::size_t end = s.find("-->", i + 3);
        return end == std::string_view::npos ? s.size() : end + 3;
    }

    bool Over() const { return m_max > m_stopAbove || m_work > kMaxHtmlWork || m_elements > kMaxHtmlElements; }

    static bool HasText(std::string_view text) {
        for (const char c : text)
            if (!IsSpace(static_cast<unsigned char>(c))) return true;
        return false;
    }

    static std::size_t SkipTo(std::string_view s, std::size_t i, char c) {
        const std::size_t at = s.find(c, i);
        return at == std::string_view::npos ? s.size() : at + 1;
    }

    // The tag name at s[i], moving i past it.
    static GumboTag Name(std::string_view s, std::size_t& i) {
        const std::size_t start = i;
        while (i < s.size() && !IsSpace(static_cast<unsigned char>(s[i])) && s[i] != '/' && s[i] != '>') ++i;
        return gumbo_tagn_enum(s.data() + start, static_cast<unsigned>(i - start));
    }

    // Skips the attributes and the closing '>' of a tag; quoted values may hold '>'.
    static std::size_t SkipTag(std::string_view s, std::size_t i, bool* selfClosing) {
        bool afterEquals = false;
        while (i < s.size()) {
            const char c = s[i];
            if (c == '>') {
                if (selfClosing) *selfClosing = s[i - 1] == '/';
                return i + 1;
            }
            if (afterEquals && (c == '"' || c == '\'')) {
                i = SkipTo(s, i + 1, c);
                afterEquals = false;
                continue;
            }
            if (c == '=') afterEquals = true;
            else if (!IsSpace(static_cast<unsigned char>(c))) afterEquals = false;
            ++i;
        }
        return i;
    }

    // Skips the text of a raw-text element up to its end tag, which is left to be read.
    static std::size_t SkipRawText(std::string_view s, std::size_t i, GumboTag t) {
        for (;;) {
            const std::size_t at = s.find("</", i);
            if (at == std::string_view::npos) return s.size();
            std::size_t n = at + 2;
            const std::size_t start = n;
            while (n < s.size() && IsAlpha(static_cast<unsigned char>(s[n]))) ++n;
            if (n > start && gumbo_tagn_enum(s.data() + start, static_cast<unsigned>(n - start)) == t) return at;
            i = at + 2;
        }
    }

    // The position of the innermost open element of `t`, or -1.
    long Innermost(GumboTag t) const { return m_at[t].empty() ? -1 : static_cast<long>(m_at[t].back()); }

    // The innermost open element of `t` above every open element of the
    // `barriers` (a table hides the rows and cells around it), or -1.
    long InScope(GumboTag t, std::initializer_list<GumboTag> barriers) const {
        const long at = Innermost(t);
        for (const GumboTag b : barriers)
            if (b != t && Innermost(b) > at) return -1;
        return at;
    }

    // Closes the elements from the top down to position `at`. `ownEnd` is
    // the tag whose end tag closes them: that element leaves the list of
    // formatting elements; others closed on the way stay in it, to be reopened.
    void PopTo(long at, GumboTag ownEnd = GUMBO_TAG_UNKNOWN) {
        // Elements come off the stack in the reverse order of their entries,
        // so each search goes on below the entry the previous one found.
        std::size_t below = m_formatting.size();
        while (at >= 0 && m_stack.size() > static_cast<std::size_t>(at)) {
            const GumboTag t = m_stack.back();
            const bool own = m_stack.size() - 1 == static_cast<std::size_t>(at) && t == ownEnd;
            Pop();
            if (IsMarker(t)) ClearToMarker();
            else if (IsFormatting(t)) CloseFormatting(t, own, below);
        }
    }

    void Pop() {
        const GumboTag t = m_stack.back();
        m_stack.pop_back();
        m_at[t].pop_back();
        if (t == GUMBO_TAG_SVG || t == GUMBO_TAG_MATH) --m_foreign;
    }

    // A cell, caption or object closes: what was left open inside it is
    // forgotten with it, up to and with its marker.
    void ClearToMarker() {
        while (!m_formatting.empty()) {
            ++m_work;
            const bool marker = m_formatting.back().marker;
            if (!m_formatting.back().open && !marker) --m_closed;
            m_formatting.pop_back();
            if (marker) break;
        }
    }

    // A formatting element of `t` came off the stack: by its own end tag
    // (`own`) it leaves the list, otherwise it stays there to be reopened.
    // `below` is where the previous search of this PopTo ended.
    void CloseFormatting(GumboTag t, bool own, std::size_t& below) {
        std::size_t k = FindOpen(t, below);
        if (k == kNone) k = FindOpen(t, m_formatting.size());
        if (k == kNone) return;
        below = k;
        if (own) {
            m_formatting.erase(m_formatting.begin() + static_cast<long>(k));
        } else {
            m_formatting[k].open = false;
            ++m_closed;
        }
    }

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // The last open entry of `t` before index `end` and after the last
    // marker, or kNone.
    std::size_t FindOpen(GumboTag t, std::size_t end) {
        for (std::size_t k = std::min(end, m_formatting.size()); k-- > 0;) {
            ++m_work;
            const Formatting& f = m_formatting[k];
            if (f.marker) break;
            if (f.tag == t && f.open) return k;
        }
        return kNone;
    }

    // Reopens, on top of the stack, the formatting elements closed
    // implicitly since the last marker, as the parser does before content.
    void Reconstruct() {
        if (m_closed == 0) return;
        std::size_t k = m_formatting.size();
        while (k > 0 && !m_formatting[k - 1].marker && !m_formatting[k - 1].open) --k;
        for (; k < m_formatting.size(); ++k) {
            m_formatting[k].open = true;
            --m_closed;
            Push(m_formatting[k].tag);
        }
    }

    void StartTag(GumboTag t, std::uint64_t key) {
        m_work += m_stack.size();  // the parser looks through the open elements for most tags
        if (t == GUMBO_TAG_HTML || t == GUMBO_TAG_HEAD || t == GUMBO_TAG_BODY) return;
        CloseImplied(t);
        if (Reopens(t)) Reconstruct();
        if (IsVoid(t)) {
            ++m_elements;
            return;
        }
        if (IsFormatting(t)) AddFormatting(t, key);
        else if (IsMarker(t)) m_formatting.push_back({t, 0, false, true});
        Push(t);
    }

    // Closes the elements that a start tag of `t` ends implicitly, and
    // opens the table parts the parser makes up for a cell or row.
    void CloseImplied(GumboTag t) {
        const std::initializer_list<GumboTag> kScope = {GUMBO_TAG_TABLE,   GUMBO_TAG_TD,      GUMBO_TAG_TH,
                                                        GUMBO_TAG_CAPTION, GUMBO_TAG_BUTTON,  GUMBO_TAG_APPLET,
                                                        GUMBO_TAG_OBJECT,  GUMBO_TAG_MARQUEE, GUMBO_TAG_TEMPLATE};
        if (ClosesP(t)) PopTo(InScope(GUMBO_TAG_P, kScope));
        if (t == GUMBO_TAG_LI) {
            PopTo(InScope(GUMBO_TAG_LI, {GUMBO_TAG_UL, GUMBO_TAG_OL, GUMBO_TAG_TABLE, GUMBO_TAG_TD, GUMBO_TAG_TH}));
        } else if (t == GUMBO_TAG_DD || t == GUMBO_TAG_DT) {
            const std::initializer_list<GumboTag> dl = {GUMBO_TAG_DL, GUMBO_TAG_TABLE, GUMBO_TAG_TD, GUMBO_TAG_TH};
            PopTo(std::max(InScope(GUMBO_TAG_DD, dl), InScope(GUMBO_TAG_DT, dl)));
        } else if (IsCell(t)) {
            PopTo(std::max(InScope(GUMBO_TAG_TD, {GUMBO_TAG_TABLE}), InScope(GUMBO_TAG_TH, {GUMBO_TAG_TABLE})));
            if (InScope(GUMBO_TAG_TR, {GUMBO_TAG_TABLE}) < 0 && Innermost(GUMBO_TAG_TABLE) >= 0) {
                OpenSection();  // the row, and its section, that the parser makes up
                Push(GUMBO_TAG_TR);
            }
        } else if (t == GUMBO_TAG_TR) {
            PopTo(InScope(GUMBO_TAG_TR, {GUMBO_TAG_TABLE}));
            if (Innermost(GUMBO_TAG_TABLE) >= 0) OpenSection();
        } else if (IsTableSection(t)) {
            PopTo(std::max({InScope(GUMBO_TAG_TBODY, {GUMBO_TAG_TABLE}), InScope(GUMBO_TAG_THEAD, {GUMBO_TAG_TABLE}),
                            InScope(GUMBO_TAG_TFOOT, {GUMBO_TAG_TABLE})}));
        } else if (t == GUMBO_TAG_OPTION || t == GUMBO_TAG_OPTGROUP) {
            PopTo(InScope(GUMBO_TAG_OPTION, {GUMBO_TAG_SELECT}));
            if (t == GUMBO_TAG_OPTGROUP) PopTo(InScope(GUMBO_TAG_OPTGROUP, {GUMBO_TAG_SELECT}));
        }
    }

    // A formatting element opens: of identical entries since the last
    // marker, three are kept.
    void AddFormatting(GumboTag t, std::uint64_t key) {
        std::size_t same = 0, earliest = 0;
        for (std::size_t k = m_formatting.size(); k-- > 0 && !m_formatting[k].marker;) {
            ++m_work;
            if (m_formatting[k].key == key && m_formatting[k].tag == t) {
                ++same;
                earliest = k;
            }
        }
        if (same >= 3) {
            if (!m_formatting[earliest].open) --m_closed;
            m_formatting.erase(m_formatting.begin() + static_cast<long>(earliest));
        }
        m_formatting.push_back({t, key, true, false});
    }

    // A section of the innermost table unless one is open.
    void OpenSection() {
        if (InScope(GUMBO_TAG_TBODY, {GUMBO_TAG_TABLE}) < 0 && InScope(GUMBO_TAG_THEAD, {GUMBO_TAG_TABLE}) < 0 &&
            InScope(GUMBO_TAG_TFOOT, {GUMBO_TAG_TABLE}) < 0)
            Push(GUMBO_TAG_TBODY);
    }

    void Push(GumboTag t) {
        ++m_work;
        ++m_elements;
        m_at[t].push_back(static_cast<std::uint32_t>(m_stack.size()));
        m_stack.push_back(t);
        if (t == GUMBO_TAG_SVG || t == GUMBO_TAG_MATH) ++m_foreign;
        if (m_stack.size() > m_max) m_max = m_stack.size();
    }

    // An end tag closes the innermost open element of its name (and what is
    // inside it) unless a table stands between; the parts of a table are
    // closed across its cells.
    void EndTag(GumboTag t) {
        m_work += m_stack.size();
        const bool tablePart =
            IsCell(t) || t == GUMBO_TAG_TR || IsTableSection(t) || t == GUMBO_TAG_CAPTION || t == GUMBO_TAG_TABLE;
        const long at =
            tablePart ? InScope(t, {GUMBO_TAG_TABLE}) : InScope(t, {GUMBO_TAG_TABLE, GUMBO_TAG_TD, GUMBO_TAG_TH});
        if (at < 0 && IsFormatting(t)) {
            // Closed already: it is no longer reopened.
            for (std::size_t k = m_formatting.size(); k-- > 0 && !m_formatting[k].marker;) {
                ++m_work;
                if (m_formatting[k].tag != t) continue;
                if (!m_formatting[k].open) --m_closed;
                m_formatting.erase(m_formatting.begin() + static_cast<long>(k));
                break;
            }
        }
        PopTo(at, t);
    }

    std::size_t m_stopAbove;
    std::size_t m_max = 0;
    std::uint64_t m_work = 0;
    std::size_t m_elements = 0;
    int m_foreign = 0;  // open svg and math elements
    std::vector<GumboTag> m_stack;
    std::array<std::vector<std::uint32_t>, GUMBO_TAG_LAST + 1> m_at;  // positions of the open elements of each tag
    std::vector<Formatting> m_formatting;
    std::size_t m_closed = 0;  // entries of m_formatting closed and not reopened
};

}  // namespace

HtmlNesting MeasureHtmlNesting(std::string_view markup, std::size_t stopAbove) {
    return Scanner(stopAbove).Run(markup);
}

bool HtmlNestingAcceptable(const HtmlNesting& n) {
    return n.depth <= kMaxHtmlDepth && n.work <= kMaxHtmlWork && n.elements <= kMaxHtmlElements;
}

bool HtmlNestingAcceptable(std::string_view markup) { return HtmlNestingAcceptable(MeasureHtmlNesting(markup)); }

}  // namespace qel::host
