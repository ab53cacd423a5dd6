// The host's HTML loader: reads a page file, decodes it and parses it into
// a Document (host/dom.cpp).
#include "host/htmldata.h"

#include <string>

#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "host/dom.h"
#include "host/htmlsource.h"
#include "host/paths.h"
#include "host/report.h"

namespace {

// The whole file, or false when it cannot be opened or read (a missing
// file, a folder, no permission). Only regular files are read: a named pipe
// would block the host and a device such as /dev/zero never ends.
bool ReadWholeFile(const std::u16string& path, std::string& bytes) {
    if (!is_file(path)) return false;
    try {
        CFile file;
        if (!file.Open(path, CFile::modeRead | CFile::typeBinary | CFile::shareDenyNone)) return false;
        char buffer[65536];
        for (;;) {
            const unsigned n = file.Read(buffer, sizeof buffer);
            if (n == 0) break;
            bytes.append(buffer, n);
        }
        return true;
    } catch (const CException&) {
        return false;
    }
}

}  // namespace

CQelHtmlData::CQelHtmlData(const std::u16string&) {}

CQelHtmlData::~CQelHtmlData() { DestroyNodeData(); }

bool CQelHtmlData::CreateNodeData(const std::u16string& path) {
    DestroyNodeData();
    std::string bytes;
    if (path.empty() || !ReadWholeFile(path, bytes)) return false;
    qel::host::DecodedHtml decoded = qel::host::DecodeHtmlBytes(bytes);
    std::u16string why;
    std::unique_ptr<Document> doc = qel::host::ParseHtmlDocument(qel::framework::WideToUtf8(decoded.text), &why);
    if (doc) doc->setInputEncoding(decoded.encoding);
    else qel::host::ReportFailure(path + u" cannot be loaded as a page: " + why);
    return Adopt(std::move(doc));
}

bool CQelHtmlData::CreateNodeDataFromData(const char16_t* text, int length, Node* parent) {
    DestroyNodeData();
    // Parsing into an existing tree is not offered.
    if (parent || length < 0 || (!text && length > 0)) return false;
    const std::u16string_view view =
        length > 0 ? std::u16string_view(text, static_cast<std::size_t>(length)) : std::u16string_view();
    std::u16string why;
    std::unique_ptr<Document> doc = qel::host::ParseHtmlDocument(qel::framework::WideToUtf8(view), &why);
    if (!doc) qel::host::ReportFailure(u"the page cannot be loaded: " + why);
    return Adopt(std::move(doc));
}

void CQelHtmlData::DestroyNodeData() {
    m_root.reset();
    m_pRootNode = nullptr;
}

bool CQelHtmlData::Adopt(std::unique_ptr<Document> doc) {
    m_root = std::move(doc);
    m_pRootNode = m_root.get();
    return m_pRootNode != nullptr;
}
