#include "host/html/htmlrecords.h"

#include <gumbo.h>

#include <cstring>

#include "host/html/parsearena.h"

namespace qel::host {

void RecordWriter::PutInPieces(const void* bytes, std::size_t size) {
    if (m_failed) return;
    if (size > m_limit - m_total) {
        m_failed = true;
        return;
    }
    m_total += size;
    const auto* from = static_cast<const char*>(bytes);
    while (size > 0) {
        if (m_used == m_capacity && !Drain()) return;
        const std::size_t n = size < m_capacity - m_used ? size : m_capacity - m_used;
        std::memcpy(m_buffer + m_used, from, n);
        m_used += n;
        from += n;
        size -= n;
    }
}

bool RecordWriter::Drain() {
    if (!m_failed && m_used > 0 && !m_flush(m_context, m_buffer, m_used)) m_failed = true;
    m_used = 0;
    return !m_failed;
}

bool RecordWriter::Finish() { return Drain(); }

namespace {

class Recorder {
public:
    Recorder(const char* text, std::size_t size, ParseArena& arena, RecordWriter& out)
        : m_text(text), m_size(size), m_arena(arena), m_out(out) {}

    void Run() {
        GumboOptions options = kGumboDefaultOptions;
        options.max_errors = 0;  // the errors are not used; do not collect them
        options.allocator = &ParseArena::GumboAllocate;
        options.deallocator = &ParseArena::GumboFree;
        options.userdata = &m_arena;
        // The arena frees the parse; gumbo_destroy_output would recurse per level.
        GumboOutput* output = gumbo_parse_with_options(&options, m_text, m_size);
        if (output) Walk(output);
        const RecordsTrailer trailer{m_textBytes, m_count, kEndOfRecords};
        m_out.Put(&trailer, sizeof trailer);
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
        while (m_depth > 0 && !m_out.Failed()) {
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

    void Record(const GumboNode& node, std::uint32_t parent, bool childOfRoot) {
        const GumboElement& el = node.v.element;
        ElementRecord e{parent,
                        static_cast<std::uint32_t>(el.tag) | (node.type == GUMBO_NODE_TEMPLATE ? kTemplate : 0) |
                            (childOfRoot ? kChildOfRoot : 0),
                        static_cast<std::uint32_t>(node.parse_flags),
                        0,
                        0,
                        el.attributes.length};
        Piece(el.original_tag, e.tagOffset, e.tagLength);
        m_out.Put(&e, sizeof e);
        for (unsigned i = 0; i < el.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(el.attributes.data[i]);
            AttributeRecord r{
                static_cast<std::uint32_t>(Length(a->name)), static_cast<std::uint32_t>(Length(a->value)), 0, 0, 0, 0};
            Piece(a->original_name, r.nameOffset, r.nameSourceLength);
            Piece(a->original_value, r.valueOffset, r.valueSourceLength);
            m_out.Put(&r, sizeof r);
            m_out.Put(a->name, r.nameLength);
            m_out.Put(a->value, r.valueLength);
            m_textBytes += r.nameLength + r.valueLength;
        }
    }

    static std::size_t Length(const char* s) { return s ? std::strlen(s) : 0; }

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
    RecordWriter& m_out;
    Frame* m_stack = nullptr;
    std::size_t m_depth = 0, m_room = 0;
    std::uint32_t m_count = 0;
    std::uint64_t m_textBytes = 0;
};

}  // namespace

bool WriteHtmlRecords(const char* text, std::size_t size, ParseArena& arena, RecordWriter& out) {
    Recorder(text, size, arena, out).Run();
    return out.Finish();
}

}  // namespace qel::host
