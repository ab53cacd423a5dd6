// What drawing a card's page takes, in the terms of cairo, pango and
// gdk-pixbuf only: the fonts and their text, the pictograms, the card's
// images by content id, backgrounds and borders, and where Japanese text
// may break. The HTML layout engine's adapter (litehtml_page.cpp) calls
// these; nothing here knows the engine.
//
// Text is UTF-8. Coordinates are whole pixels of the page.
#pragma once

#include <cairo.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qel::apps {

struct PageColour {
    unsigned char r = 0, g = 0, b = 0, a = 255;
};

struct PageRect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct PageFontMetrics {
    int height = 0, ascent = 0, descent = 0, xHeight = 0;
};

enum PageDecoration : unsigned { kUnderline = 1, kLineThrough = 2, kOverline = 4 };

enum class PageRepeat { both, x, y, none };

struct PageBackground {
    PageColour colour{0, 0, 0, 0};
    std::string image;  // empty for none
    PageRect clip;
    int imageWidth = 0, imageHeight = 0;
    int positionX = 0, positionY = 0;  // where one copy of the image starts
    PageRepeat repeat = PageRepeat::both;
};

enum class PageLine { none, solid, dotted, dashed };

struct PageBorder {
    int width = 0;
    PageLine line = PageLine::none;
    PageColour colour;
};

enum class PageMarker { disc, circle, square };

class PageCanvas {
public:
    // `images`: content id (as written after "cid:") to the file holding it;
    // `screenWidth`: the screen's width in pixels. An image is decoded no
    // larger than the screen shows it (its width, kMaxPageHeight tall), and
    // one of more than 4096 x 4096 pixels not at all: it is laid out no
    // wider than the screen and drawn as a frame that names its size.
    explicit PageCanvas(std::map<std::string, std::string> images, int screenWidth = 240);
    ~PageCanvas();
    PageCanvas(const PageCanvas&) = delete;
    PageCanvas& operator=(const PageCanvas&) = delete;

    // A font at `size` pixels, in the handset's one typeface whatever family
    // the page asks for; the handle is never 0.
    std::size_t CreateFont(int size, int weight, bool italic, unsigned decorations, PageFontMetrics& metrics);
    int TextWidth(const std::string& text, std::size_t font);
    // `text` with its top left at (x, y). A pictogram (see IsPictogram) is
    // drawn as a framed square that names its Shift_JIS code.
    void DrawText(cairo_t* cr, const std::string& text, std::size_t font, PageColour colour, int x, int y);

    // The size of the card's image `src` ("cid:ID") as laid out; false when
    // the card holds no image of that id or it is no image gdk-pixbuf reads.
    bool ImageSize(const std::string& src, int& width, int& height);
    void DrawBackground(cairo_t* cr, const PageBackground& background);
    // The four sides of `box`: top, right, bottom, left. With a corner
    // `radius`, the box is drawn round in the top side's line.
    void DrawBorders(cairo_t* cr, const PageRect& box, const PageBorder (&sides)[4], int radius = 0);
    void DrawMarker(cairo_t* cr, PageMarker marker, const PageRect& box, PageColour colour);

private:
    struct Font;
    struct Image;
    Image* FindImage(const std::string& src);
    std::unique_ptr<Image> LoadImage(const std::string& file) const;
    void DrawRefusedImage(cairo_t* cr, const Image& image, const PageRect& box);
    void DrawPictogram(cairo_t* cr, char32_t pictogram, const Font& font, int x, int y);

    std::map<std::string, std::string> m_images;
    int m_screenWidth;
    std::map<std::string, std::unique_ptr<Image>> m_loaded;
    std::vector<std::unique_ptr<Font>> m_fonts;
    struct ContextFree {
        void operator()(void* p) const;
    };
    std::unique_ptr<void, ContextFree> m_context;  // the PangoContext text is measured in
};

// The pictograms of i-mode pages: the private-use code points that code
// page 932 gives the Shift_JIS codes F89F-F9FC (U+E63E-U+E757), and the
// rest of its user-defined area (U+E000-U+E63D), which a handset draws
// from its own font too.
bool IsPictogram(char32_t c);

// `text` (one run of an element's text) cut where a line may break, by
// the Unicode line breaking rules for Japanese: `word` for each piece that
// must stay whole, `space` for each white-space character (space, tab,
// line feed, carriage return, form feed), in their order. A pictogram is
// a piece of its own.
void SplitPageText(const std::string& text, const std::function<void(const std::string&)>& word,
                   const std::function<void(const std::string&)>& space);

// `html` with each numeric character reference to a pictogram by its
// Shift_JIS code ("&#63647;" or "&#xF89F;" for F89F, as i-mode pages write
// them) written as the pictogram itself. Read as a code point, such a
// reference would name another character (U+F987 is a compatibility
// ideograph). References by the private-use code point stay as they are.
std::string PictogramReferencesResolved(const std::string& html);

}  // namespace qel::apps
