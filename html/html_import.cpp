// Building a record from an HTML page: every local image that the page shows
// (body background, img, object) goes into the image list as image1,
// image2, ... and its reference in the page becomes "cid:image1", ...; the
// page text with those references, and otherwise as the author wrote it,
// becomes m_strHtml.
//
// The page is either the host's live document, which is never changed (we
// work on a deep copy and give the copy back to the host's document), or
// the file at the page's path, read by the host's loader.
#include <memory>

#include "framework/strings.h"
#include "host/dom.h"
#include "host/htmldata.h"
#include "host/url.h"
#include "html/meta_charset.h"
#include "html/page_references.h"
#include "model/tpjfile.h"

bool CQelTpjFile::CreateFromHtml(const std::u16string& path, Node* hostDocument) {
    m_arrImages.RemoveAll();

    // References are resolved against the page's file URL; a path that has
    // none (a relative one) is handed to getAbsUrl as it is.
    std::u16string base;
    SIFUtil::PCPathtoURL(base, path);
    if (base.empty()) base = path;

    CQelHtmlData loader(u"HTML");
    Document* document = nullptr;
    Node* copy = nullptr;
    Document* host = nullptr;
    if (!hostDocument) {
        loader.CreateNodeData(path);  // no root node tells the failure
        document = dynamic_cast<Document*>(loader.m_pRootNode);
    } else if ((host = dynamic_cast<Document*>(hostDocument)) != nullptr) {
        // Only a document can take its copy back through deleteNodes; a host
        // node that is none gives no page, and nothing is copied.
        copy = host->cloneNode(true);
        document = dynamic_cast<Document*>(copy);
    }

    bool result = false;
    if (document) {
        int counter = 1;
        qelhtml::VisitImageReferences(*document, [&](Element& element, const std::u16string& attribute) {
            CollectImageAttribute(&element, attribute, base, counter);
        });
        // The card's HTML is written in Shift_JIS: a page that declared
        // another character set must not go on declaring it there.
        qelhtml::DeclareShiftJis(*document);
        m_strHtml = document->getHTMLText();
        result = true;
    }

    if (!hostDocument) loader.DestroyNodeData();
    else if (copy) host->deleteNodes(copy);
    return result;
}

void CQelTpjFile::CollectImageAttribute(Element* element, const std::u16string& attribute,
                                        const std::u16string& base, int& counter) {
    if (!element) return;
    const std::u16string value = element->getAttribute(attribute);
    if (value.empty()) return;
    // Images on web servers stay where they are and take no number.
    if (is_protocol(value, u"http:") || is_protocol(value, u"https:")) return;

    const std::u16string url = SIFUtil::getAbsUrl(value, base, std::u16string(), std::u16string());
    std::u16string file;
    SIFUtil::URLtoPCPath(file, url);
    if (file.empty()) file = url;  // no local path (another scheme): the writer decides

    const std::u16string id = qel::Format(u"image%d", counter);
    ++counter;
    AddImage(file, id);
    element->setAttribute(attribute, u"cid:" + id);
}
