// The styles that stand for the presentational attributes of i-mode pages
// (page_style.cpp), and the handset's own stylesheet, for the page
// preview's layout engine.
#pragma once

#include <functional>
#include <string>

namespace qel::apps {

// The rules a handset lays a page out by before the page's own: blocks,
// margins, lists, tables, headings, sized for a screen 240 pixels wide
// (handset.css).
std::string HandsetStylesheet();

// What an element's presentational attributes say, as CSS declarations
// ("color:#c00000;"): the attributes i-mode pages use to colour and size
// things, which a layout engine of today's CSS does not read. `attribute`
// answers an attribute's value (null when absent); `linkColour` is the
// body's link colour ("" for none); `cardImage` tells whether a "cid:"
// source is an image of the card (one that is not is framed, as a handset
// frames an image it could not fetch).
struct ElementAttributes {
    std::string tag;  // lower case
    std::function<const char*(const char*)> attribute;
};
std::string PresentationalStyle(const ElementAttributes& element, const std::string& linkColour,
                                const std::function<bool(const std::string&)>& cardImage);

// A colour attribute's value as CSS: a name or "#rrggbb" as written, and
// six hex digits without the '#' as old pages write them; "" for a value
// that is neither.
std::string CssColour(const std::string& value);

}  // namespace qel::apps
