// The host's HTML loader: reads a page file, decodes it and parses it into
// a Document (host/html/dom.cpp).
#include "host/html/htmldata.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/strings.h"
#include "host/html/dom.h"
#include "host/html/htmlsource.h"
#include "host/paths.h"
#include "host/report.h"

namespace {

// Why the page at `path` cannot be loaded, for the export's report.
void ReportPage(const std::u16string& path, std::u16string_view cause) {
    qel::host::ReportFailure(path + u" cannot be loaded as a page: " + std::u16string(cause));
}

// The system's words for a file error.
std::u16string SystemReason(const CFileException& error) {
    return error.m_lOsError != 0 ? qel::framework::Utf8ToWide(std::strerror(static_cast<int>(error.m_lOsError)))
                                 : std::u16string(u"it cannot be read");
}

// The whole file, or false, with the reason reported, when it cannot be
// opened or read (a missing file, a folder, no permission). Only regular
// files are read: a named pipe would block the host and a device such as
// /dev/zero never ends.
bool ReadWholeFile(const std::u16string& path, std::string& bytes) {
    struct stat st;
    if (path.find(u'\0') != std::u16string::npos) {
        ReportPage(path, u"no such file");
        return false;
    }
    if (::stat(qel::framework::PathToNative(path).c_str(), &st) != 0) {
        ReportPage(path, qel::framework::Utf8ToWide(std::strerror(errno)));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        ReportPage(path, S_ISDIR(st.st_mode) ? u"is a folder" : u"not a regular file");
        return false;
    }
    try {
        CFile file;
        CFileException error;
        if (!file.Open(path, CFile::modeRead | CFile::typeBinary | CFile::shareDenyNone, &error)) {
            ReportPage(path, SystemReason(error));
            return false;
        }
        char buffer[65536];
        for (;;) {
            const unsigned n = file.Read(buffer, sizeof buffer);
            if (n == 0) break;
            bytes.append(buffer, n);
        }
        return true;
    } catch (const CFileException& error) {
        ReportPage(path, SystemReason(error));
        return false;
    } catch (const CException&) {
        ReportPage(path, u"it cannot be read");
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
