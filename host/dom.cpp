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
#include "host/dom.h"

#include <gumbo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/htmldepth.h"
#include "host/htmlsource.h"

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
    std::u16string value;          // character references decoded
    std::uint32_t start = kNoPos;  // byte range of the value in the source, quotes included
    std::uint32_t end = kNoPos;
    ValueForm form = ValueForm::None;
    bool changed = false;
};

class DocumentImpl;

class ElementImpl final : public Element {
public:
    std::u16string getTagName() const override { return m_tag; }
    std::u16string getAttribute(const std::u16string& name) const override;
    void setAttribute(const std::u16string& name, const std::u16string& value) override;
    Node* cloneNode(bool deep) const override;

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
void AppendEscaped(std::string& out, std::u16string_view value, char16_t quote) {
    // The text between the escaped characters is converted in runs; those
    // characters are ASCII, so a run never splits a surrogate pair.
    std::size_t run = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char16_t c = value[i];
        const char* escape;
        if (c == u'&' && i + 1 < value.size() && (IsAsciiAlnum(value[i + 1]) || value[i + 1] == u'#')) escape = "&amp;";
        else if (c == u'"' && quote == u'"') escape = "&quot;";
        else if (c == 0) escape = "\xEF\xBF\xBD";  // U+FFFD
        else continue;
        if (i > run) out += qel::framework::WideToUtf8(value.substr(run, i - run));
        out += escape;
        run = i + 1;
    }
    if (run < value.size()) out += qel::framework::WideToUtf8(value.substr(run));
}

void AppendDoubleQuoted(std::string& out, std::u16string_view value) {
    out += '"';
    AppendEscaped(out, value, u'"');
    out += '"';
}

