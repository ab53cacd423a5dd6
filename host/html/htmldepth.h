// How deeply a page nests its elements, and roughly how much work that
// gives the HTML parser, measured before the page is parsed.
//
// The parser keeps a stack of open elements and walks it for most tags, so
// a page of 100,000 nested elements costs it tens of seconds, and it
// reopens (copies) every formatting element left open where a paragraph or
// cell ended, so a few thousand unclosed <b id=N> repeat in every following
// paragraph. No page written by hand does either; browsers bound the depth
// too. The measure is one pass over the markup with a stack of tag kinds
// that follows the tree builder's common rules only: void elements never
// open; an end tag closes up to the open element of its name, unless a
// table or cell stands between; a new <p>, <li>, <dt>/<dd>, <td>/<th>,
// <tr>, <option> or table section closes its open sibling, a block element
// an open <p>; a cell or row without its row or section gets one made up;
// formatting elements closed that way are reopened before the next content
// (three identical ones at most, and none out of a closed cell); the content
// of comments, scripts, styles and other raw-text elements is no markup.
// The work is the number of open elements passed over, summed over the tags.
#pragma once

#include "host/api.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qel::host {

// Pages that keep more elements open at once are refused.
inline constexpr std::size_t kMaxHtmlDepth = 4096;
// Pages that give more work are refused. An ordinary page of 2 MB gives a
// few million; 2 MB of tags under 4,000 open elements give 10^9.
inline constexpr std::uint64_t kMaxHtmlWork = 100'000'000;
// Pages that make the parser create more elements are refused: 2 MB of
// tags hold 700,000 at most, while reopened formatting elements can make
// millions of a few kilobytes.
inline constexpr std::size_t kMaxHtmlElements = 1'000'000;

struct QEL_HOST_API HtmlNesting {
    std::size_t depth;     // the most elements open at once
    std::uint64_t work;    // open elements passed over, summed over the tags
    std::size_t elements;  // elements made: from tags, made up, reopened
};

// The measure of `markup` (UTF-8 or any encoding that keeps ASCII as it
// is). Stops once the depth exceeds `stopAbove`, or the work or the
// elements their bound.
QEL_HOST_API HtmlNesting MeasureHtmlNesting(std::string_view markup, std::size_t stopAbove = kMaxHtmlDepth);

// True when the page (or its measure) is within all three bounds.
QEL_HOST_API bool HtmlNestingAcceptable(const HtmlNesting& nesting);
QEL_HOST_API bool HtmlNestingAcceptable(std::string_view markup);

}  // namespace qel::host
