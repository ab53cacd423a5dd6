// The image references of a page, as the HTML import collects them and the
// content-id rewriting turns them back: the body's "background", then the
// "src" of every img element, then the "data" of every object element, each
// list in document order. No other element or attribute is a reference here
// (no style sheet, no other tag's "src").
#pragma once

#include <string>

#include "host/html/dom.h"

namespace qel::html {

// Calls visit(Element&, const std::u16string& attribute) for each reference
// holder of `doc`, in the order above. A page without a body element has no
// background reference. The lists are read again at every step, and what is
// not an element (a null item, another kind of node) is passed over, so a
// host DOM that hands out such entries costs nothing but the entry.
template <typename Visit>
void VisitImageReferences(Document& doc, Visit&& visit) {
    static const std::u16string kBackground = u"background";
    static const std::u16string kImg = u"img";
    static const std::u16string kSrc = u"src";
    static const std::u16string kObject = u"object";
    static const std::u16string kData = u"data";

    if (Element* body = doc.getBODYElement(nullptr, false)) visit(*body, kBackground);
    for (const auto& [tag, attribute] : {std::pair{&kImg, &kSrc}, std::pair{&kObject, &kData}}) {
        const NodeList nodes = doc.getElementsByTagName(*tag);
        for (unsigned i = 0; i < nodes.length(); ++i) {
            Node* node = nodes.item(i);
            if (!node || node->getNodeType() != Node::ELEMENT_NODE) continue;
            // A node that calls itself an element but is none is passed over too.
            if (auto* element = dynamic_cast<Element*>(node)) visit(*element, *attribute);
        }
    }
}

}  // namespace qel::html
