#include "preview/page_canvas.h"

#include "preview/drawing.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "framework/codepage.h"

namespace qel::apps {

namespace {

// The handset's one typeface: IPA Gothic, whose full-width and half-width
// characters keep to a grid as a handset's font does.
constexpr char kFamily[] = "IPAGothic";

void SetColour(cairo_t* cr, PageColour c) {
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

// The one code point that `text` holds, or 0 when it holds more or none.
char32_t OnlyCodePoint(const std::string& text) {
    if (text.empty()) return 0;
    const char* next = g_utf8_next_char(text.c_str());
    if (static_cast<std::size_t>(next - text.c_str()) != text.size()) return 0;
    return g_utf8_get_char_validated(text.c_str(), static_cast<gssize>(text.size()));
}

// `text` when it is UTF-8, else its copy in `storage` with each byte that
// is not made U+FFFD, as a browser shows it. The layout engine passes on
// such bytes (from a character reference it decodes into a broken
// sequence), and pango's line breaking never ends over them.
const std::string& ValidUtf8(const std::string& text, std::string& storage) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    storage = valid;
    g_free(valid);
    return storage;
}

void SetLayoutText(PangoLayout* layout, const std::string& text) {
    std::string storage;
    const std::string& valid = ValidUtf8(text, storage);
    pango_layout_set_text(layout, valid.c_str(), static_cast<int>(valid.size()));
}

bool IsBreakingSpace(gunichar c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The Shift_JIS code of a pictogram's numeric reference value, when it is
// one: F89F-F8FC, F940-F97E, F980-F9FC.
bool IsPictogramCode(unsigned long code) {
    const unsigned long lead = code >> 8, trail = code & 0xFF;
    if (lead == 0xF8) return trail >= 0x9F && trail <= 0xFC;
    if (lead == 0xF9) return trail >= 0x40 && trail <= 0xFC && trail != 0x7F;
    return false;
}

}  // namespace

struct PageCanvas::Font {
    std::unique_ptr<PangoLayout, ObjectFree> layout;
    PageFontMetrics metrics;
    int size = 0;
};

// An image of the card: decoded (`surface`), or refused for its size (no
// surface; `refusedWidth` x `refusedHeight` its size as the file gives it).
// `width` x `height` is the size the layout gives it.
struct PageCanvas::Image {
    std::unique_ptr<cairo_surface_t, SurfaceFree> surface;
    int width = 0, height = 0;
    int refusedWidth = 0, refusedHeight = 0;
};

void PageCanvas::ContextFree::operator()(void* p) const { g_object_unref(p); }

PageCanvas::PageCanvas(std::map<std::string, std::string> images, int screenWidth)
    : m_images(std::move(images)), m_screenWidth(std::max(1, screenWidth)),
      m_context(pango_font_map_create_context(pango_cairo_font_map_get_default())) {
    pango_cairo_context_set_resolution(static_cast<PangoContext*>(m_context.get()), 96);
    pango_context_set_language(static_cast<PangoContext*>(m_context.get()), pango_language_from_string("ja"));
}

PageCanvas::~PageCanvas() = default;

std::size_t PageCanvas::CreateFont(int size, int weight, bool italic, unsigned decorations, PageFontMetrics& metrics) {
    auto* context = static_cast<PangoContext*>(m_context.get());
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, kFamily);
    pango_font_description_set_absolute_size(description, size * PANGO_SCALE);
    pango_font_description_set_weight(description, static_cast<PangoWeight>(weight));
    pango_font_description_set_style(description, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);

    auto font = std::make_unique<Font>();
    font->size = size;
    font->layout.reset(pango_layout_new(context));
    pango_layout_set_font_description(font->layout.get(), description);
    PangoAttrList* attributes = pango_attr_list_new();
    if (decorations & kUnderline) pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (decorations & kLineThrough) pango_attr_list_insert(attributes, pango_attr_strikethrough_new(TRUE));
    if (decorations & kOverline) pango_attr_list_insert(attributes, pango_attr_overline_new(PANGO_OVERLINE_SINGLE));
    pango_layout_set_attributes(font->layout.get(), attributes);
    pango_attr_list_unref(attributes);

    PangoFontMetrics* m = pango_context_get_metrics(context, description, nullptr);
    font->metrics.ascent = PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(m));
    font->metrics.descent = PANGO_PIXELS_CEIL(pango_font_metrics_get_descent(m));
    font->metrics.height = font->metrics.ascent + font->metrics.descent;
    font->metrics.xHeight = font->metrics.ascent / 2;
    pango_font_metrics_unref(m);
    pango_font_description_free(description);

    metrics = font->metrics;
    m_fonts.push_back(std::move(font));
    return m_fonts.size();
}

