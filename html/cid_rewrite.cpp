// The reverse of the HTML import: "cid:" references of the page text turned
// back into the URLs of the image files that the image list names. Works on
// a parsed copy of the page; the record does not change.
#include "html/cid_rewrite.h"

#include <climits>
#include <string_view>
#include <unordered_map>

#include "host/dom.h"
#include "host/htmldata.h"
#include "host/url.h"
#include "html/page_references.h"
#include "model/tpjfile.h"

namespace {

// The content id of a value that is a content-id reference: "cid:" in lower
// case at its very start, followed by at least one character. Empty otherwise.
std::u16string_view ContentIdOf(std::u16string_view value) {
    if (value.size() <= 4 || value.substr(0, 4) != u"cid:") return {};
    return value.substr(4);
}

// Sets the attribute to the URL form of `entry`'s file (the path itself
// where it has none).
void PointAtFile(Element& element, const std::u16string& attribute, const CQelTpjImgFile& entry) {
    std::u16string url;
    SIFUtil::PCPathtoURL(url, entry.m_strPath);
    element.setAttribute(attribute, url.empty() ? entry.m_strPath : url);
}

}  // namespace

namespace qel::html {

std::u16string GetHtml(const CQelTpjFile& record, bool resolve) {
    return resolve ? ResolveContentIds(record, record.m_strHtml) : record.m_strHtml;
}

std::u16string ResolveContentIds(const CQelTpjFile& record, const std::u16string& html) {
    CQelHtmlData loader(u"HTML");
    // A page longer than an int can count is not the loader's to parse.
    if (html.size() > static_cast<std::size_t>(INT_MAX)) return html;
    loader.CreateNodeDataFromData(html.data(), static_cast<int>(html.size()), nullptr);
    auto* document = dynamic_cast<Document*>(loader.m_pRootNode);
    if (!document) {
        loader.DestroyNodeData();
        return html;
    }
    // The first entry of each content id, found once: a page of n images
    // would otherwise walk the list n times. What each attribute becomes is
    // exactly what ResolveContentIdAttribute makes of it.
    std::unordered_map<std::u16string_view, int> firstOfId;
    firstOfId.reserve(static_cast<std::size_t>(record.m_arrImages.GetSize()));
    for (int i = 0; i < record.m_arrImages.GetSize(); ++i) firstOfId.emplace(record.m_arrImages[i].m_strId, i);

    qel::html::VisitImageReferences(*document, [&](Element& element, const std::u16string& attribute) {
        const std::u16string value = element.getAttribute(attribute);
        const std::u16string_view id = ContentIdOf(value);
        if (id.empty()) return;
        const auto found = firstOfId.find(id);
        if (found != firstOfId.end()) PointAtFile(element, attribute, record.m_arrImages[found->second]);
    });
    std::u16string text = document->getHTMLText();
    loader.DestroyNodeData();
    return text;
}

bool ResolveContentIdAttribute(const CQelTpjFile& record, Element* element, const std::u16string& attribute) {
    if (!element) return false;
    const std::u16string value = element->getAttribute(attribute);
    const std::u16string_view id = ContentIdOf(value);
    if (id.empty()) return false;
    for (int i = 0; i < record.m_arrImages.GetSize(); ++i) {
        if (record.m_arrImages[i].m_strId != id) continue;
        PointAtFile(*element, attribute, record.m_arrImages[i]);
        return true;
    }
    return false;
}

}  // namespace qel::html
