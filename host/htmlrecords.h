// The elements of a gumbo parse as flat records, the form in which a parse
// made in a child process comes back to the host (host/htmlisolation.h).
//
// A record stream is a sequence of little-endian 32-bit words and bytes:
// per element, in document order,
//   parent   index of the parent element's record, or kNoRecord
//   kind     the GumboTag, | kTemplate for a template, | kChildOfRoot for a
//            child of the <html> element
//   flags    gumbo's parse flags
//   tag      offset and length of the element's original tag in the text
//   count    number of attributes, then per attribute:
//              name (length, bytes), value (length, bytes) as gumbo made
//              them, and the offsets and lengths of its original name and
//              original value in the text
// and at the end kEndOfRecords and the number of elements. An offset is
// kNoRecord where gumbo's text does not lie in the parsed text. The content
// of a template is not recorded.
#pragma once

#include "host/api.h"

#include <cstddef>
#include <cstdint>

namespace qel::host {

class ParseArena;

inline constexpr std::uint32_t kNoRecord = 0xFFFFFFFFu;
inline constexpr std::uint32_t kEndOfRecords = 0xFFFFFFFEu;
inline constexpr std::uint32_t kTemplate = 1u << 16;
inline constexpr std::uint32_t kChildOfRoot = 1u << 17;

// Collects the stream in a buffer and hands it on to `flush` when full and
// at the end. Uses no memory but what it is given.
class QEL_HOST_API RecordWriter {
public:
    // False from `flush` stops the writing: every later call does nothing.
    using Flush = bool (*)(void* context, const char* bytes, std::size_t size);
    RecordWriter(char* buffer, std::size_t capacity, Flush flush, void* context)
        : m_buffer(buffer), m_capacity(capacity), m_flush(flush), m_context(context) {}

    void Word(std::uint32_t value);
    void Bytes(const char* bytes, std::size_t size);
    // Hands on what is buffered; false when a flush failed.
    bool Finish();

private:
    bool Drain();
    char* m_buffer;
    std::size_t m_capacity;
    std::size_t m_used = 0;
    Flush m_flush;
    void* m_context;
    bool m_failed = false;
};

// Parses `size` bytes of UTF-8 at `text` with gumbo, taking all memory from
// `arena`, and writes the element records. This is what the parse child
// runs: it calls no malloc and takes no lock. False when the writer failed.
QEL_HOST_API bool WriteHtmlRecords(const char* text, std::size_t size, ParseArena& arena, RecordWriter& out);

}  // namespace qel::host
