// Building a record from an HTML page: every local image that the page shows
// (body background, img, object) goes into the image list as image1,
// image2, ... and its reference in the page becomes "cid:image1", ...; the
// page text with those references, and otherwise as the author wrote it,
// becomes m_strHtml.
//
// The page is either the host's live document, which is never changed (we
// work on a deep copy and give the copy back to the host's document), or
// the file at the page's path, read by the host's loader.
//
// References are read as the author's browser reads them: '\' as '/', a
// reference that names the page itself ("", " ", "#top") is no image, and
// escaped bytes of the page's own encoding name the file they meant. An
// image given inline as a "data:" URL has no file: its entry keeps the
// decoded bytes (CQelTpjImgFile::m_data) and the name of its part, and the
// writer encodes them from memory, so nothing is written for it unless the
// card is.
#include "html/html_import.h"

#include <filesystem>
#include <iterator>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/html/dom.h"
#include "host/html/htmldata.h"
#include "host/paths.h"
#include "host/url.h"
#include "html/data_url.h"
#include "html/meta_charset.h"
#include "html/page_references.h"
#include "model/tpjfile.h"

namespace qel::html {

class PageImport {
public:
    struct Inline {
        int index;  // of its entry in m_arrImages
        DataUrl data;
    };

    std::string encoding;       // the page's, for escapes that are not UTF-8
    std::u16string self;        // the page's own path, as an empty reference resolves
    std::u16string selfNormal;  // the same without "." and ".." segments
    std::vector<Inline> inlines;
};

}  // namespace qel::html

namespace {

using qel::html::PageImport;

std::u16string AsciiLowered(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = qel::framework::AsciiLower(c);
    return out;
}

// "image<counter>": the content id of the image the counter stands at.
std::u16string ContentId(int counter) {
    char16_t digits[12];
    char16_t* first = std::end(digits);
    unsigned n = counter > 0 ? static_cast<unsigned>(counter) : 0;  // it starts at 1
    do {
        *--first = static_cast<char16_t>(u'0' + n % 10);
        n /= 10;
    } while (n > 0);
    std::u16string id = u"image";
    id.append(first, std::end(digits));
    return id;
}

// True when `file` names the page: its path as it resolves, or the same
// with empty and dot segments taken out.
bool IsThePage(const std::u16string& file, const PageImport& import) {
    if (file == import.self || file == import.selfNormal) return true;
    // Only a path with an empty or dot segment can name it otherwise.
    bool odd = false;
    for (std::size_t i = 1; i < file.size() && !odd; ++i)
        odd = file[i - 1] == u'/' && (file[i] == u'/' || file[i] == u'.');
    if (!odd) return false;
    return qel::framework::PathFromNative(
               std::filesystem::path(qel::framework::PathToNative(file)).lexically_normal().string()) ==
           import.selfNormal;
}

// Gives each inline image of the page its bytes and the name of its part:
// the entry's content id with the image's extension ("image3.png"),
// numbered on ("image3(1).png") only where another part of the card has it,
// so one page always gives the same card. Names compare without regard to
// ASCII case, as on the handset's host. The bytes stay in memory until the
// card is written: nothing is written before the export goes on.
void NameInlineImages(CQelTpjImgFileArray& images, PageImport& import) {
    if (import.inlines.empty()) return;
    std::unordered_set<std::u16string> taken;
    std::vector<bool> isInline(static_cast<std::size_t>(images.GetSize()), false);
    for (const PageImport::Inline& item : import.inlines) isInline[static_cast<std::size_t>(item.index)] = true;
    for (int i = 0; i < images.GetSize(); ++i)
        if (!isInline[static_cast<std::size_t>(i)]) taken.insert(AsciiLowered(getBaseName(images[i].m_strPath)));

    // Images of the same bytes share them (pages repeat their spacers and bullets).
    std::unordered_map<std::string_view, std::shared_ptr<const std::string>> shared;
    for (PageImport::Inline& item : import.inlines) {
        CQelTpjImgFile& entry = images.GetAt(item.index);
        const std::u16string extension = qel::html::DataUrlExtension(item.data);
        const std::u16string dotted = extension.empty() ? std::u16string() : u"." + extension;
        std::u16string name = entry.m_strId + dotted;
        for (int n = 1; taken.count(AsciiLowered(name)); ++n)
            name = entry.m_strId + qel::framework::Format(u"(%d)", n) + dotted;
        taken.insert(AsciiLowered(name));
        entry.m_strPath = std::move(name);
        auto bytes = std::make_shared<const std::string>(std::move(item.data.bytes));
        entry.m_data = shared.emplace(std::string_view(*bytes), bytes).first->second;
    }
}

}  // namespace

namespace qel::html {

bool CreateFromHtml(CQelTpjFile& record, const std::u16string& path, Node* hostDocument) {
    record.m_arrImages.RemoveAll();

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
        qel::html::PageImport import;
        import.encoding = document->getInputEncoding();
        SIFUtil::URLtoPCPath(import.self,
                             SIFUtil::getAbsUrl(std::u16string(), base, std::u16string(), std::u16string()));
        if (!import.self.empty())
            import.selfNormal = qel::framework::PathFromNative(
                std::filesystem::path(qel::framework::PathToNative(import.self)).lexically_normal().string());

        int counter = 1;
        qel::html::VisitImageReferences(*document, [&](Element& element, const std::u16string& attribute) {
            CollectImageAttribute(record, &element, attribute, base, counter, &import);
        });

        NameInlineImages(record.m_arrImages, import);
        // The card's HTML is written in Shift_JIS: a page that declared
        // another character set must not go on declaring it there.
        qel::html::DeclareShiftJis(*document);
        std::u16string html = document->getHTMLText();
        qel::html::DeclareShiftJisInXmlDeclaration(html);
        record.m_strHtml = std::move(html);
        result = true;
    }

    if (!hostDocument) loader.DestroyNodeData();
    else if (copy) host->deleteNodes(copy);
    return result;
}

void CollectImageAttribute(CQelTpjFile& record, Element* element, const std::u16string& attribute,
                           const std::u16string& base, int& counter, PageImport* import) {
    if (!element) return;
    const std::u16string value = element->getAttribute(attribute);
    if (value.empty()) return;
    // Images on web servers stay where they are and take no number.
    if (is_protocol(value, u"http:") || is_protocol(value, u"https:")) return;

    if (import && is_protocol(value, u"data:")) {
        // An inline image is named once the page is walked; a malformed one
        // is no image and stays as written.
        qel::html::DataUrl data;
        if (!qel::html::ParseDataUrl(value, data)) return;
        const std::u16string id = ContentId(counter++);
        const int index = record.AddImage(std::u16string(), id) - 1;
        import->inlines.push_back({index, std::move(data)});
        element->setAttribute(attribute, u"cid:" + id);
        return;
    }

    const std::u16string url = SIFUtil::getAbsUrl(value, base, std::u16string(), std::u16string());
    std::u16string file;
    if (import) SIFUtil::URLtoPCPath(file, url, import->encoding);
    else SIFUtil::URLtoPCPath(file, url);
    // A reference to the page itself (blanks, a fragment, its own name,
    // ".//page.html") is no image.
    if (import && !file.empty() && IsThePage(file, *import)) return;
    if (file.empty()) file = url;  // no local path (another scheme): the writer decides

    std::u16string id = ContentId(counter++);
    std::u16string reference = u"cid:" + id;
    record.AddImage(std::move(file), std::move(id));
    element->setAttribute(attribute, reference);
}

}  // namespace qel::html
