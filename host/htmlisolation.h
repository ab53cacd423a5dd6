// The HTML parse of a page in a child process under hard limits, so that no
// page can hold or take down the process that loads it: gumbo has loops
// that a hostile page drives for minutes, and it does not check for memory
// running out.
//
// The child is forked and runs WriteHtmlRecords only (host/htmlrecords.h):
// gumbo on an arena that the child maps itself, the records written into a
// region that the parent mapped shared before the fork. It calls no malloc
// and takes no lock, so a parent with other threads (a GUI) is safe to
// fork. Its limits: the arena's cap (the memory limit; the records have a
// region of the same size), an address-space limit of what it inherited
// plus that cap (not in AddressSanitizer builds, whose shadow memory needs
// terabytes of address space: the arena's cap holds there), a CPU limit,
// and the parent's wall-clock deadline, after which it is killed. A pipe
// that only the child holds open tells the parent when it has ended; the
// parent then reads the records in place and rebuilds the DOM.
#pragma once

#include "host/api.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/htmlrecords.h"

namespace qel::host {

struct HtmlParseLimits {
    std::chrono::milliseconds deadline;  // wall clock, from the start of the parse
    std::size_t memory;                  // bytes the parse may use
};

// The limits for a page of `bytes` bytes of UTF-8: 2 s for every 2 MiB
// begun, and 512 MiB or 128 times the page, whichever is more.
QEL_HOST_API HtmlParseLimits HtmlParseLimitsFor(std::size_t bytes);

// The records of one parse in the region they were written to, which stays
// mapped until the object ends or takes other records.
class QEL_HOST_API HtmlRecords {
public:
    HtmlRecords() = default;
    ~HtmlRecords();
    HtmlRecords(const HtmlRecords&) = delete;
    HtmlRecords& operator=(const HtmlRecords&) = delete;

    // The records after the header, as the parse left them (their end
    // checked against the region, nothing else); empty when there are none.
    std::string_view Records() const;
    // What the header claims: the element records and the bytes of the
    // attributes' names and values.
    std::uint32_t Elements() const { return m_header.elements; }
    std::uint64_t TextBytes() const { return m_header.textBytes; }

    // Unmaps the region; no records.
    void Clear() noexcept;
    // A new region of `capacity` bytes, shared with children forked from
    // now on or private; false when none can be mapped.
    bool Map(std::size_t capacity, bool shared) noexcept;
    char* Region() const { return m_region; }
    std::size_t Capacity() const { return m_capacity; }
    // Takes the header that the parse wrote; false when it is not whole.
    bool TakeHeader() noexcept;

private:
    char* m_region = nullptr;
    std::size_t m_capacity = 0;
    RecordsHeader m_header{};
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