// The source text that replaces the range of a changed attribute.
std::string RenderValue(const Attr& a) {
    std::string out;
    switch (a.form) {
        case ValueForm::Valueless:
            if (!a.value.empty()) {
                out += '=';
                AppendDoubleQuoted(out, a.value);
            }
            break;
        case ValueForm::SingleQuoted:
            if (a.value.find(u'\'') == std::u16string::npos) {
                out += '\'';
                AppendEscaped(out, a.value, u'\'');
                out += '\'';
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
    return out;
}

// ---- Element -------------------------------------------------------------

std::u16string ElementImpl::getAttribute(const std::u16string& name) const {
    for (const Attr& a : m_attrs)
        if (qel::framework::EqualsNoCase(a.name, name)) return a.value;
    return {};
}

void ElementImpl::setAttribute(const std::u16string& name, const std::u16string& value) {
    for (Attr& a : m_attrs) {
        if (!qel::framework::EqualsNoCase(a.name, name)) continue;
        // The same value keeps the source as written (its references, its quoting).
        if (a.value != value) {
            a.value = value;
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

// A copy of the element's own values (not of the copies it owns).
ElementImpl CopyOf(const ElementImpl& e, const DocumentImpl* owner) {
    ElementImpl copy;
    copy.m_owner = owner;
    copy.m_index = e.m_index;
    copy.m_descendants = e.m_descendants;
    copy.m_insertAt = e.m_insertAt;
    copy.m_tag = e.m_tag;
    copy.m_attrs = e.m_attrs;
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
    struct Splice {
        std::uint32_t start;
        std::uint32_t end;
        std::string text;
    };
    std::vector<Splice> splices;
    for (const ElementImpl& e : m_elements) {
        std::string added;
        for (const Attr& a : e.m_attrs) {
            if (!a.changed) continue;
            if (a.form != ValueForm::None) {
                splices.push_back({a.start, a.end, RenderValue(a)});
            } else if (e.m_insertAt != kNoPos) {
                added += ' ';
                added += qel::framework::WideToUtf8(a.name);
                added += '=';
                AppendDoubleQuoted(added, a.value);
            }
        }
        if (!added.empty()) splices.push_back({e.m_insertAt, e.m_insertAt, std::move(added)});
    }
    // Elements are in document order, but an attribute merged from a later
    // tag (a second <body>) lies elsewhere in the text.
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice& a, const Splice& b) { return a.start < b.start; });

    std::string out;
    out.reserve(m_source.size() + m_source.size() / 8);
    std::size_t pos = 0;
    for (const Splice& s : splices) {
        // Ranges never overlap by construction; a bad one is dropped, never applied.
        if (s.start < pos || s.end < s.start || s.end > m_source.size()) continue;
        out.append(m_source, pos, s.start - pos);
        out += s.text;
        pos = s.end;
    }
    out.append(m_source, pos, std::string::npos);
    return qel::framework::Utf8ToWide(out);
}

// ---- Building from gumbo -------------------------------------------------

// Gumbo's memory. Blocks come from chunks of our own; a freed block goes back
// to the free list of its size class and is handed out again, as gumbo
// grows its buffers by allocating, copying and freeing. Blocks above the
// largest class come from malloc and are kept in a list. Freeing the parse
// is a walk over the chunks and that list: no per-block free (which costs
// as much again as the parse), and no recursion (gumbo_destroy_output frees
// the tree one call per level, and a deeply nested page overflows the stack
// with it).
//
// Each block is preceded by 8 bytes naming its size class (0: a large
// block); blocks are multiples of 16 bytes placed 8 bytes past a multiple
// of 16, so that every block gumbo gets is 16-byte aligned, as malloc's are.
class GumboArena {
public:
    GumboArena() = default;
    GumboArena(const GumboArena&) = delete;
    GumboArena& operator=(const GumboArena&) = delete;
    ~GumboArena() {
        while (m_chunks) {
            Chunk* next = m_chunks->next;
            std::free(m_chunks);
            m_chunks = next;
        }
        while (m_large) {
            Large* next = m_large->next;
            std::free(m_large);
            m_large = next;
        }
    }

    void Serve(GumboOptions& options) {
        options.allocator = &Allocate;
        options.deallocator = &Deallocate;
        options.userdata = this;
    }

private:
    static constexpr std::size_t kGrain = 16;
    static constexpr std::size_t kTag = sizeof(std::uint64_t);
    static constexpr std::size_t kClasses = 64;  // small blocks: up to 64 * 16 - 8 bytes
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
    static constexpr std::uint64_t kLargeTag = 0;

    struct alignas(kGrain) Chunk {
        Chunk* next;
    };
    struct alignas(kGrain) Large {
        Large* prev;
        Large* next;
        std::uint64_t unused;
        std::uint64_t tag;  // right before the block, as a small block's class
    };
    struct FreeBlock {
        FreeBlock* next;
    };
    static_assert(sizeof(Chunk) == kGrain && sizeof(Large) % kGrain == 0);

    static std::uint64_t& TagOf(void* p) { return *(static_cast<std::uint64_t*>(p) - 1); }

    static void* Allocate(void* self, std::size_t size) {
        auto& arena = *static_cast<GumboArena*>(self);
        if (size == 0 || size > kClasses * kGrain - kTag) return arena.AllocateLarge(size);
        const std::size_t cls = (size + kTag + kGrain - 1) / kGrain;
        if (FreeBlock* b = arena.m_free[cls]) {
            arena.m_free[cls] = b->next;
            return b;
        }
        const std::size_t bytes = cls * kGrain;
        if (static_cast<std::size_t>(arena.m_limit - arena.m_cursor) < bytes && !arena.AddChunk()) return nullptr;
        char* block = arena.m_cursor + kTag;
        arena.m_cursor += bytes;
        TagOf(block) = cls;
        return block;
    }

    static void Deallocate(void* self, void* p) {
        if (!p) return;
        auto& arena = *static_cast<GumboArena*>(self);
        const std::uint64_t cls = TagOf(p);
        if (cls == kLargeTag) return arena.FreeLarge(p);
        auto* b = static_cast<FreeBlock*>(p);
        b->next = arena.m_free[cls];
        arena.m_free[cls] = b;
    }

    // A new chunk; the rest of the current one (less than one block) is left.
    bool AddChunk() {
        auto* chunk = static_cast<Chunk*>(std::malloc(kChunkBytes));
        if (!chunk) return false;
        chunk->next = m_chunks;
        m_chunks = chunk;
        // The first tag lies 8 bytes before a multiple of 16.
        m_cursor = reinterpret_cast<char*>(chunk + 1) + kGrain - kTag;
        m_limit = reinterpret_cast<char*>(chunk) + kChunkBytes;
        return true;
    }

    void* AllocateLarge(std::size_t size) {
        if (size > SIZE_MAX - sizeof(Large)) return nullptr;
        auto* b = static_cast<Large*>(std::malloc(sizeof(Large) + size));
        if (!b) return nullptr;  // as malloc would answer gumbo
        b->prev = nullptr;
        b->next = m_large;
        b->tag = kLargeTag;
        if (m_large) m_large->prev = b;
        m_large = b;
        return b + 1;
    }

    void FreeLarge(void* p) {
        Large* b = static_cast<Large*>(p) - 1;
        (b->prev ? b->prev->next : m_large) = b->next;
        if (b->next) b->next->prev = b->prev;
        std::free(b);
    }

    Chunk* m_chunks = nullptr;
    Large* m_large = nullptr;
    char* m_cursor = nullptr;
    char* m_limit = nullptr;
    FreeBlock* m_free[kClasses + 1] = {};
};

class Builder {
public:
    // `expected`: about how many elements the parse will make (room is made
    // for them at once).
    Builder(const std::string& source, std::size_t skip, std::size_t expected)
        : m_source(source), m_base(source.data() + skip), m_size(source.size() - skip), m_skip(skip),
          m_expected(expected), m_claimed(source.size() + 1, false) {}

    std::unique_ptr<DocumentImpl> Build() {
        GumboOptions options = kGumboDefaultOptions;
        options.max_errors = 0;  // the errors are not used; do not collect them
        GumboArena arena;        // frees the parse, never gumbo_destroy_output
        arena.Serve(options);
        GumboOutput* output = gumbo_parse_with_options(&options, m_base, m_size);
        auto doc = std::make_unique<DocumentImpl>();
        doc->m_elements.reserve(m_expected);
        if (output) Walk(*doc, output);
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

    void Walk(DocumentImpl& doc, GumboOutput* output) {
        struct Frame {
            const GumboVector* children;
            unsigned next;
            std::uint32_t index;  // the element whose children these are, or kNoPos
        };
        std::vector<Frame> stack{{&output->document->v.document.children, 0, kNoPos}};
        while (!stack.empty()) {
            Frame& top = stack.back();
            if (top.next >= top.children->length) {
                if (top.index != kNoPos)
                    doc.m_elements[top.index].m_descendants =
                        static_cast<std::uint32_t>(doc.m_elements.size() - top.index - 1);
                stack.pop_back();
                continue;
            }
            const auto* node = static_cast<const GumboNode*>(top.children->data[top.next++]);
            if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
            const auto index = static_cast<std::uint32_t>(doc.m_elements.size());
            MakeElement(doc.m_elements.emplace_back(), doc, *node, index);
            if (node->v.element.tag == GUMBO_TAG_BODY && node->parent == output->root) {
                // A body that the parser made up, with no <body> tag anywhere
                // in the page, is not offered: nothing in the text could show
                // an attribute given to it.
                const ElementImpl& body = doc.m_elements.back();
                const bool inText =
                    body.m_insertAt != kNoPos || std::any_of(body.m_attrs.begin(), body.m_attrs.end(),
                                                             [](const Attr& a) { return a.form != ValueForm::None; });
                if (inText) doc.m_body = index;
            }
            // A template's content is not part of the document's tree (as in
            // the DOM): its images are not shown.
            if (node->type == GUMBO_NODE_ELEMENT) stack.push_back({&node->v.element.children, 0, index});
        }
    }

    void MakeElement(ElementImpl& e, const DocumentImpl& doc, const GumboNode& node, std::uint32_t index) {
        const GumboElement& el = node.v.element;
        e.m_owner = &doc;
        e.m_index = index;
        if (el.tag != GUMBO_TAG_UNKNOWN) {
            e.m_tag = KnownTagName(el.tag);
        } else {
            GumboStringPiece name = el.original_tag;
            gumbo_tag_from_original_text(&name);
            if (Offset(name.data, name.length) != kNoPos)
                e.m_tag = AsciiLowered(qel::framework::Utf8ToWide(std::string_view(name.data, name.length)));
        }

        // Elements that gumbo copied or made from an end tag take nothing
        // from the source: their pointers are another tag's.
        constexpr unsigned kNotFromOwnTag = GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT |
                                            GUMBO_INSERTION_ADOPTION_AGENCY_CLONED |
                                            GUMBO_INSERTION_CONVERTED_FROM_END_TAG;
        const bool copied = (static_cast<unsigned>(node.parse_flags) & kNotFromOwnTag) != 0;
        if (!copied) e.m_insertAt = TagNameEnd(el.original_tag);

        e.m_attrs.reserve(el.attributes.length);
        for (unsigned i = 0; i < el.attributes.length; ++i) {
            const auto* ga = static_cast<const GumboAttribute*>(el.attributes.data[i]);
            Attr a;
            a.name = qel::framework::Utf8ToWide(ga->name ? ga->name : "");
            a.value = qel::framework::Utf8ToWide(ga->value ? ga->value : "");
            if (!copied) Locate(*ga, a);
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
    void Locate(const GumboAttribute& ga, Attr& a) {
        const std::uint32_t nameAt = Offset(ga.original_name.data, ga.original_name.length);
        if (nameAt == kNoPos || ga.original_name.length == 0) return;
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
    static bool FindValue(const GumboAttribute& ga, const char* end, ValueRange& r) {
        const char* const nameEnd = ga.original_name.data + ga.original_name.length;
        const char* p = SkipSpaces(nameEnd, end);
        if (p == end || *p != '=') {
            if (ga.value && ga.value[0] != '\0') return false;
            r = {nameEnd, nameEnd, ValueForm::Valueless};
            return true;
        }
        p = SkipSpaces(p + 1, end);
        if (p < end && (*p == '"' || *p == '\'')) {
            const char* close = std::find(p + 1, end, *p);
            if (close == end) return false;
            r = {p, close + 1, *p == '"' ? ValueForm::DoubleQuoted : ValueForm::SingleQuoted};
            return ga.original_value.data == r.start &&
                   ga.original_value.length == static_cast<std::size_t>(r.stop - r.start);
        }
        const char* stop = p;
        while (stop < end && !IsHtmlSpace(static_cast<unsigned char>(*stop)) && *stop != '>') ++stop;
        r = {p, stop, ValueForm::Unquoted};
        return ga.original_value.length == 0 || ga.original_value.data == ga.original_name.data ||
               (ga.original_value.data == r.start &&
                ga.original_value.length == static_cast<std::size_t>(r.stop - r.start));
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

std::unique_ptr<Document> ParseHtmlDocument(std::string utf8) {
    if (utf8.size() >= kNoPos - 1) return nullptr;
    // A page nested too deeply is refused before the parser spends minutes
    // on it (or runs out of memory copying formatting elements).
    const HtmlNesting nesting = MeasureHtmlNesting(utf8);
    if (!HtmlNestingAcceptable(nesting)) return nullptr;
    // Gumbo would read a byte-order mark as text; it stays in the text we give back.
    const std::size_t skip = utf8.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    // The parser adds <html>, <head> and <body> where the page has none.
    auto doc = Builder(utf8, skip, nesting.elements + 3).Build();
    doc->m_source = std::move(utf8);
    return doc;
}

}  // namespace qel::host
