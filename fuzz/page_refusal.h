// What the page fuzz targets allow the parse to refuse.
#pragma once

#include <string>

#include "host/html/htmldepth.h"
#include "host/report.h"

namespace qel::fuzz {

// True when the parse may refuse the page `utf8`: it nests too deeply, or
// the parse met its memory cap, the address-space limit or its time, the
// reason the export reported as qelhost says it ("the page needs more than
// 512 MiB to parse", "the page took longer than 2 s to parse"). Any other
// refusal of a readable page is a fault. Takes the
// report, which the target begins before each input.
inline bool PageMayBeRefused(const std::string& utf8) {
    const std::u16string why = qel::host::TakeExportReport().why;
    if (!qel::host::HtmlNestingAcceptable(utf8)) return true;
    return why.find(u"MiB to parse") != std::u16string::npos || why.find(u"took longer than") != std::u16string::npos ||
           why.find(u"than the address-space limit leaves") != std::u16string::npos;
}

}  // namespace qel::fuzz