int PageCanvas::TextWidth(const std::string& text, std::size_t font) {
    const Font& f = *m_fonts.at(font - 1);
    if (IsPictogram(OnlyCodePoint(text))) return f.size;
    SetLayoutText(f.layout.get(), text);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(f.layout.get(), &width, &height);
    return width;
}

void PageCanvas::DrawText(cairo_t* cr, const std::string& text, std::size_t font, PageColour colour, int x, int y) {
    const Font& f = *m_fonts.at(font - 1);
    SetColour(cr, colour);
    if (const char32_t c = OnlyCodePoint(text); IsPictogram(c)) {
        DrawPictogram(cr, c, f, x, y);
        return;
    }
    SetLayoutText(f.layout.get(), text);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, f.layout.get());
}

// A square of the font's size framed in the text's colour, with the
// pictogram's Shift_JIS code in two rows of two digits ("F9" over "87").
void PageCanvas::DrawPictogram(cairo_t* cr, char32_t pictogram, const Font& font, int x, int y) {
    const std::string bytes = qel::framework::WideToCp932(std::u16string(1, static_cast<char16_t>(pictogram)));
    char code[8] = "????";
    if (bytes.size() == 2)
        std::snprintf(code, sizeof code, "%02X%02X", static_cast<unsigned char>(bytes[0]),
                      static_cast<unsigned char>(bytes[1]));
    const int side = font.size - 1;
    const int top = y + (font.metrics.height - side) / 2;
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, x + 0.5, top + 0.5, side - 1, side - 1);
    cairo_stroke(cr);

    std::unique_ptr<PangoLayout, ObjectFree> label(pango_layout_new(pango_layout_get_context(font.layout.get())));
    PangoFontDescription* description = pango_font_description_from_string(kFamily);
    pango_font_description_set_absolute_size(description, (side / 2.0 - 0.5) * PANGO_SCALE);
    pango_layout_set_font_description(label.get(), description);
    pango_font_description_free(description);
    pango_layout_set_width(label.get(), (side - 2) * PANGO_SCALE);
    pango_layout_set_alignment(label.get(), PANGO_ALIGN_CENTER);
    pango_layout_set_spacing(label.get(), -PANGO_SCALE);
    const std::string rows = std::string(code, 2) + "\n" + std::string(code + 2, 2);
    pango_layout_set_text(label.get(), rows.c_str(), -1);
    cairo_move_to(cr, x + 1, top + 0.5);
    pango_cairo_show_layout(cr, label.get());
}

namespace {

// `size` scaled by `factor`, at least one pixel.
int Scaled(int size, double factor) { return std::max(1, static_cast<int>(std::lround(size * factor))); }

}  // namespace

std::unique_ptr<PageCanvas::Image> PageCanvas::LoadImage(const std::string& file) const {
    // The size from the file's header, before anything is decoded.
    int width = 0, height = 0;
    const bool withinBudget = ImageWithinBudget(file.c_str(), width, height);
    if (width <= 0 || height <= 0) return nullptr;
    auto image = std::make_unique<Image>();
    image->width = width;
    image->height = height;
    if (!withinBudget) {
        // Laid out as the screen would show it: no wider than the screen.
        const double fit = std::min(1.0, static_cast<double>(m_screenWidth) / width);
        image->width = Scaled(width, fit);
        image->height = Scaled(height, fit);
        image->refusedWidth = width;
        image->refusedHeight = height;
        return image;
    }
    // Decoded no larger than the screen can show: its width, and the
    // longest picture drawn.
    const double scale =
        std::min({1.0, static_cast<double>(m_screenWidth) / width, static_cast<double>(kMaxPageHeight) / height});
    GError* error = nullptr;
    std::unique_ptr<GdkPixbuf, ObjectFree> pixbuf(
        scale < 1.0 ? gdk_pixbuf_new_from_file_at_scale(file.c_str(), Scaled(width, scale), Scaled(height, scale),
                                                        FALSE, &error)
                    : gdk_pixbuf_new_from_file(file.c_str(), &error));
    if (error) g_error_free(error);
    if (!pixbuf) return nullptr;
    image->surface.reset(SurfaceOfPixbuf(pixbuf.get()));
    if (!image->surface) return nullptr;
    return image;
}

