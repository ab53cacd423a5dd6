// The reverse of the HTML import: "cid:" references of the page text turned
// back into the URLs of the image files that the image list names. Works on
// a parsed copy of the page; the record does not change.
#include "html/cid_rewrite.h"

#include <algorithm>
#include <climits>
#include <string_view>
#include <unordered_map>

#include "format/base64.h"
#include "format/tpj_writer.h"
#include "host/html/dom.h"
#include "host/html/htmldata.h"
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

// The URL form of `entry`'s file (the path itself where it has none); an
// inline image, which has no file, as the data: URL of its bytes.
std::u16string UrlOf(const CQelTpjImgFile& entry) {
    if (entry.m_data) {
        const std::string& data = *entry.m_data;
        std::u16string url = u"data:";
        url += qel::format::PageImageContentType(entry);
        url += u";base64,";
        const std::size_t at = url.size();
        std::size_t length = Base64RequiredLength(data.size(), BASE64_NO_LINE_BREAKS);
        url.resize(at + length);
        EncodeBase64(reinterpret_cast<const unsigned char*>(data.data()), data.size(), url.data() + at, &length,
                     BASE64_NO_LINE_BREAKS);
        url.resize(at + length);
        return url;
    }
    std::u16string url;
    SIFUtil::PCPathtoURL(url, entry.m_strPath);
    return url.empty() ? entry.m_strPath : url;
}

// Sets the attribute to the URL form of `entry`'s file.
void PointAtFile(Element& element, const std::u16string& attribute, const CQelTpjImgFile& entry) {
    element.setAttribute(attribute, UrlOf(entry));
}

// The first entry of each content id, found once: a page of n images
// would otherwise walk the list n times.
std::unordered_map<std::u16string_view, int> FirstOfEachId(const CQelTpjFile& record) {
    std::unordered_map<std::u16string_view, int> firstOfId;
    firstOfId.reserve(static_cast<std::size_t>(record.m_arrImages.GetSize()));
    for (int i = 0; i < record.m_arrImages.GetSize(); ++i) firstOfId.emplace(record.m_arrImages[i].m_strId, i);
    return firstOfId;
}

// The page parsed, its references resolved into `text`; false when the
// page cannot be parsed.
bool ResolveParsed(const CQelTpjFile& record, const std::u16string& html, std::u16string& text) {
    // A page longer than an int can count is not the loader's to parse.
    if (html.size() > static_cast<std::size_t>(INT_MAX)) return false;
    CQelHtmlData loader(u"HTML");
    loader.CreateNodeDataFromData(html.data(), static_cast<int>(html.size()), nullptr);
    auto* document = dynamic_cast<Document*>(loader.m_pRootNode);
    if (!document) {
        loader.DestroyNodeData();
        return false;
    }
    // What each attribute becomes is exactly what ResolveContentIdAttribute
    // makes of it.
    const std::unordered_map<std::u16string_view, int> firstOfId = FirstOfEachId(record);
    qel::html::VisitImageReferences(*document, [&](Element& element, const std::u16string& attribute) {
        const std::u16string value = element.getAttribute(attribute);
        const std::u16string_view id = ContentIdOf(value);
        if (id.empty()) return;
        const auto found = firstOfId.find(id);
        if (found != firstOfId.end()) PointAtFile(element, attribute, record.m_arrImages[found->second]);
    });
    text = document->getHTMLText();
    loader.DestroyNodeData();
    return true;
}

constexpr std::u16string_view kCidPrefix = u"cid:";

// Calls `f(position, id)` for each "cid:" reference of the text that
// starts an attribute value: after "=" or a quote, blanks allowed between.
template <typename F>
void ForEachContentIdInText(std::u16string_view html, F f) {
    constexpr std::u16string_view kIdEnd = u"\"' \t\r\n\f>";
    for (std::size_t at = html.find(kCidPrefix); at != std::u16string_view::npos; at = html.find(kCidPrefix, at + 1)) {
        std::size_t before = at;
        while (before > 0 && (html[before - 1] == u' ' || html[before - 1] == u'\t')) --before;
        if (before == 0 || std::u16string_view(u"=\"'").find(html[before - 1]) == std::u16string_view::npos) continue;
        const std::size_t start = at + kCidPrefix.size();
        const std::size_t end = std::min(html.find_first_of(kIdEnd, start), html.size());
        if (end > start) f(at, html.substr(start, end - start));
    }
}

}  // namespace

namespace qel::html {

std::u16string GetHtml(const CQelTpjFile& record, bool resolve) {
    return resolve ? ResolveContentIds(record, record.m_strHtml) : record.m_strHtml;
}

std::u16string ResolveContentIds(const CQelTpjFile& record, const std::u16string& html) {
    std::u16string text;
    return ResolveParsed(record, html, text) ? text : html;
}

std::u16string ResolveContentIdsEvenUnparsed(const CQelTpjFile& record, const std::u16string& html) {
    std::u16string text;
    if (ResolveParsed(record, html, text)) return text;
    // A text replacement needs no parse.
    const std::unordered_map<std::u16string_view, int> firstOfId = FirstOfEachId(record);
    std::size_t from = 0;
    ForEachContentIdInText(html, [&](std::size_t at, std::u16string_view id) {
        const auto found = firstOfId.find(id);
        if (found == firstOfId.end()) return;
        text.append(html, from, at - from);
        text += UrlOf(record.m_arrImages[found->second]);
        from = at + kCidPrefix.size() + id.size();
    });
    return text + html.substr(from);
}

std::vector<std::u16string> ContentIdsInText(std::u16string_view html) {
    std::vector<std::u16string> ids;
    ForEachContentIdInText(html, [&](std::size_t, std::u16string_view id) { ids.emplace_back(id); });
    return ids;
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
