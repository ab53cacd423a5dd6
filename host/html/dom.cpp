// The DOM built from a gumbo parse, and the markup written back from it.
//
// A document keeps the UTF-8 text it was parsed from. Each element records
// where its attributes' values lie in that text (byte ranges, quotes
// included) and where a new attribute can go (just after the tag name).
// getHTMLText copies the text and splices in the values changed since the
// parse, in source order, so an unchanged document comes back exactly and
// the work is linear in the page.
//
// Gumbo keeps only the tree; the tree's elements are kept here in document
// order in one vector, each with the count of its descendants, so that
// walking, cloning and freeing never recurse (a page may nest deeply).
// Text and comment nodes are not kept: nothing asks for them.
#include "host/html/dom.h"

#include <gumbo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/html/htmldepth.h"
#include "host/html/htmlisolation.h"
#include "host/html/htmlrecords.h"
#include "host/html/htmlsource.h"

Node::~Node() = default;

namespace {

constexpr std::uint32_t kNoPos = std::numeric_limits<std::uint32_t>::max();

// How an attribute's value is written in the source text.
enum class ValueForm : std::uint8_t {
    None,          // not in the text: added by setAttribute, or on a parser-made element
    DoubleQuoted,  // name="value"
    SingleQuoted,  // name='value'
    Unquoted,      // name=value (possibly empty: "name= >")
    Valueless,     // name alone; start == end is the end of the name
};

struct Attr {
    std::u16string name;           // as the parser gives it (lower case for HTML elements)
    std::u16string value;          // character references decoded; while `parsed`, the value is in the pool instead
    std::uint32_t start = kNoPos;  // byte range of the value in the source, quotes included
    std::uint32_t end = kNoPos;
    // The parser's value as UTF-8 in the document's pool, kept so until the
    // value is changed or the element copied out of its document: most
    // values are never read, and a page has hundreds of thousands.
    std::uint32_t poolAt = 0;
    std::uint32_t poolLength = 0;
    ValueForm form = ValueForm::None;
    bool changed = false;
    bool parsed = false;
};

class DocumentImpl;

class ElementImpl final : public Element {
public:
    std::u16string getTagName() const override { return m_tag; }
    std::u16string getAttribute(const std::u16string& name) const override;
    void setAttribute(const std::u16string& name, const std::u16string& value) override;
    Node* cloneNode(bool deep) const override;

    // The parser's value of `a` (parsed) as UTF-8.
    std::string_view Parsed(const Attr& a) const;

    const DocumentImpl* m_owner = nullptr;  // null for a copy that cloneNode made
    std::uint32_t m_index = 0;              // position in the owner's elements
    std::uint32_t m_descendants = 0;        // elements of its subtree after it
    std::uint32_t m_insertAt = kNoPos;      // source offset just after the tag name
    std::u16string m_tag;
    std::vector<Attr> m_attrs;
    // A deep copy made by cloneNode owns its descendants here, in document order.
    std::vector<std::unique_ptr<ElementImpl>> m_copies;
};

class DocumentImpl final : public Document {
public:
    Node* cloneNode(bool deep) const override;
    NodeList getElementsByTagName(const std::u16string& tag) const override;
    Element* getBODYElement(Element*, bool) const override;
    std::u16string getHTMLText() const override;
    void deleteNodes(Node* copy) override;

