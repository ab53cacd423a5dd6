// Character sets by name: what a page or a URL declares, and bytes in one
// of them as wide text (glibc's iconv for those the framework lacks).
#pragma once

#include "host/api.h"

#include <string>
#include <string_view>

namespace qel::host {

// `bytes` read in `encoding` (a name as EncodingOfLabel or the page
// decoder gives it, or any that glibc's iconv knows; code page 932 for one
// it does not). Bytes that are invalid in it read as U+FFFD.
QEL_HOST_API std::u16string DecodeBytesAs(std::string_view bytes, const std::string& encoding);

// The encoding that a charset label names ("shift_jis" -> "CP932",
// "x-euc-jp" -> "EUC-JP", "utf-16" -> "UTF-8" as the HTML standard has it
// for a label found in the page), or empty when no decoder here has it.
QEL_HOST_API std::string EncodingOfLabel(std::string_view label);

// Inside the host library: ASCII letters lowered, and `s` without the
// HTML standard's white space (blank, tab, LF, FF, CR) at either end.
std::string AsciiLowered(std::string_view s);
bool IsAsciiSpace(char c);
std::string_view TrimmedAscii(std::string_view s);

}  // namespace qel::host
