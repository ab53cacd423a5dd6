// The HTML parse of a page in a child process under hard limits, so that no
// page can hold or take down the process that loads it: gumbo has loops
// that a hostile page drives for minutes, and it does not check for memory
// running out.
//
// The child is forked and runs WriteHtmlRecords only (host/html/htmlrecords.h):
// gumbo on an arena that the child maps itself, the records written to a
// pipe a buffer of whole records at a time. It calls no malloc and takes no
// lock, so a parent with other threads (a GUI) is safe to fork. Its limits:
// the arena's cap (the memory limit; the records are held to as much
// again), an address-space limit of what it inherited plus that cap (not
// in AddressSanitizer builds, whose shadow memory needs terabytes of
// address space: the arena's cap holds there), a CPU limit, and the
// parent's wall-clock deadline, after which it is killed. The parent reads
// the records into one buffer that grows without copying and rebuilds the
// DOM from them. (A region shared before the fork would save the pipe's
// copies, but it would have to be as large as the records may grow, and a
// host under an address-space limit could then parse no page at all.)
#pragma once

#include "host/api.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/html/htmlrecords.h"

namespace qel::host {

struct HtmlParseLimits {
    std::chrono::milliseconds deadline;  // wall clock, from the start of the parse
    std::size_t memory;                  // bytes the parse may use
};

// The limits for a page of `bytes` bytes of UTF-8: 2 s for every 2 MiB
// begun, and 512 MiB or 128 times the page, whichever is more.
QEL_HOST_API HtmlParseLimits HtmlParseLimitsFor(std::size_t bytes);

// The records of one parse (host/html/htmlrecords.h), in memory of their own
// that grows as they come (mapped, so that growing moves pages rather than
// copying them).
class QEL_HOST_API HtmlRecords {
public:
    HtmlRecords() = default;
    ~HtmlRecords();
    HtmlRecords(const HtmlRecords&) = delete;
    HtmlRecords& operator=(const HtmlRecords&) = delete;

    // The records before the trailer, as the parse wrote them (nothing
    // checked but the trailer); empty when there are none.
    std::string_view Records() const;
    // What the trailer claims: the element records and the bytes of the
    // attributes' names and values.
    std::uint32_t Elements() const { return m_trailer.elements; }
    std::uint64_t TextBytes() const { return m_trailer.textBytes; }

    // Frees the records.
    void Clear() noexcept;
    // Room for at least `bytes` more at the end; null when the memory
    // cannot be had. Added(n) then counts n of them in.
    char* Room(std::size_t bytes) noexcept;
    void Added(std::size_t n) noexcept { m_size += n; }
    std::size_t Size() const { return m_size; }
    // Takes the trailer off the end; false when there is no whole one.
    bool TakeTrailer() noexcept;

private:
    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    RecordsTrailer m_trailer{};
};

// Parses the text in a child process under `limits` and gives its element
// records. False, with `why` saying which limit the page met ("the page took
// longer than 2 s to parse", "the page needs more than 512 MiB to parse") or
// what else ended the child, when there are none.
QEL_HOST_API bool ParseHtmlRecords(const char* text, std::size_t size, const HtmlParseLimits& limits,
                                   HtmlRecords& records, std::u16string& why);

// Makes ParseHtmlRecords run the child's work in this process, for fuzzing
// (the fuzzer must see the parser's code) and never otherwise.
QEL_HOST_API void SetHtmlParseInProcess(bool inProcess);

}  // namespace qel::host
