// The plug-in's second drawing (preview/preview_draw.h): a card's page
// laid out by the adapter of litehtml, with the card's own images, on a
// screen of a handset's width.
#include <cairo.h>

#include <algorithm>
#include <memory>
#include <string>

#include "preview/drawing.h"
#include "preview/litehtml_page.h"
#include "preview/page_canvas.h"
#include "preview/page_style.h"
#include "preview/preview_draw.h"

namespace qel::apps {

namespace {

// The screen's height, which the layout needs for its viewport.
constexpr int kScreenHeight = 320;
PageDrawn DrawPage(const PreviewPage& page, PngBytesFn write, void* closure, int& laidOut) {
    PageCanvas canvas(page.images, page.width);
    HtmlPage html(PictogramReferencesResolved(page.html), HandsetStylesheet(), canvas, page.width, kScreenHeight);
    if (html.TableDepth() > kMaxPageTableDepth) return PageDrawn::tablesTooDeep;
    laidOut = html.Layout();
    const int height = std::clamp(laidOut, 1, kMaxPageHeight);

    std::unique_ptr<cairo_surface_t, SurfaceFree> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, page.width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return PageDrawn::cannotDraw;
    std::unique_ptr<cairo_t, CairoFree> cr(cairo_create(surface.get()));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return PageDrawn::cannotDraw;
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    html.Draw(cr.get(), page.width, height);
    cairo_surface_flush(surface.get());
    return WritePng(surface.get(), write, closure) ? PageDrawn::ok : PageDrawn::cannotDraw;
}

}  // namespace

}  // namespace qel::apps

extern "C" __attribute__((visibility("default"))) qel::apps::PageDrawn QelTorucaDrawPage(
    const qel::apps::PreviewPage& page, qel::apps::PngBytesFn write, void* closure, int& laidOut) {
    try {
        return qel::apps::DrawPage(page, write, closure, laidOut);
    } catch (...) {
        // No exception crosses the plug-in's boundary.
        return qel::apps::PageDrawn::cannotDraw;
    }
}
