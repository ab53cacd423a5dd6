// The HTML parse of a page in a bounded child process
// (host/boundedchild.h), so that no page can hold or take down the process
// that loads it: gumbo has loops that a hostile page drives for minutes,
// and it does not check for memory running out.
//
// The child runs WriteHtmlRecords only (host/html/htmlrecords.h): gumbo on an
// arena that the child maps itself as the parse grows, the records written
// to the pipe a buffer of whole records at a time. It calls no malloc and
// takes no lock, so a parent with other threads (a GUI) is safe to fork.
// Its limits: the arena's cap (the memory limit; the records are held to as
// much again, by the child and by the parent's reading), an address space
// of what the host had mapped plus that cap (never above the host's own
// limit), CPU seconds and a wall deadline of the parse's time. The parent
// reads the records into one buffer that grows without copying and
// rebuilds the DOM from them. (A region shared before the fork would save
// the pipe's copies, but it would have to be as large as the records may
// grow, and a host under an address-space limit could then parse no page.)
#pragma once

#include "host/api.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/boundedchild.h"
#include "host/html/htmlrecords.h"

namespace qel::host {

struct HtmlParseLimits {
    std::chrono::milliseconds deadline;  // wall clock, from the start of the parse
    std::size_t memory;                  // bytes the parse may use
};

// The limits for a page of `bytes` bytes of UTF-8: 2 s for every 2 MiB
// begun, and 512 MiB or 128 times the page, whichever is more.
QEL_HOST_API HtmlParseLimits HtmlParseLimitsFor(std::size_t bytes);

// The child's limits for a parse under `limits`: CPU seconds and the wall
// deadline of its time, the records held to its memory, an address space
// of its memory and some room for the child's own needs.
QEL_HOST_API BoundedLimits HtmlParseChildLimits(const HtmlParseLimits& limits);

// The records of one parse (host/html/htmlrecords.h), in memory of their own
// that grows as they come.
class QEL_HOST_API HtmlRecords {
public:
    HtmlRecords() = default;
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
    // The bytes as they came, the trailer included until TakeTrailer.
    BoundedOutput& Bytes() { return m_bytes; }
    std::size_t Size() const { return m_bytes.Size(); }
    // Takes the trailer off the end; false when there is no whole one.
    bool TakeTrailer() noexcept;

private:
    BoundedOutput m_bytes;
    RecordsTrailer m_trailer{};
};

// Parses the text in a child process under `limits` and gives its element
// records. False, with `why` saying which limit the page met ("the page took
// longer than 2 s to parse", "the page needs more than 512 MiB to parse",
// "the page needs more memory to parse than the address-space limit
// leaves") or what else ended the child, when there are none.
QEL_HOST_API bool ParseHtmlRecords(const char* text, std::size_t size, const HtmlParseLimits& limits,
                                   HtmlRecords& records, std::u16string& why);

// Makes ParseHtmlRecords run the child's work in this process, for fuzzing
// (the fuzzer must see the parser's code) and never otherwise. A parse that
// runs out of its memory or of its time (CPU time of the thread, as the
// child's CPU limit) there ends as in the child: false, with the reason.
QEL_HOST_API void SetHtmlParseInProcess(bool inProcess);

}  // namespace qel::host
