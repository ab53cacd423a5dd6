// The elements of a gumbo parse as flat records, the form in which a parse
// made in a child process comes back to the host (host/html/htmlisolation.h).
//
// The records are written in this machine's byte order (they never leave
// it): per element in document order an ElementRecord followed by one
// AttributeRecord per attribute, each directly followed by the attribute's
// name and value as gumbo made them (UTF-8, no terminator, no padding), and
// at the end a RecordsTrailer. Offsets point into the parsed text; an
// offset is kNoRecord where gumbo's text does not lie in it. The content of
// a template is not recorded.
//
// The reader must check everything: the records come from another process,
// which may have stopped anywhere.
#pragma once

#include "host/api.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qel::host {

class ParseArena;

inline constexpr std::uint32_t kNoRecord = 0xFFFFFFFFu;
inline constexpr std::uint32_t kEndOfRecords = 0xFFFFFFFEu;
inline constexpr std::uint32_t kTemplate = 1u << 16;
inline constexpr std::uint32_t kChildOfRoot = 1u << 17;

struct RecordsTrailer {
    std::uint64_t textBytes;  // the attributes' names and values together
    std::uint32_t elements;   // element records before it
    std::uint32_t end;        // kEndOfRecords
};

struct ElementRecord {
    std::uint32_t parent;     // index of the parent element's record, or kNoRecord
    std::uint32_t kind;       // the GumboTag, | kTemplate, | kChildOfRoot for a child of <html>
    std::uint32_t flags;      // gumbo's parse flags
    std::uint32_t tagOffset;  // the element's original tag in the text
    std::uint32_t tagLength;
    std::uint32_t attributes;  // AttributeRecords that follow
};

struct AttributeRecord {
    std::uint32_t nameLength;  // bytes of the name, then of the value, after the record
    std::uint32_t valueLength;
    std::uint32_t nameOffset;  // the original name in the text
    std::uint32_t nameSourceLength;
    std::uint32_t valueOffset;  // the original value in the text, quotes included
    std::uint32_t valueSourceLength;
};

// Collects records in a buffer and hands it on to `flush` when full and at
// the end, whole records at a time where they fit. Uses no memory but what
// it is given.
class QEL_HOST_API RecordWriter {
public:
    // False from `flush` stops the writing: every later call does nothing.
    using Flush = bool (*)(void* context, const char* bytes, std::size_t size);
    // `limit`: the most bytes the records may take, the trailer included.
    RecordWriter(char* buffer, std::size_t capacity, std::uint64_t limit, Flush flush, void* context)
        : m_buffer(buffer), m_capacity(capacity), m_limit(limit), m_flush(flush), m_context(context) {}

    void Put(const void* bytes, std::size_t size) {
        if (!m_failed && size <= m_capacity - m_used && size <= m_limit - m_total) {
            if (size) std::memcpy(m_buffer + m_used, bytes, size);
            m_used += size;
            m_total += size;
            return;
        }
        PutInPieces(bytes, size);
    }
    // Hands on what is buffered; false when a flush failed or the records
    // passed the limit.
    bool Finish();
    bool Failed() const { return m_failed; }

private:
    void PutInPieces(const void* bytes, std::size_t size);
    bool Drain();
    char* m_buffer;
    std::size_t m_capacity;
    std::uint64_t m_limit;
    std::uint64_t m_total = 0;
    std::size_t m_used = 0;
    Flush m_flush;
    void* m_context;
    bool m_failed = false;
};

// Parses `size` bytes of UTF-8 at `text` with gumbo, taking all memory from
// `arena`, and writes the records. This is what the parse child runs: it
// calls no malloc and takes no lock. False when the writer failed.
QEL_HOST_API bool WriteHtmlRecords(const char* text, std::size_t size, ParseArena& arena, RecordWriter& out);

}  // namespace qel::host
