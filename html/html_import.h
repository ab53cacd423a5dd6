// Building a record from an HTML page (html_import.cpp has the rules).
#pragma once

#include <string>

#include "host/html/dom.h"
#include "model/tpjfile.h"

namespace qel::html {

// What the walk of one page needs of it besides the base: its encoding, its
// own path and the inline images met so far (html_import.cpp).
class PageImport;

// Replaces the record's image list and page with those of the page at
// `path`, read by the host's loader when `hostDocument` is null, otherwise
// taken from a deep copy of the host's document (never changed). False, with
// an empty image list and the page as it was, when there is no page. Inline
// "data:" images are kept in memory by their entries (CQelTpjImgFile::m_data).
bool CreateFromHtml(CQelTpjFile& record, const std::u16string& path, Node* hostDocument);

// One reference holder of the page: a local image becomes the next entry
// ("image<counter>", the counter then moves on) and the attribute its "cid:"
// reference; web images, empty values and (with `import`) references to the
// page itself stay as they are. Without `import`, inline "data:" images are
// taken as references like any other.
void CollectImageAttribute(CQelTpjFile& record, Element* element, const std::u16string& attribute,
                           const std::u16string& base, int& counter, PageImport* import = nullptr);

}  // namespace qel::html
