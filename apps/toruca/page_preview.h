// toruca preview --page: a card's detail page as a handset shows it, drawn
// into a PNG picture one screen wide.
#pragma once

#include <functional>
#include <string>

namespace qel::apps {

// The width of an i-mode handset's screen, and its height.
inline constexpr int kHandsetWidth = 240;
inline constexpr int kHandsetHeight = 320;

// Draws the page of the card `file` `width` pixels wide, as tall as the
// page is, and writes it as a PNG picture (`out` as WriteNew takes it,
// default "page.png"). Prints the path written.
int RunPreviewPage(const std::string& file, const std::string& out, int width);

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
