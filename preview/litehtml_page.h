// A card's page laid out and drawn by litehtml, the HTML layout engine.
// litehtml_page.cpp is the one file that uses litehtml's interface, which
// changes between its releases; it hands all drawing to a PageCanvas and
// takes the element styles that stand for HTML attributes from
// PresentationalStyle.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

#include "preview/page_canvas.h"

namespace qel::apps {

class HtmlPage {
public:
    // Parses `html` (UTF-8) for a screen `width` x `screenHeight` pixels,
    // with `stylesheet` (CSS) as the browser's own rules. `canvas` must
    // outlive the page.
    HtmlPage(const std::string& html, const std::string& stylesheet, PageCanvas& canvas, int width, int screenHeight);
    ~HtmlPage();
    HtmlPage(const HtmlPage&) = delete;
    HtmlPage& operator=(const HtmlPage&) = delete;

    // How many tables the page nests inside one another at most. Laying
    // out nested tables costs litehtml a multiple of the time for each
    // level, so the caller decides before Layout.
    int TableDepth() const;
    // Lays the page out at the screen's width; answers its height in pixels.
    int Layout();
    // Draws the laid-out page with its top left at (0, 0), clipped to
    // `width` x `height`.
    void Draw(cairo_t* cr, int width, int height);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace qel::apps
