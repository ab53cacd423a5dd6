// The plug-in of `toruca preview` (preview/preview_draw.h): the card as a
// handset lists it, drawn with cairo and pango in the IPA Gothic font the
// GUI uses.
#include "preview/preview_draw.h"

#include "preview/drawing.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <memory>

namespace qel::apps {

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 216;
constexpr int kBand = 16;  // the colour band on the left
constexpr char kFont[] = "IPAPGothic";

struct Rgb {
    double r, g, b;
};

// The colours of Color-ID 0..9, after their labels (赤 橙 黄 緑 水 青 紫 桃 茶 黒).
Rgb ColourOf(int id) {
    static const Rgb colours[] = {{0.90, 0.00, 0.07}, {0.95, 0.60, 0.00}, {1.00, 0.88, 0.00}, {0.00, 0.60, 0.27},
                                  {0.00, 0.63, 0.91}, {0.11, 0.13, 0.53}, {0.57, 0.03, 0.51}, {0.95, 0.62, 0.76},
                                  {0.56, 0.37, 0.16}, {0.00, 0.00, 0.00}};
    if (id < 0 || id > 9) return {0.6, 0.6, 0.6};
    return colours[id];
}

// Draws `text` at (x, y) within `width`, at most `lines` lines, ellipsized.
// Returns the height drawn.
int DrawText(cairo_t* cr, const std::string& text, double x, double y, int width, int size, bool bold, int lines,
             Rgb colour) {
    std::unique_ptr<PangoLayout, ObjectFree> layout(pango_cairo_create_layout(cr));
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kFont);
    pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
    pango_font_description_set_weight(font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout.get(), font);
    pango_font_description_free(font);
    pango_layout_set_width(layout.get(), width * PANGO_SCALE);
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_height(layout.get(), -lines);
    pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout.get());
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout.get(), &w, &h);
    return h;
}

// The unique icon, scaled into a square of `size` pixels at (x, y); nothing
// when its file is no image that gdk-pixbuf reads.
void DrawIcon(cairo_t* cr, const std::string& path, double x, double y, int size) {
    GError* error = nullptr;
    // An icon too large to decode is left out.
    int width = 0, height = 0;
    if (!ImageWithinBudget(path.c_str(), width, height)) return;
    std::unique_ptr<GdkPixbuf, ObjectFree> pixbuf(
        gdk_pixbuf_new_from_file_at_scale(path.c_str(), size, size, TRUE, &error));
    if (error) g_error_free(error);
    if (!pixbuf) return;
    std::unique_ptr<cairo_surface_t, SurfaceFree> surface(SurfaceOfPixbuf(pixbuf.get()));
    if (!surface) return;
    const int w = cairo_image_surface_get_width(surface.get()), h = cairo_image_surface_get_height(surface.get());
    cairo_set_source_surface(cr, surface.get(), x + (size - w) / 2.0, y + (size - h) / 2.0);
    cairo_paint(cr);
}

// White ground, the colour band of the card's Color-ID and a thin frame.
void DrawGround(cairo_t* c, int colourId) {
    cairo_set_source_rgb(c, 1, 1, 1);
    cairo_paint(c);
    const Rgb colour = ColourOf(colourId);
    cairo_set_source_rgb(c, colour.r, colour.g, colour.b);
    cairo_rectangle(c, 0, 0, kBand, kHeight);
    cairo_fill(c);
    cairo_set_source_rgb(c, 0.8, 0.8, 0.8);
    cairo_set_line_width(c, 1);
    cairo_rectangle(c, 0.5, 0.5, kWidth - 1, kHeight - 1);
    cairo_stroke(c);
}

// The unique icon on a grey square, when the card has one; answers where
// the text begins.
int DrawIconBox(cairo_t* c, const std::string& iconPath, int left) {
    if (iconPath.empty()) return left;
    cairo_set_source_rgb(c, 0.93, 0.93, 0.93);
    cairo_rectangle(c, left, 16, 64, 64);
    cairo_fill(c);
    DrawIcon(c, iconPath, left, 16, 64);
    return left + 64 + 14;
}

// The three data lines: heading, introduction, third line.
void DrawDataLines(cairo_t* c, const PreviewCard& card, int textLeft) {
    const Rgb ink{0.13, 0.13, 0.13}, grey{0.40, 0.40, 0.40};
    const int textWidth = kWidth - textLeft - 16;
    double y = 14;
    y += DrawText(c, card.data1, textLeft, y, textWidth, 24, true, 2, ink) + 8;
    y += DrawText(c, card.data2, textLeft, y, textWidth, 17, false, 3, ink) + 6;
    DrawText(c, card.data3, textLeft, y, textWidth, 15, false, 1, grey);
}

// The footer under a rule at the bottom.
void DrawFooter(cairo_t* c, const std::string& footer, int left) {
    cairo_set_source_rgb(c, 0.85, 0.85, 0.85);
    cairo_move_to(c, left, kHeight - 34.5);
    cairo_line_to(c, kWidth - 16, kHeight - 34.5);
    cairo_stroke(c);
    const Rgb grey{0.40, 0.40, 0.40};
    DrawText(c, footer, left, kHeight - 28, kWidth - left - 16, 14, false, 1, grey);
}

bool DrawPreview(const PreviewCard& card, PngBytesFn write, void* closure) {
    std::unique_ptr<cairo_surface_t, SurfaceFree> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
    std::unique_ptr<cairo_t, CairoFree> cr(cairo_create(surface.get()));
    cairo_t* c = cr.get();
    const int left = kBand + 14;
    DrawGround(c, card.colourId);
    DrawDataLines(c, card, DrawIconBox(c, card.iconPath, left));
    DrawFooter(c, card.footer, left);
    cairo_surface_flush(surface.get());
    return WritePng(surface.get(), write, closure);
}

}  // namespace

}  // namespace qel::apps

extern "C" __attribute__((visibility("default"))) bool QelTorucaDrawPreview(const qel::apps::PreviewCard& card,
                                                                            qel::apps::PngBytesFn write,
                                                                            void* closure) {
    return qel::apps::DrawPreview(card, write, closure);
}
