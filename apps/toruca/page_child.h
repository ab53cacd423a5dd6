// preview --page's drawing in a child process under hard limits: litehtml's
// parse and layout, the images' decoding and the drawing of a page, all of
// which a hostile page drives, run where they can neither hold nor take down
// toruca.
#pragma once

#include <cstdint>
#include <string>

#include "preview/preview_draw.h"

namespace qel::apps {

// Each 100,000 bytes of card begun (a handset's largest) give the drawing
// this much wall-clock and CPU time.
inline constexpr int kPageSecondsPer100KB = 2;
// The drawing's memory beyond what toruca holds when it starts it.
inline constexpr std::uint64_t kPageMemoryMiB = 512;

struct BoundedPage {
    PageDrawn drawn = PageDrawn::cannotDraw;
    std::string png;      // the picture, when drawn
    int laidOut = 0;      // the page's height as laid out, before any cut
    std::string failure;  // why the child gave no answer ("the page took longer than 2 s to draw"); empty when it did
};

// Draws `page` by `draw` (the plug-in's function) in a child of its own,
// with the time that a card of `cardBytes` bytes is given.
BoundedPage DrawPageBounded(const PreviewPage& page, DrawPageFn draw, std::uint64_t cardBytes);

}  // namespace qel::apps
