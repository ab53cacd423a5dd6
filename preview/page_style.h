// The styles that stand for the presentational attributes of i-mode pages
// (page_style.cpp), what form controls show (page_forms.cpp), and the
// handset's own stylesheet, for the page preview's layout engine.
#pragma once

#include <functional>
#include <string>

namespace qel::apps {

// The rules a handset lays a page out by before the page's own: blocks,
// margins, lists, tables, headings, sized for a screen 240 pixels wide
// (handset.css).
std::string HandsetStylesheet();

// An element as the attribute styles see it: its tag in lower case and its
// attributes (`attribute` answers a value, null when absent).
struct ElementAttributes {
    std::string tag;
    std::function<const char*(const char*)> attribute;
};

// What an element's ancestors, and the elements before it, hand down to
// the styles of its attributes.
struct AttributeScope {
    std::string linkColour;   // the body's link colour, "" for none
    int baseFont = 3;         // the size `basefont` set (1-7), which `font size=+n` counts from
    int tableBorder = 0;      // the border of the table whose cells these are (0: none)
    std::string cellPadding;  // that table's cellpadding as CSS, "" for none
    std::string blockAlign;   // "center" or "right": how an enclosing `align` places tables
    std::string linkFrame;    // inside a link: the colour an image's border takes there
};

// What an element's presentational attributes say, as CSS declarations
// ("color:#c00000;"), the way a browser maps them: the attributes i-mode
// pages use to colour, size, align and float things, which a layout
// engine of today's CSS does not read. `scope` comes in as the element's
// parent leaves it and goes out as the element leaves it for its children
// (and, for `basefont`, for what follows). `cardImage` tells whether a
// source is an image of the card (one that is not is framed, as a handset
// frames an image it could not fetch).
std::string PresentationalStyle(const ElementAttributes& element, AttributeScope& scope,
                                const std::function<bool(const std::string&)>& cardImage);

// A colour attribute's value as CSS: a name or "#rrggbb" as written, and
// six hex digits without the '#' as old pages write them; "" for a value
// that is neither.
std::string CssColour(const std::string& value);

// The pixel size of `font size=VALUE` ("1" to "7", or "+n"/"-n" counted
// from `baseFont`), as a browser sizes the seven steps around a 12-pixel
// text; 0 for a value that is no size.
int FontSizePixels(const char* value, int baseFont);

// Form controls (page_forms.cpp). An `input` is drawn as an element of its
// own with the text it shows as its one child: ControlText answers that
// text ("" for none), and whether the element is such a control at all.
bool IsDrawnInput(const ElementAttributes& element);
std::string ControlText(const ElementAttributes& element);
// The style of a form control's box: a text field as wide as `size`
// characters, a check box or radio button, a button, a `textarea` of
// `rows` and `cols`, a closed `select`; "" for other elements.
std::string ControlStyle(const ElementAttributes& element);

}  // namespace qel::apps