    std::string m_source;  // UTF-8, as parsed
    std::string m_pool;    // the parser's attribute values, UTF-8 (Attr::parsed)
    // Document order. The tree's elements are handed out for change (as the
    // DOM hands them out) by the const lookups too.
    mutable std::vector<ElementImpl> m_elements;
    std::uint32_t m_body = kNoPos;
};

std::u16string AsciiLowered(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = qel::framework::AsciiLower(c);
    return out;
}

// The lower-case name of a tag that gumbo knows, made once per tag.
const std::u16string& KnownTagName(GumboTag tag) {
    static const std::vector<std::u16string> names = [] {
        std::vector<std::u16string> all(GUMBO_TAG_LAST + 1);
        for (int t = 0; t < GUMBO_TAG_LAST; ++t)
            all[static_cast<std::size_t>(t)] =
                AsciiLowered(qel::framework::Utf8ToWide(gumbo_normalized_tagname(static_cast<GumboTag>(t))));
        return all;
    }();
    const auto index = static_cast<std::size_t>(tag);
    return names[index < names.size() ? index : names.size() - 1];
}

bool IsHtmlSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

bool IsAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// A name that can be written into a start tag and read back as itself.
bool IsWritableAttributeName(std::u16string_view name) {
    if (name.empty()) return false;
    for (char16_t c : name)
        if (c < 0x21 || c == 0x7F || c == u'"' || c == u'\'' || c == u'/' || c == u'<' || c == u'>' || c == u'=')
            return false;
    return true;
}

// An unquoted value ends at white space or '>', and may not contain
// characters that the tokenizer treats as errors inside one.
bool CanBeUnquoted(std::u16string_view value) {
    if (value.empty()) return false;
    for (char16_t c : value)
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r' || c == u'"' || c == u'\'' || c == u'=' ||
            c == u'<' || c == u'>' || c == u'`')
            return false;
    return true;
}

// Appends `value` as attribute text for the quote `quote` (0: unquoted).
// '&' is escaped where it could start a character reference, the quote
// character as a reference, and NUL (which the parser would turn into
// U+FFFD, and which ends the text for code page 932 conversions) as U+FFFD.
// A lone surrogate is written as U+FFFD, as the source text holds one.
void AppendEscaped(std::u16string& out, std::u16string_view value, char16_t quote) {
    // The text between the escaped characters is appended in runs; those
    // characters are ASCII, so a run never splits a surrogate pair.
    std::size_t run = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char16_t c = value[i];
        std::u16string_view escape;
        if (c == u'&' && i + 1 < value.size() && (IsAsciiAlnum(value[i + 1]) || value[i + 1] == u'#'))
            escape = u"&amp;";
        else if (c == u'"' && quote == u'"') escape = u"&quot;";
        else if (c == 0) escape = u"\uFFFD";
        else continue;
        qel::framework::AppendWholeWide(out, value.substr(run, i - run));
        out += escape;
        run = i + 1;
    }
    qel::framework::AppendWholeWide(out, value.substr(run));
}

void AppendDoubleQuoted(std::u16string& out, std::u16string_view value) {
    out += u'"';
    AppendEscaped(out, value, u'"');
    out += u'"';
}

// Appends the source text that replaces the range of a changed attribute.
void AppendRendered(std::u16string& out, const Attr& a) {
    switch (a.form) {
        case ValueForm::Valueless:
            if (!a.value.empty()) {
                out += u'=';
                AppendDoubleQuoted(out, a.value);
            }
            break;
        case ValueForm::SingleQuoted:
            if (a.value.find(u'\'') == std::u16string::npos) {
                out += u'\'';
                AppendEscaped(out, a.value, u'\'');
                out += u'\'';
            } else {
                AppendDoubleQuoted(out, a.value);
            }
            break;
        case ValueForm::Unquoted:
            if (CanBeUnquoted(a.value)) AppendEscaped(out, a.value, 0);
            else AppendDoubleQuoted(out, a.value);
            break;
        case ValueForm::DoubleQuoted:
        case ValueForm::None: AppendDoubleQuoted(out, a.value); break;
    }
}

// Appends the attributes set on an element that its tag does not have.
void AppendAdded(std::u16string& out, const ElementImpl& e) {
    for (const Attr& a : e.m_attrs) {
        if (!a.changed || a.form != ValueForm::None) continue;
        out += u' ';
        qel::framework::AppendWholeWide(out, a.name);
        out += u'=';
        AppendDoubleQuoted(out, a.value);
    }
}

// ---- Element -------------------------------------------------------------

std::string_view ElementImpl::Parsed(const Attr& a) const {
    return std::string_view(m_owner->m_pool).substr(a.poolAt, a.poolLength);
}