PageCanvas::Image* PageCanvas::FindImage(const std::string& src) {
    if (auto found = m_loaded.find(src); found != m_loaded.end()) return found->second.get();
    std::unique_ptr<Image> image;
    std::string id = src;
    if (id.size() > 4 && g_ascii_strncasecmp(id.c_str(), "cid:", 4) == 0) id = id.substr(4);
    if (id.size() > 1 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
    const auto file = src == id ? m_images.end() : m_images.find(id);
    if (file != m_images.end()) image = LoadImage(file->second);
    Image* answer = image.get();
    m_loaded.emplace(src, std::move(image));
    return answer;
}

bool PageCanvas::ImageSize(const std::string& src, int& width, int& height) {
    const Image* image = FindImage(src);
    if (!image) return false;
    width = image->width;
    height = image->height;
    return true;
}

// An image too large to decode: a grey frame over its box, naming its size.
void PageCanvas::DrawRefusedImage(cairo_t* cr, const Image& image, const PageRect& box) {
    cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, box.x + 0.5, box.y + 0.5, std::max(0, box.width - 1), std::max(0, box.height - 1));
    cairo_stroke(cr);
    std::unique_ptr<PangoLayout, ObjectFree> label(pango_layout_new(static_cast<PangoContext*>(m_context.get())));
    PangoFontDescription* description = pango_font_description_from_string(kFamily);
    pango_font_description_set_absolute_size(description, 10 * PANGO_SCALE);
    pango_layout_set_font_description(label.get(), description);
    pango_font_description_free(description);
    const std::string size = std::to_string(image.refusedWidth) + "\u00D7" + std::to_string(image.refusedHeight);
    pango_layout_set_text(label.get(), size.c_str(), -1);
    cairo_move_to(cr, box.x + 2, box.y + 1);
    pango_cairo_show_layout(cr, label.get());
}

void PageCanvas::DrawBackground(cairo_t* cr, const PageBackground& bg) {
    cairo_save(cr);
    cairo_rectangle(cr, bg.clip.x, bg.clip.y, bg.clip.width, bg.clip.height);
    cairo_clip(cr);
    if (bg.colour.a > 0) {
        SetColour(cr, bg.colour);
        cairo_paint(cr);
    }
    const Image* image = bg.image.empty() ? nullptr : FindImage(bg.image);
    if (image && !image->surface && bg.imageWidth > 0 && bg.imageHeight > 0) {
        DrawRefusedImage(cr, *image, {bg.positionX, bg.positionY, bg.imageWidth, bg.imageHeight});
    } else if (image && bg.imageWidth > 0 && bg.imageHeight > 0) {
        // One copy at the image's place, repeated along the axes asked.
        if (bg.repeat == PageRepeat::x || bg.repeat == PageRepeat::none) {
            cairo_rectangle(cr, bg.clip.x, bg.positionY, bg.clip.width, bg.imageHeight);
            cairo_clip(cr);
        }
        if (bg.repeat == PageRepeat::y || bg.repeat == PageRepeat::none) {
            cairo_rectangle(cr, bg.positionX, bg.clip.y, bg.imageWidth, bg.clip.height);
            cairo_clip(cr);
        }
        cairo_translate(cr, bg.positionX, bg.positionY);
        // The surface may have been decoded smaller than the image is.
        cairo_scale(cr, static_cast<double>(bg.imageWidth) / cairo_image_surface_get_width(image->surface.get()),
                    static_cast<double>(bg.imageHeight) / cairo_image_surface_get_height(image->surface.get()));
        cairo_set_source_surface(cr, image->surface.get(), 0, 0);
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_REPEAT);
        cairo_paint(cr);
    }
    cairo_restore(cr);
}

