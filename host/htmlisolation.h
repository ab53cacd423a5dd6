// The HTML parse of a page in a child process under hard limits, so that no
// page can hold or take down the process that loads it: gumbo has loops
// that a hostile page drives for minutes, and it does not check for memory
// running out.
//
// The child is forked and runs WriteHtmlRecords only (host/htmlrecords.h):
// gumbo on an arena that the child maps itself, the records written to a
// pipe. It calls no malloc and takes no lock, so a parent with other
// threads (a GUI) is safe to fork. Its limits: the arena's cap (the memory
// limit), an address-space limit of what it inherited plus that cap
// (not in AddressSanitizer builds, whose shadow memory needs terabytes of
// address space: the arena's cap holds there), a CPU limit, and the
// parent's wall-clock deadline, after which it is killed. Its records come
// back through the pipe as it writes them; the parent rebuilds the DOM.
#pragma once

#include "host/api.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace qel::host {

struct HtmlParseLimits {
    std::chrono::milliseconds deadline;  // wall clock, from the start of the parse
    std::size_t memory;                  // bytes the parse may use
};

// The limits for a page of `bytes` bytes of UTF-8: 2 s for every 2 MiB
// begun, and 512 MiB or 128 times the page, whichever is more.
QEL_HOST_API HtmlParseLimits HtmlParseLimitsFor(std::size_t bytes);

// Parses the text in a child process under `limits` and gives its element
// records. False, with `why` saying which limit the page met ("the page took
// longer than 2 s to parse", "the page needs more than 512 MiB to parse") or
// what else ended the child, when there are none.
QEL_HOST_API bool ParseHtmlRecords(const char* text, std::size_t size, const HtmlParseLimits& limits,
                                   std::string& records, std::u16string& why);

// Makes ParseHtmlRecords run the child's work in this process, for fuzzing
// (the fuzzer must see the parser's code) and never otherwise.
QEL_HOST_API void SetHtmlParseInProcess(bool inProcess);

}  // namespace qel::host