// Whether UTF-8 text reads as `wide`, without making a copy for ASCII.
bool SameText(std::string_view utf8, std::u16string_view wide) {
    if (utf8.size() == wide.size() &&
        std::none_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return std::equal(utf8.begin(), utf8.end(), wide.begin(),
                          [](char c, char16_t w) { return static_cast<char16_t>(c) == w; });
    return qel::framework::Utf8ToWide(utf8) == wide;
}

std::u16string ElementImpl::getAttribute(const std::u16string& name) const {
    for (const Attr& a : m_attrs)
        if (qel::framework::EqualsNoCase(a.name, name))
            return a.parsed ? qel::framework::Utf8ToWide(Parsed(a)) : a.value;
    return {};
}

void ElementImpl::setAttribute(const std::u16string& name, const std::u16string& value) {
    for (Attr& a : m_attrs) {
        if (!qel::framework::EqualsNoCase(a.name, name)) continue;
        // The same value keeps the source as written (its references, its quoting).
        if (a.parsed ? !SameText(Parsed(a), value) : a.value != value) {
            a.value = value;
            a.parsed = false;
            a.changed = true;
        }
        return;
    }
    // A name that a start tag cannot hold is refused, as the DOM refuses it.
    if (!IsWritableAttributeName(name)) return;
    Attr a;
    a.name = AsciiLowered(name);
    a.value = value;
    a.changed = true;
    m_attrs.push_back(std::move(a));
}

// A copy of the element's own values (not of the copies it owns). A copy
// without an owner has no pool: its values are taken out of e's.
ElementImpl CopyOf(const ElementImpl& e, const DocumentImpl* owner) {
    ElementImpl copy;
    copy.m_owner = owner;
    copy.m_index = e.m_index;
    copy.m_descendants = e.m_descendants;
    copy.m_insertAt = e.m_insertAt;
    copy.m_tag = e.m_tag;
    copy.m_attrs = e.m_attrs;
    if (!owner) {
        for (Attr& a : copy.m_attrs) {
            if (!a.parsed) continue;
            a.value = qel::framework::Utf8ToWide(e.Parsed(a));
            a.parsed = false;
        }
    }
    return copy;
}

std::unique_ptr<ElementImpl> CopyElement(const ElementImpl& e, const DocumentImpl* owner) {
    return std::make_unique<ElementImpl>(CopyOf(e, owner));
}

Node* ElementImpl::cloneNode(bool deep) const {
    // A copy stands alone: it has no source text, so only its tree values count.
    auto copy = CopyElement(*this, nullptr);
    copy->m_insertAt = kNoPos;
    copy->m_descendants = 0;
    if (deep) {
        if (m_owner) {
            for (std::uint32_t i = 1; i <= m_descendants; ++i)
                copy->m_copies.push_back(CopyElement(m_owner->m_elements[m_index + i], nullptr));
        } else {
            for (const auto& d : m_copies) copy->m_copies.push_back(CopyElement(*d, nullptr));
        }
        copy->m_descendants = static_cast<std::uint32_t>(copy->m_copies.size());
    }
    return copy.release();
}

// ---- Document ------------------------------------------------------------

Node* DocumentImpl::cloneNode(bool deep) const {
    auto copy = std::make_unique<DocumentImpl>();
    if (!deep) return copy.release();  // a document without content, as the DOM has it
    copy->setInputEncoding(getInputEncoding());
    copy->m_source = m_source;
    copy->m_pool = m_pool;
    copy->m_body = m_body;
    copy->m_elements.reserve(m_elements.size());
    for (const ElementImpl& e : m_elements) copy->m_elements.push_back(CopyOf(e, copy.get()));
    return copy.release();
}

NodeList DocumentImpl::getElementsByTagName(const std::u16string& tag) const {
    const std::u16string wanted = AsciiLowered(tag);
    const bool all = wanted == u"*";
    std::vector<Node*> found;
    for (ElementImpl& e : m_elements)
        if (all || e.m_tag == wanted) found.push_back(&e);
    return NodeList(std::move(found));
}

Element* DocumentImpl::getBODYElement(Element*, bool) const { return m_body == kNoPos ? nullptr : &m_elements[m_body]; }

void DocumentImpl::deleteNodes(Node* copy) {
    if (!copy || copy == this) return;
    // An element that belongs to a document's tree is freed with that document.
    if (auto* e = dynamic_cast<ElementImpl*>(copy); e && e->m_owner) return;
    delete copy;
}

std::u16string DocumentImpl::getHTMLText() const {
    // Where the text changes: the range of a changed value, or the end of
    // an element's tag name for the attributes added to it (attr null).
    struct Splice {
        std::uint32_t start;
        std::uint32_t end;
        const ElementImpl* element;
        const Attr* attr;
    };
    std::vector<Splice> splices;
    for (const ElementImpl& e : m_elements) {
        bool added = false;
        for (const Attr& a : e.m_attrs) {
            if (!a.changed) continue;
            if (a.form != ValueForm::None) splices.push_back({a.start, a.end, &e, &a});
            else added = added || e.m_insertAt != kNoPos;
        }
        if (added) splices.push_back({e.m_insertAt, e.m_insertAt, &e, nullptr});
    }
    // Elements are in document order, but an attribute merged from a later
    // tag (a second <body>) lies elsewhere in the text, and added attributes
    // go before the values of their tag.
    const auto byStart = [](const Splice& a, const Splice& b) { return a.start < b.start; };
    if (!std::is_sorted(splices.begin(), splices.end(), byStart))
        std::stable_sort(splices.begin(), splices.end(), byStart);

    // The source is cut only next to ASCII (quotes, blanks, '=', '>', the
    // end of a name), so its pieces read as the whole would.
    std::u16string out;
    out.reserve(m_source.size() + 32 * splices.size());
    const std::string_view source = m_source;
    std::size_t pos = 0;
    for (const Splice& s : splices) {
        // Ranges never overlap by construction; a bad one is dropped, never applied.
        if (s.start < pos || s.end < s.start || s.end > source.size()) continue;
        qel::framework::AppendUtf8AsWide(out, source.substr(pos, s.start - pos));
        if (s.attr) AppendRendered(out, *s.attr);
        else AppendAdded(out, *s.element);
        pos = s.end;
    }
    qel::framework::AppendUtf8AsWide(out, source.substr(pos));
    return out;
}

// ---- Building from the parse's records ----------------------------------

using qel::host::AttributeRecord;
using qel::host::ElementRecord;
using qel::host::kChildOfRoot;
using qel::host::kNoRecord;
using qel::host::kTemplate;

// One record of the stream that the parse child writes (host/html/htmlrecords.h):
// gumbo's values, with its pointers into the text made pointers into ours.
struct RecordedAttribute {
    std::string_view name, value;
    GumboStringPiece originalName, originalValue;
};
struct RecordedElement {
    std::uint32_t parent = kNoPos;
    GumboTag tag = GUMBO_TAG_UNKNOWN;
    bool isTemplate = false, childOfRoot = false;
    unsigned parseFlags = 0;
    GumboStringPiece originalTag{};
    std::vector<RecordedAttribute> attributes;
};

// Reads the records of a parse; every read is checked against their end.
class RecordReader {
public:
    RecordReader(std::string_view records, const char* base) : m_in(records), m_base(base) {}

    bool AtEnd() const { return m_pos == m_in.size(); }

    bool Element(RecordedElement& e) {
        ElementRecord r;
        if (!Read(r)) return false;
        e.parent = r.parent;
        e.tag = static_cast<GumboTag>(r.kind & 0xFFFF);
        if (e.tag > GUMBO_TAG_LAST) return false;
        e.isTemplate = (r.kind & kTemplate) != 0;
        e.childOfRoot = (r.kind & kChildOfRoot) != 0;
        e.parseFlags = r.flags;
        e.originalTag = Piece(r.tagOffset, r.tagLength);
        // Each attribute takes a record's bytes at least.
        if (r.attributes > (m_in.size() - m_pos) / sizeof(AttributeRecord)) return false;
        e.attributes.resize(r.attributes);
        for (RecordedAttribute& a : e.attributes) {
            AttributeRecord ar;
            if (!Read(ar) || !Text(ar.nameLength, a.name) || !Text(ar.valueLength, a.value)) return false;
            a.originalName = Piece(ar.nameOffset, ar.nameSourceLength);
            a.originalValue = Piece(ar.valueOffset, ar.valueSourceLength);
        }
        return true;
    }

private:
    template <typename Record>
    bool Read(Record& r) {
        if (m_in.size() - m_pos < sizeof r) return false;
        std::memcpy(&r, m_in.data() + m_pos, sizeof r);
        m_pos += sizeof r;
        return true;
    }
    bool Text(std::uint32_t n, std::string_view& s) {
        if (m_in.size() - m_pos < n) return false;
        s = m_in.substr(m_pos, n);
        m_pos += n;
        return true;
    }
    GumboStringPiece Piece(std::uint32_t offset, std::uint32_t length) const {
        return offset == kNoRecord ? GumboStringPiece{nullptr, 0} : GumboStringPiece{m_base + offset, length};
    }

    std::string_view m_in;
    const char* m_base;
    std::size_t m_pos = 0;
};

class Builder {
public:
    // `expected`: about how many elements the parse will make (room is made
    // for them at once).
    Builder(const std::string& source, std::size_t skip, std::size_t expected)
        : m_source(source), m_base(source.data() + skip), m_size(source.size() - skip), m_skip(skip),
          m_expected(expected), m_claimed(source.size() + 1, false) {}

    // The document from the parse's records; null when they are not whole.
    std::unique_ptr<DocumentImpl> Build(const qel::host::HtmlRecords& records) {
        auto doc = std::make_unique<DocumentImpl>();
        // The trailer's count, unless the records are too short to hold
        // that many; the pre-scan's guess falls short where the parser
        // reopens more than it foresaw.
        const std::size_t count = std::max<std::size_t>(
            m_expected, std::min<std::size_t>(records.Elements(), records.Records().size() / sizeof(ElementRecord)));
        doc->m_elements.reserve(count);
        doc->m_pool.reserve(std::min<std::uint64_t>(records.TextBytes(), records.Records().size()));
        RecordReader reader(records.Records(), m_base);
        std::vector<std::uint32_t> parents;
        parents.reserve(count);
        RecordedElement record;
        while (!reader.AtEnd()) {
            const auto index = static_cast<std::uint32_t>(parents.size());
            if (index >= kNoPos - 1 || !reader.Element(record)) return nullptr;
            if (record.parent != kNoPos && record.parent >= index) return nullptr;
            parents.push_back(record.parent);
            MakeElement(doc->m_elements.emplace_back(), *doc, record, index);
            if (record.tag == GUMBO_TAG_BODY && record.childOfRoot) {
                // A body that the parser made up, with no <body> tag anywhere
                // in the page, is not offered: nothing in the text could show
                // an attribute given to it.
                const ElementImpl& body = doc->m_elements.back();
                const bool inText =
                    body.m_insertAt != kNoPos || std::any_of(body.m_attrs.begin(), body.m_attrs.end(),
                                                             [](const Attr& a) { return a.form != ValueForm::None; });
                if (inText) doc->m_body = index;
            }
        }
        if (parents.size() != records.Elements()) return nullptr;
        // Each element's subtree follows it in document order: its size
        // sums up from the last element back.
        for (std::size_t i = parents.size(); i-- > 0;)
            if (parents[i] != kNoPos) doc->m_elements[parents[i]].m_descendants += doc->m_elements[i].m_descendants + 1;
        return doc;
    }

private:
    // The source offset of a pointer into the parsed text, or kNoPos when
    // [p, p + length] is not inside it.
    std::uint32_t Offset(const char* p, std::size_t length) const {
        if (!p || p < m_base || static_cast<std::size_t>(p - m_base) > m_size ||
            length > m_size - static_cast<std::size_t>(p - m_base))
            return kNoPos;
        return static_cast<std::uint32_t>(static_cast<std::size_t>(p - m_base) + m_skip);
    }

    // Each source position is given to one element only: gumbo copies a
    // formatting element that it reopens (<b> in "<p><b>x<p>y") together
    // with the original's source pointers.
    bool Claim(std::uint32_t offset) {
        if (offset == kNoPos || m_claimed[offset]) return false;
        m_claimed[offset] = true;
        return true;
    }

    void MakeElement(ElementImpl& e, DocumentImpl& doc, const RecordedElement& el, std::uint32_t index) {
        e.m_owner = &doc;
        e.m_index = index;
        if (el.tag != GUMBO_TAG_UNKNOWN) {
            e.m_tag = KnownTagName(el.tag);
        } else {
            GumboStringPiece name = el.originalTag;
            gumbo_tag_from_original_text(&name);
            if (Offset(name.data, name.length) != kNoPos)
                e.m_tag = AsciiLowered(qel::framework::Utf8ToWide(std::string_view(name.data, name.length)));
        }

        // Elements that gumbo copied or made from an end tag take nothing
        // from the source: their pointers are another tag's.
        constexpr unsigned kNotFromOwnTag = GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT |
                                            GUMBO_INSERTION_ADOPTION_AGENCY_CLONED |
                                            GUMBO_INSERTION_CONVERTED_FROM_END_TAG;
        const bool copied = (el.parseFlags & kNotFromOwnTag) != 0;
        if (!copied) e.m_insertAt = TagNameEnd(el.originalTag);

        e.m_attrs.reserve(el.attributes.size());
        for (const RecordedAttribute& ga : el.attributes) {
            Attr a;
            a.name = qel::framework::Utf8ToWide(ga.name);
            if (doc.m_pool.size() + ga.value.size() < kNoPos) {
                a.poolAt = static_cast<std::uint32_t>(doc.m_pool.size());
                a.poolLength = static_cast<std::uint32_t>(ga.value.size());
                a.parsed = true;
                doc.m_pool += ga.value;
            } else {
                a.value = qel::framework::Utf8ToWide(ga.value);
            }
            if (!copied) Locate(ga, a);
            e.m_attrs.push_back(std::move(a));
        }
    }

    // Offset just after the tag name of a start tag "<name ...>", where a new
    // attribute " x=\"v\"" can go whatever follows; kNoPos for an element
    // without a start tag of its own.
    std::uint32_t TagNameEnd(const GumboStringPiece& tag) {
        if (Offset(tag.data, tag.length) == kNoPos || tag.length < 2 || tag.data[0] != '<') return kNoPos;
        const auto c = static_cast<unsigned char>(tag.data[1]);
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return kNoPos;
        std::size_t i = 1;
        while (i < tag.length && !IsHtmlSpace(static_cast<unsigned char>(tag.data[i])) && tag.data[i] != '/' &&
               tag.data[i] != '>')
            ++i;
        const std::uint32_t at = Offset(tag.data + i, 0);
        return Claim(at) ? at : kNoPos;
    }

    // Finds the source range of an attribute's value, starting from the end
    // of its name as the tokenizer reads on: blanks, '=', blanks, then a
    // quoted or unquoted value. Gumbo's own original_value is used as a
    // check only: it is empty for an unquoted value that begins with a
    // character reference ("z=&amp;") and holds the name for "q= >".
    void Locate(const RecordedAttribute& ga, Attr& a) {
        const std::uint32_t nameAt = Offset(ga.originalName.data, ga.originalName.length);
        if (nameAt == kNoPos || ga.originalName.length == 0) return;
        ValueRange value;
        if (!FindValue(ga, m_source.data() + m_source.size(), value)) return;
        const std::uint32_t from = Offset(value.start, static_cast<std::size_t>(value.stop - value.start));
        if (from == kNoPos || !Claim(from)) return;
        a.start = from;
        a.end = from + static_cast<std::uint32_t>(value.stop - value.start);
        a.form = value.form;
    }

    // Where an attribute's value is written: [start, stop) with its quotes.
    struct ValueRange {
        const char* start = nullptr;
        const char* stop = nullptr;
        ValueForm form = ValueForm::Valueless;
    };

    // Reads on from the end of the attribute's name up to `end`; false when
    // what is there is not what gumbo made of it.
    static bool FindValue(const RecordedAttribute& ga, const char* end, ValueRange& r) {
        const char* const nameEnd = ga.originalName.data + ga.originalName.length;
        const char* p = SkipSpaces(nameEnd, end);
        if (p == end || *p != '=') {
            if (!ga.value.empty()) return false;
            r = {nameEnd, nameEnd, ValueForm::Valueless};
            return true;
        }
        p = SkipSpaces(p + 1, end);
        if (p < end && (*p == '"' || *p == '\'')) {
            const char* close = std::find(p + 1, end, *p);
            if (close == end) return false;
            r = {p, close + 1, *p == '"' ? ValueForm::DoubleQuoted : ValueForm::SingleQuoted};
            return ga.originalValue.data == r.start &&
                   ga.originalValue.length == static_cast<std::size_t>(r.stop - r.start);
        }
        const char* stop = p;
        while (stop < end && !IsHtmlSpace(static_cast<unsigned char>(*stop)) && *stop != '>') ++stop;
        r = {p, stop, ValueForm::Unquoted};
        return ga.originalValue.length == 0 || ga.originalValue.data == ga.originalName.data ||
               (ga.originalValue.data == r.start &&
                ga.originalValue.length == static_cast<std::size_t>(r.stop - r.start));
    }

    static const char* SkipSpaces(const char* p, const char* end) {
        while (p < end && IsHtmlSpace(static_cast<unsigned char>(*p))) ++p;
        return p;
    }

    const std::string& m_source;
    const char* m_base;
    std::size_t m_size;
    std::size_t m_skip;
    std::size_t m_expected;
    std::vector<bool> m_claimed;
};

}  // namespace

