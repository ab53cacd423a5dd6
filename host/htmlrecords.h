// The elements of a gumbo parse as flat records, the form in which a parse
// made in a child process comes back to the host (host/htmlisolation.h).
//
// The records are written straight into a region of memory that the caller
// gives (the parent maps it shared before the fork, so nothing is copied
// through a pipe), in this machine's byte order: a RecordsHeader, then per
// element in document order an ElementRecord followed by one
// AttributeRecord per attribute, each directly followed by the attribute's
// name and value as gumbo made them (UTF-8, no terminator, no padding).
// Offsets point into the parsed text; an offset is kNoRecord where gumbo's
// text does not lie in it. The content of a template is not recorded.
//
// The reader must check everything against the region: it was written by
// another process, which may have stopped anywhere.
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

struct RecordsHeader {
    std::uint64_t bytes;      // of records after the header
    std::uint64_t textBytes;  // the attributes' names and values together
    std::uint32_t elements;   // element records among them
    std::uint32_t end;        // kEndOfRecords once the rest is written
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

// Parses `size` bytes of UTF-8 at `text` with gumbo, taking all memory from
// `arena`, and writes the records into the `capacity` bytes at `region`
// (aligned for RecordsHeader). This is what the parse child runs: it calls
// no malloc and takes no lock. False when the records do not fit.
QEL_HOST_API bool WriteHtmlRecords(const char* text, std::size_t size, ParseArena& arena, char* region,
                                   std::size_t capacity);

}  // namespace qel::host
