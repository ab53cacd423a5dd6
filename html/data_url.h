// Images given inline in a page as "data:" URLs
// (src="data:image/png;base64,iVBORw0..."): their bytes and a file name for
// the card part that carries them.
#pragma once

#include <string>
#include <string_view>

namespace qel::html {

struct DataUrl {
    std::string mediaType;  // the type's essence in lower case ("image/png"); "text/plain" when none is given
    std::string bytes;      // the decoded body
};

// Reads `value` (an attribute's text) the way browsers read a data: URL
// (the WHATWG "data: URL processor"): blanks and control characters at the
// ends dropped, tabs and line breaks removed, the fragment (from the first
// '#') dropped, "data:" in any case, the media
// type up to the first ',', and the body after it percent-decoded (its
// non-ASCII characters as UTF-8); with ";base64" ending the media type, the
// body is then Base64, white space allowed, one or two '=' at the end
// optional. False, with `out` unspecified, for a value that is not a data:
// URL or is malformed: no ',', or a Base64 body with another character, a
// misplaced '=' or a length that no bytes have.
bool ParseDataUrl(std::u16string_view value, DataUrl& out);

// The file name extension (without the dot) of a data: image: from the
// bytes' signature when they have one the writer knows (GIF, JPEG, PNG,
// Flash), else from the media type (image/png "png", image/jpeg "jpg",
// image/svg+xml "svg", ...); empty when neither tells.
std::u16string DataUrlExtension(const DataUrl& data);

}  // namespace qel::html