namespace qel::host {

namespace {

// The document of `utf8` from its parse's records; null when they are not
// whole.
std::unique_ptr<DocumentImpl> BuildFromRecords(std::string utf8, std::size_t skip, std::size_t expected,
                                               const HtmlRecords& records) {
    auto doc = Builder(utf8, skip, expected).Build(records);
    if (doc) doc->m_source = std::move(utf8);
    return doc;
}

// Why the pre-scan refuses a page, in words.
std::u16string WhyRefused(const HtmlNesting& n) {
    if (n.depth > kMaxHtmlDepth)
        return qel::framework::Utf8ToWide("the page nests its elements more than " + std::to_string(kMaxHtmlDepth) +
                                          " deep");
    if (n.elements > kMaxHtmlElements)
        return qel::framework::Utf8ToWide("the page makes more than " + std::to_string(kMaxHtmlElements) + " elements");
    return u"the page's markup is too tangled to parse";
}

}  // namespace

std::unique_ptr<Document> ParseHtmlDocument(std::string utf8, std::u16string* why, const HtmlParseLimits* limits) {
    std::u16string reason;
    if (!why) why = &reason;
    if (utf8.size() >= kNoPos - 1) {
        *why = u"the page is larger than 4 GB";
        return nullptr;
    }
    // A quick refusal of a page nested too deeply before it is parsed at
    // all; the parse's own limits hold whatever passes here.
    const HtmlNesting nesting = MeasureHtmlNesting(utf8);
    if (!HtmlNestingAcceptable(nesting)) {
        *why = WhyRefused(nesting);
        return nullptr;
    }
    // Gumbo would read a byte-order mark as text; it stays in the text we give back.
    const std::size_t skip = utf8.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    HtmlRecords records;
    if (!ParseHtmlRecords(utf8.data() + skip, utf8.size() - skip, limits ? *limits : HtmlParseLimitsFor(utf8.size()),
                          records, *why))
        return nullptr;
    // The parser adds <html>, <head> and <body> where the page has none.
    auto doc = BuildFromRecords(std::move(utf8), skip, nesting.elements + 3, records);
    if (!doc) *why = u"the HTML parser's answer is incomplete";
    return doc;
}

std::unique_ptr<Document> DocumentFromRecordStream(std::string utf8, std::string_view stream) {
    if (utf8.size() >= kNoPos - 1) return nullptr;
    HtmlRecords records;
    char* room = records.Bytes().Room(stream.size());
    if (!room) return nullptr;
    std::memcpy(room, stream.data(), stream.size());
    records.Bytes().Added(stream.size());
    if (!records.TakeTrailer()) return nullptr;
    const std::size_t skip = utf8.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    return BuildFromRecords(std::move(utf8), skip, 0, records);
}

}  // namespace qel::host
