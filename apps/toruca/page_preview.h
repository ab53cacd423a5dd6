// toruca preview --page: a card's detail page as a handset shows it, drawn
// into a PNG picture one screen wide.
#pragma once

#include <string>

#include "apps/toruca/card.h"

namespace qel::apps {

// The width of an i-mode handset's screen, and its height.
inline constexpr int kHandsetWidth = 240;
inline constexpr int kHandsetHeight = 320;

// Draws the page of the card `file` ("-" for standard input) `width`
// pixels wide, as tall as the page is, and writes it as a PNG picture
// where `out` says (WriteOutput; default "page.png").
int RunPreviewPage(const std::string& file, const Output& out, int width);

}  // namespace qel::apps
