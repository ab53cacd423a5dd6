#include "host/htmlrecords.h"

#include <gumbo.h>

#include <cstring>

#include "host/parsearena.h"

namespace qel::host {

void RecordWriter::Word(std::uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    Bytes(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

void RecordWriter::Bytes(const char* bytes, std::size_t size) {
    while (size > 0 && !m_failed) {
        if (m_used == m_capacity && !Drain()) return;
        const std::size_t n = size < m_capacity - m_used ? size : m_capacity - m_used;
        std::memcpy(m_buffer + m_used, bytes, n);
        m_used += n;
        bytes += n;
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
        m_out.Word(kEndOfRecords);
        m_out.Word(m_count);
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
        while (m_depth > 0) {
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
        m_out.Word(parent);
        m_out.Word(static_cast<std::uint32_t>(el.tag) | (node.type == GUMBO_NODE_TEMPLATE ? kTemplate : 0) |
                   (childOfRoot ? kChildOfRoot : 0));
        m_out.Word(static_cast<std::uint32_t>(node.parse_flags));
        Piece(el.original_tag);
        m_out.Word(el.attributes.length);
        for (unsigned i = 0; i < el.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(el.attributes.data[i]);
            Text(a->name);
            Text(a->value);
            Piece(a->original_name);
            Piece(a->original_value);
        }
    }

    void Text(const char* s) {
        const std::size_t n = s ? std::strlen(s) : 0;
        m_out.Word(static_cast<std::uint32_t>(n));
        m_out.Bytes(s, n);
    }

    // Where a piece of gumbo's text lies in the parsed text.
    void Piece(const GumboStringPiece& piece) {
        const char* p = piece.data;
        const bool inside = p && p >= m_text && static_cast<std::size_t>(p - m_text) <= m_size &&
                            piece.length <= m_size - static_cast<std::size_t>(p - m_text);
        m_out.Word(inside ? static_cast<std::uint32_t>(p - m_text) : kNoRecord);
        m_out.Word(inside ? static_cast<std::uint32_t>(piece.length) : 0);
    }

    const char* m_text;
    std::size_t m_size;
    ParseArena& m_arena;
    RecordWriter& m_out;
    Frame* m_stack = nullptr;
    std::size_t m_depth = 0, m_room = 0;
    std::uint32_t m_count = 0;
};

}  // namespace

bool WriteHtmlRecords(const char* text, std::size_t size, ParseArena& arena, RecordWriter& out) {
    Recorder(text, size, arena, out).Run();
    return out.Finish();
}

}  // namespace qel::host
