// toruca preview --page: the card's HTML part laid out by the adapter of
// litehtml, with the card's own images, on a screen of a handset's width.
#include "apps/toruca/page_preview.h"

#include <cairo.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "apps/toruca/card.h"
#include "apps/toruca/litehtml_page.h"
#include "apps/toruca/page_canvas.h"
#include "apps/toruca/page_style.h"
#include "framework/codepage.h"
#include "host/htmldepth.h"

namespace qel::apps {

namespace {

constexpr int kMaxHeight = 16384;
// The layout engine walks the tree by recursion, several calls deep for
// each level: a page nesting deeper than any handset page would is refused
// rather than allowed to exhaust the stack.
constexpr std::size_t kMaxPageDepth = 512;
// Each level of tables inside tables multiplies the layout's time (about
// 2.5 times: 16 levels take seconds); handset pages nest two or three.
constexpr int kMaxTableDepth = 8;

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoFree {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The page's text and its images by content id, from the card.
struct CardPage {
    std::string html;
    std::map<std::string, std::string> images;
};

CardPage PageOf(const CQelTpjFile& card) {
    CardPage page;
    page.html = PictogramReferencesResolved(Utf8(card.m_strHtml));
    for (int i = 0; i < card.m_arrImages.GetSize(); ++i) {
        const CQelTpjImgFile& image = card.m_arrImages[i];
        // The first entry of an id is the one a reference means.
        page.images.emplace(Utf8(image.m_strId), qel::framework::PathToNative(image.m_strPath));
    }
    return page;
}

}  // namespace

int RunPreviewPage(const std::string& file, const Output& out, int width) {
    if (width < 16 || width > 4096) throw Failure("--width: a width of 16 to 4096 pixels");
    const InputFile input(file);
    ScratchFolder scratch;  // the card's images are read from here
    std::unique_ptr<CQelTpjFile> card = LoadCard(input);
    if (card->m_strHtml.empty()) throw Failure(input.name() + ": the card holds no page");
    const CardPage page = PageOf(*card);
    const qel::host::HtmlNesting nesting = qel::host::MeasureHtmlNesting(page.html, kMaxPageDepth);
    if (nesting.depth > kMaxPageDepth || !qel::host::HtmlNestingAcceptable(nesting))
        throw Failure(input.name() + ": the page nests its elements more than " + std::to_string(kMaxPageDepth) +
                      " levels deep or has too many to be drawn");

    PageCanvas canvas(page.images);
    HtmlPage html(page.html, HandsetStylesheet(), canvas, width, kHandsetHeight);
    if (html.TableDepth() > kMaxTableDepth)
        throw Failure(input.name() + ": the page nests tables more than " + std::to_string(kMaxTableDepth) +
                      " deep, too deep to be drawn");
    // A page longer than any handset would scroll is cut, so that a hostile
    // page cannot ask for a picture of any size.
    const int height = std::clamp(html.Layout(), 1, kMaxHeight);

    std::unique_ptr<cairo_surface_t, SurfaceFree> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    std::unique_ptr<cairo_t, CairoFree> cr(cairo_create(surface.get()));
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    html.Draw(cr.get(), width, height);
    cairo_surface_flush(surface.get());

    std::string png;
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png_stream(surface.get(), AppendPng, &png) != CAIRO_STATUS_SUCCESS)
        throw Failure("cannot draw the page");
    WriteOutput(out, u"page.png", png);
    return 0;
}

}  // namespace qel::apps