void PageCanvas::DrawBorders(cairo_t* cr, const PageRect& box, const PageBorder (&sides)[4], int radius) {
    const PageBorder &top = sides[0], &right = sides[1], &bottom = sides[2], &left = sides[3];
    if (radius > 0 && top.width > 0 && top.line != PageLine::none) {
        // A round box (a radio button): one line along the middle of its edge.
        const double inset = top.width / 2.0;
        const double r = std::min({double(radius), box.width / 2.0 - inset, box.height / 2.0 - inset});
        const double x0 = box.x + inset, y0 = box.y + inset;
        const double x1 = box.x + box.width - inset, y1 = box.y + box.height - inset;
        cairo_save(cr);
        cairo_new_path(cr);
        cairo_arc(cr, x1 - r, y0 + r, r, -G_PI / 2, 0);
        cairo_arc(cr, x1 - r, y1 - r, r, 0, G_PI / 2);
        cairo_arc(cr, x0 + r, y1 - r, r, G_PI / 2, G_PI);
        cairo_arc(cr, x0 + r, y0 + r, r, G_PI, 3 * G_PI / 2);
        cairo_close_path(cr);
        SetColour(cr, top.colour);
        cairo_set_line_width(cr, top.width);
        cairo_stroke(cr);
        cairo_restore(cr);
        return;
    }
    // Each side as the line along its middle.
    struct Line {
        const PageBorder& border;
        double x0, y0, x1, y1;
    };
    const Line lines[] = {
        {top, double(box.x), box.y + top.width / 2.0, double(box.x + box.width), box.y + top.width / 2.0},
        {right, box.x + box.width - right.width / 2.0, double(box.y), box.x + box.width - right.width / 2.0,
         double(box.y + box.height)},
        {bottom, double(box.x), box.y + box.height - bottom.width / 2.0, double(box.x + box.width),
         box.y + box.height - bottom.width / 2.0},
        {left, box.x + left.width / 2.0, double(box.y), box.x + left.width / 2.0, double(box.y + box.height)},
    };
    cairo_save(cr);
    for (const Line& line : lines) {
        if (line.border.width <= 0 || line.border.line == PageLine::none) continue;
        SetColour(cr, line.border.colour);
        cairo_set_line_width(cr, line.border.width);
        const double dash = line.border.line == PageLine::dotted ? line.border.width : 3.0 * line.border.width;
        if (line.border.line == PageLine::solid) cairo_set_dash(cr, nullptr, 0, 0);
        else cairo_set_dash(cr, &dash, 1, 0);
        cairo_move_to(cr, line.x0, line.y0);
        cairo_line_to(cr, line.x1, line.y1);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void PageCanvas::DrawMarker(cairo_t* cr, PageMarker marker, const PageRect& box, PageColour colour) {
    SetColour(cr, colour);
    cairo_new_path(cr);  // nothing drawn before joins the mark
    const double cx = box.x + box.width / 2.0, cy = box.y + box.height / 2.0;
    // At least the size a browser gives the marks at a 12-pixel text, so
    // that a circle shows as one.
    const double r = std::max(2.5, std::min(box.width, box.height) / 2.0 - 0.5);
    switch (marker) {
        case PageMarker::disc:
            cairo_arc(cr, cx, cy, r, 0, 2 * G_PI);
            cairo_fill(cr);
            break;
        case PageMarker::circle:
            cairo_set_line_width(cr, 1);
            cairo_arc(cr, cx, cy, r - 0.5, 0, 2 * G_PI);
            cairo_stroke(cr);
            break;
        case PageMarker::square:
            cairo_rectangle(cr, cx - r, cy - r, 2 * r, 2 * r);
            cairo_fill(cr);
            break;
    }
}

bool IsPictogram(char32_t c) { return c >= 0xE000 && c <= 0xE757; }

void SplitPageText(const std::string& given, const std::function<void(const std::string&)>& word,
                   const std::function<void(const std::string&)>& space) {
    std::string storage;
    const std::string& text = ValidUtf8(given, storage);
    const int length = static_cast<int>(text.size());
    const glong count = g_utf8_strlen(text.c_str(), length);
    std::vector<PangoLogAttr> attrs(static_cast<std::size_t>(count) + 1);
    pango_get_log_attrs(text.c_str(), length, -1, pango_language_from_string("ja"), attrs.data(),
                        static_cast<int>(attrs.size()));
    std::string piece;
    bool alone = false;  // the piece is a pictogram, which nothing joins
    const char* p = text.c_str();
    for (std::size_t i = 0; i < attrs.size() - 1; ++i) {
        const char* next = g_utf8_next_char(p);
        const gunichar c = g_utf8_get_char(p);
        const bool pictogram = IsPictogram(c);
        if (!piece.empty() && (attrs[i].is_line_break || alone || pictogram || IsBreakingSpace(c))) {
            word(piece);
            piece.clear();
        }
        alone = pictogram;
        if (IsBreakingSpace(c)) space(std::string(p, next));
        else piece.append(p, next);
        p = next;
    }
    if (!piece.empty()) word(piece);
}

std::string PictogramReferencesResolved(const std::string& html) {
    std::string out;
    out.reserve(html.size());
    std::size_t i = 0;
    while (i < html.size()) {
        const std::size_t amp = html.find("&#", i);
        if (amp == std::string::npos) break;
        out.append(html, i, amp - i);
        std::size_t digits = amp + 2;
        const bool hex = digits < html.size() && (html[digits] == 'x' || html[digits] == 'X');
        if (hex) ++digits;
        char* end = nullptr;
        const unsigned long code = std::strtoul(html.c_str() + digits, &end, hex ? 16 : 10);
        std::size_t after = static_cast<std::size_t>(end - html.c_str());
        const bool anyDigit = after > digits && g_ascii_isxdigit(html[digits]);
        if (!anyDigit || !IsPictogramCode(code)) {
            out.append("&#");
            i = amp + 2;
            continue;
        }
        if (after < html.size() && html[after] == ';') ++after;
        const char bytes[] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        out += qel::framework::WideToUtf8(qel::framework::Cp932ToWide(std::string_view(bytes, 2)));
        i = after;
    }
    if (i < html.size()) out.append(html, i, std::string::npos);
    return out;
}

}  // namespace qel::apps
