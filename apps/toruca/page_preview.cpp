// toruca preview --page: the card's HTML part laid out by the adapter of
// litehtml, with the card's own images, on a screen of a handset's width.
#include "apps/toruca/page_preview.h"

#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>

#include "apps/toruca/card.h"
#include "apps/toruca/litehtml_page.h"
#include "apps/toruca/page_canvas.h"
#include "framework/codepage.h"

// The handset's stylesheet (handset.css), embedded at build time.
extern const char toruca_handset_css[];
extern const unsigned long toruca_handset_css_size;

namespace qel::apps {

namespace {

constexpr int kMaxHeight = 16384;

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

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A length attribute ("96", "80%") as CSS; "" for anything else.
std::string CssLength(const char* value) {
    if (!value) return "";
    std::string digits;
    const char* p = value;
    while (*p == ' ') ++p;
    while (std::isdigit(static_cast<unsigned char>(*p))) digits += *p++;
    if (digits.empty() || digits.size() > 5) return "";
    return digits + (*p == '%' ? "%" : "px");
}

// A URL as a CSS string; "" when it holds a character that would end one.
std::string CssUrl(const char* value) {
    if (!value || !*value) return "";
    const std::string url = value;
    if (url.find_first_of("\"\\\n\r") != std::string::npos) return "";
    return "url(\"" + url + "\")";
}

void Add(std::string& style, const char* property, const std::string& value) {
    if (!value.empty()) style += std::string(property) + ":" + value + ";";
}

bool IsHeading(const std::string& tag) { return tag.size() == 2 && tag[0] == 'h' && tag[1] >= '1' && tag[1] <= '6'; }

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

std::string CssColour(const std::string& value) {
    if (value.empty() || value.size() > 32) return "";
    for (const char c : value)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '#') return "";
    if (value[0] == '#') return value.find('#', 1) == std::string::npos ? value : "";
    if (value.find('#') != std::string::npos) return "";
    const bool hex = value.size() == 6 && value.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    return hex ? "#" + value : value;
}

std::string PresentationalStyle(const ElementAttributes& element, const std::string& linkColour,
                                const std::function<bool(const std::string&)>& cardImage) {
    const std::string& tag = element.tag;
    auto colour = [&](const char* name) {
        const char* value = element.attribute(name);
        return value ? CssColour(value) : std::string();
    };
    std::string style;
    if (tag == "body") {
        Add(style, "background-color", colour("bgcolor"));
        Add(style, "color", colour("text"));
        Add(style, "background-image", CssUrl(element.attribute("background")));
    } else if (tag == "font") {
        Add(style, "color", colour("color"));
    } else if (tag == "hr") {
        const std::string c = colour("color");
        Add(style, "border-color", c);
        Add(style, "background-color", c);
        Add(style, "width", CssLength(element.attribute("width")));
    } else if (tag == "a") {
        if (element.attribute("href")) Add(style, "color", linkColour);
    } else if (tag == "object" || tag == "embed") {
        Add(style, "width", CssLength(element.attribute("width")));
        Add(style, "height", CssLength(element.attribute("height")));
    } else if (tag == "img") {
        const char* src = element.attribute("src");
        if (!src || !cardImage(src)) style += "border:1px dashed #a0a0a0;";
    } else if (tag == "marquee" || tag == "table" || tag == "tr" || tag == "td" || tag == "th") {
        Add(style, "background-color", colour("bgcolor"));
    }
    if (tag == "p" || tag == "div" || IsHeading(tag)) {
        const char* align = element.attribute("align");
        const std::string a = align ? Lower(align) : "";
        if (a == "left" || a == "right" || a == "center") Add(style, "text-align", a);
    }
    return style;
}

int RunPreviewPage(const std::string& file, const std::string& out, int width) {
    if (width < 16 || width > 4096) throw Failure("--width: a width of 16 to 4096 pixels");
    ScratchFolder scratch;  // the card's images are read from here
    std::unique_ptr<CQelTpjFile> card = LoadCard(file);
    if (card->m_strHtml.empty()) throw Failure(file + ": the card holds no page");
    const CardPage page = PageOf(*card);

    PageCanvas canvas(page.images);
    const std::string stylesheet(toruca_handset_css, toruca_handset_css_size);
    HtmlPage html(page.html, stylesheet, canvas, width, kHandsetHeight);
    // A page longer than any handset would scroll is cut, so that a hostile
    // page cannot ask for a picture of any size.
    const int height = std::clamp(html.Height(), 1, kMaxHeight);

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
    const std::string written = WriteNew(out, u"page.png", png);
    std::printf("%s\n", written.c_str());
    return 0;
}

}  // namespace qel::apps
