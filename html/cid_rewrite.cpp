// The reverse of the HTML import: "cid:" references of the page text turned
// back into the URLs of the image files that the image list names. Works on
// a parsed copy of m_strHtml; the record does not change.
#include <climits>

#include "host/dom.h"
#include "host/htmldata.h"
#include "host/url.h"
#include "html/page_references.h"
#include "model/tpjfile.h"

std::u16string CQelTpjFile::GetHtml(bool resolve) {
    return resolve ? ResolveContentIds(m_strHtml) : m_strHtml;
}

std::u16string CQelTpjFile::ResolveContentIds(const std::u16string& html) {
    CQelHtmlData loader(u"HTML");
    // A page longer than an int can count is not the loader's to parse.
    if (html.size() > static_cast<std::size_t>(INT_MAX)) return html;
    loader.CreateNodeDataFromData(html.data(), static_cast<int>(html.size()), nullptr);
    auto* document = dynamic_cast<Document*>(loader.m_pRootNode);
    if (!document) {
        loader.DestroyNodeData();
        return html;
    }
    qelhtml::VisitImageReferences(*document, [&](Element& element, const std::u16string& attribute) {
        ResolveContentIdAttribute(&element, attribute);
    });
    std::u16string text = document->getHTMLText();
    loader.DestroyNodeData();
    return text;
}

bool CQelTpjFile::ResolveContentIdAttribute(Element* element, const std::u16string& attribute) {
    if (!element) return false;
    const std::u16string value = element->getAttribute(attribute);
    // Only the prefix in lower case, at the very start, and with an id after it.
    if (value.size() <= 4 || value.compare(0, 4, u"cid:") != 0) return false;
    const std::u16string_view id = std::u16string_view(value).substr(4);
    for (int i = 0; i < m_arrImages.GetSize(); ++i) {
        const CQelTpjImgFile& entry = m_arrImages[i];
        if (entry.m_strId != id) continue;
        std::u16string url;
        SIFUtil::PCPathtoURL(url, entry.m_strPath);
        element->setAttribute(attribute, url.empty() ? entry.m_strPath : url);
        return true;
    }
    return false;
}
