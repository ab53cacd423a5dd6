// The page preview of the example card (examples/shop, imported as
// `toruca make` imports it): the handset's stylesheet, litehtml's parse and
// layout 240 pixels wide, the images decoded and everything drawn, as
// `toruca preview --page` does once. Beside it in the same run, the
// reference: pango alone laying out and drawing the page's text in one
// paragraph of the same width, which is the least any drawing of the page
// costs (the text shaped and its glyphs rasterized). Compare CPU times: the
// machine may be shared.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <map>
#include <regex>
#include <string>

#include "preview/litehtml_page.h"
#include "preview/page_canvas.h"
#include "preview/page_style.h"
#include "framework/codepage.h"
#include "html/html_import.h"
#include "model/tpjfile.h"

namespace {

constexpr int kWidth = 240, kScreen = 320;

struct ShopPage {
    std::string html, text;
    std::map<std::string, std::string> images;
};

const ShopPage& Shop() {
    static const ShopPage page = [] {
        ShopPage p;
        CQelTpjFile record(TYPE_CARD);
        const std::string path = std::string(QEL_SOURCE_DIR) + "/examples/shop/index.html";
        if (!qel::html::CreateFromHtml(record, qel::framework::PathFromNative(path), nullptr)) std::abort();
        p.html = qel::framework::WideToUtf8(record.m_strHtml);
        for (int i = 0; i < record.m_arrImages.GetSize(); ++i)
            p.images.emplace(qel::framework::WideToUtf8(record.m_arrImages[i].m_strId),
                             qel::framework::WideToUtf8(record.m_arrImages[i].m_strPath));
        const std::string body = p.html.substr(p.html.find("<body"));
        p.text = std::regex_replace(body, std::regex("<[^>]*>"), "");
        return p;
    }();
    return page;
}

void BM_PagePreview(benchmark::State& state) {
    const ShopPage& shop = Shop();
    const std::string stylesheet = qel::apps::HandsetStylesheet();
    for (auto _ : state) {
        qel::apps::PageCanvas canvas(shop.images);
        qel::apps::HtmlPage page(shop.html, stylesheet, canvas, kWidth, kScreen);
        const int height = page.Layout();
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, height);
        cairo_t* cr = cairo_create(surface);
        page.Draw(cr, kWidth, height);
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
}
BENCHMARK(BM_PagePreview)->Unit(benchmark::kMillisecond);

void BM_PangoTextReference(benchmark::State& state) {
    const ShopPage& shop = Shop();
    for (auto _ : state) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kScreen);
        cairo_t* cr = cairo_create(surface);
        PangoLayout* layout = pango_cairo_create_layout(cr);
        PangoFontDescription* font = pango_font_description_from_string("IPAGothic 9");
        pango_layout_set_font_description(layout, font);
        pango_font_description_free(font);
        pango_layout_set_width(layout, kWidth * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_text(layout, shop.text.c_str(), -1);
        pango_cairo_show_layout(cr, layout);
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
        g_object_unref(layout);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
}
BENCHMARK(BM_PangoTextReference)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
