#include "host/htmlrecords.h"

#include <gumbo.h>

#include <cstring>

#include "host/parsearena.h"

namespace qel::host {

namespace {

class Recorder {
public:
    Recorder(const char* text, std::size_t size, ParseArena& arena, char* region, std::size_t capacity)
        : m_text(text), m_size(size), m_arena(arena), m_region(region), m_capacity(capacity),
          m_used(sizeof(RecordsHeader)) {}

    bool Run() {
        if (m_capacity < sizeof(RecordsHeader)) return false;
        GumboOptions options = kGumboDefaultOptions;
        options.max_errors = 0;  // the errors are not used; do not collect them
        options.allocator = &ParseArena::GumboAllocate;
        options.deallocator = &ParseArena::GumboFree;
        options.userdata = &m_arena;
        // The arena frees the parse; gumbo_destroy_output would recurse per level.
        GumboOutput* output = gumbo_parse_with_options(&options, m_text, m_size);
        if (output) Walk(output);
        if (m_full) return false;
        const RecordsHeader header{m_used - sizeof(RecordsHeader), m_textBytes, m_count, kEndOfRecords};
        std::memcpy(m_region, &header, sizeof header);
        return true;
    }

private:
    struct Frame {
        const GumboVector* children;
        unsigned next;
        std::uint32_t index;  // the record of the element whose children these are
    };

    // Document order without recursion: a page may nest deeply. The stack
    // grows in the arena.
    void Walk(const GumboOutput* output) {
        Push({&output->document->v.document.children, 0, kNoRecord});
        while (m_depth > 0 && !m_full) {
            Frame& top = m_stack[m_depth - 1];
            if (top.next >= top.children->length) {
                --m_depth;
                continue;
            }
            const auto* node = static_cast<const GumboNode*>(top.children->data[top.next++]);
            if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
            const std::uint32_t index = m_count++;
            Record(*node, top.index, node->parent == output->root);
            // A template's content is not part of the document's tree.
            if (node->type == GUMBO_NODE_ELEMENT) Push({&node->v.element.children, 0, index});
        }
    }

    void Push(const Frame& frame) {
        if (m_depth == m_room) {
            const std::size_t room = m_room ? m_room * 2 : 64;
            auto* grown = static_cast<Frame*>(m_arena.Allocate(room * sizeof(Frame)));
            if (m_depth) std::memcpy(grown, m_stack, m_depth * sizeof(Frame));
            m_arena.Free(m_stack);
            m_stack = grown;
            m_room = room;
        }
        m_stack[m_depth++] = frame;
    }

    // One element and its attributes, written at once when the region has
    // room for them.
    void Record(const GumboNode& node, std::uint32_t parent, bool childOfRoot) {
        const GumboElement& el = node.v.element;
        std::size_t bytes = sizeof(ElementRecord);
        for (unsigned i = 0; i < el.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(el.attributes.data[i]);
            bytes += sizeof(AttributeRecord) + Length(a->name) + Length(a->value);
        }
        if (bytes > m_capacity - m_used) {
            m_full = true;
            return;
        }
        ElementRecord e{parent,
                        static_cast<std::uint32_t>(el.tag) | (node.type == GUMBO_NODE_TEMPLATE ? kTemplate : 0) |
                            (childOfRoot ? kChildOfRoot : 0),
                        static_cast<std::uint32_t>(node.parse_flags),
                        0,
                        0,
                        el.attributes.length};
        Piece(el.original_tag, e.tagOffset, e.tagLength);
        Put(&e, sizeof e);
        for (unsigned i = 0; i < el.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(el.attributes.data[i]);
            AttributeRecord r{
                static_cast<std::uint32_t>(Length(a->name)), static_cast<std::uint32_t>(Length(a->value)), 0, 0, 0, 0};
            Piece(a->original_name, r.nameOffset, r.nameSourceLength);
            Piece(a->original_value, r.valueOffset, r.valueSourceLength);
            Put(&r, sizeof r);
            Put(a->name, r.nameLength);
            Put(a->value, r.valueLength);
            m_textBytes += r.nameLength + r.valueLength;
        }
    }

    static std::size_t Length(const char* s) { return s ? std::strlen(s) : 0; }

    void Put(const void* bytes, std::size_t n) {
        if (n) std::memcpy(m_region + m_used, bytes, n);
        m_used += n;
    }

    // Where a piece of gumbo's text lies in the parsed text.
    void Piece(const GumboStringPiece& piece, std::uint32_t& offset, std::uint32_t& length) const {
        const char* p = piece.data;
        const bool inside = p && p >= m_text && static_cast<std::size_t>(p - m_text) <= m_size &&
                            piece.length <= m_size - static_cast<std::size_t>(p - m_text);
        offset = inside ? static_cast<std::uint32_t>(p - m_text) : kNoRecord;
        length = inside ? static_cast<std::uint32_t>(piece.length) : 0;
    }

    const char* m_text;
    std::size_t m_size;
    ParseArena& m_arena;
    char* m_region;
    std::size_t m_capacity;
    std::size_t m_used;
    bool m_full = false;
    Frame* m_stack = nullptr;
    std::size_t m_depth = 0, m_room = 0;
    std::uint32_t m_count = 0;
    std::uint64_t m_textBytes = 0;
};

}  // namespace

bool WriteHtmlRecords(const char* text, std::size_t size, ParseArena& arena, char* region, std::size_t capacity) {
    return Recorder(text, size, arena, region, capacity).Run();
}

}  // namespace qel::host
