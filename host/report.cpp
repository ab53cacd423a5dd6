#include "host/report.h"

#include <cstring>
#include <mutex>
#include <new>

#include "framework/codepage.h"
#include "framework/exceptions.h"

namespace qel::host {

namespace {

std::mutex g_mutex;
ExportReport g_report;

// The cause of a file exception without a system error, in words.
std::u16string CauseText(int cause) {
    switch (cause) {
        case CFileException::fileNotFound: return u"not found";
        case CFileException::badPath: return u"bad path";
        case CFileException::tooManyOpenFiles: return u"too many open files";
        case CFileException::accessDenied: return u"access denied";
        case CFileException::directoryFull: return u"no free name";
        case CFileException::diskFull: return u"disk full";
        case CFileException::endOfFile: return u"ends too early";
        case CFileException::alreadyExists: return u"already exists";
        case CFileException::hardIO: return u"input/output error";
        default: return u"failed";
    }
}

}  // namespace

void BeginExportReport() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_report = {};
}

void ReportWritten(const std::u16string& path) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_report.written = path;
}

void ReportAttachment(const std::u16string& path) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_report.attachments.push_back(path);
}

void ReportProgramStarted() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_report.programStarted = true;
}

void ReportFailure(const std::u16string& reason) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_report.why.empty()) g_report.why = reason;
}

std::u16string DescribeFailure(const std::exception& error, std::u16string_view subject, std::u16string_view doing) {
    if (const auto* file = dynamic_cast<const CFileException*>(&error)) {
        std::u16string text = file->m_strDescription;
        if (text.empty()) {
            // A full disk says so in plain words; other causes in the
            // system's own.
            const std::u16string cause = file->m_cause == CFileException::diskFull || file->m_lOsError == 0
                                             ? CauseText(file->m_cause)
                                             : qel::framework::Utf8ToWide(std::strerror(file->m_lOsError));
            text = std::u16string(doing) + u": " + cause;
        }
        if (file->m_strFileName.empty()) return text;
        std::u16string out(subject);
        if (!out.empty()) out += u' ';
        return out + file->m_strFileName + u' ' + text;
    }
    if (dynamic_cast<const CMemoryException*>(&error) || dynamic_cast<const std::bad_alloc*>(&error))
        return u"not enough memory";
    return qel::framework::Utf8ToWide(error.what());
}

ExportReport TakeExportReport() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ExportReport out = std::move(g_report);
    g_report = {};
    return out;
}

}  // namespace qel::host
