#include "apps/qelhost/written_box.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "framework/codepage.h"
#include "framework/modaldriver.h"
#include "host/messages.h"
#include "host/shell.h"

namespace qel::apps {

namespace {

constexpr int kOpenFolder = 0;  // the first button; "Close" is the second

// A catalogue's text as the framework's wide text; its line breaks CR LF.
std::u16string Wide(const std::string& text) {
    std::u16string wide;
    for (const char16_t c : qel::framework::Utf8ToWide(text)) {
        if (c == u'\n') wide += u'\r';
        wide += c;
    }
    return wide;
}

// A catalogue's text with the path (bytes, not always UTF-8) in place of its
// "%s", as the framework's path text.
std::u16string WithPath(const char* text, const std::string& path) {
    const std::string pattern = qel::host::Tr(text);
    const std::size_t at = pattern.find("%s");
    if (at == std::string::npos) return Wide(pattern);
    return Wide(pattern.substr(0, at)) + qel::framework::PathFromNative(path) + Wide(pattern.substr(at + 2));
}

}  // namespace

std::u16string WrittenFileText(const std::string& path) {
    return WithPath(QEL_N_("The ToruCa file was written to\n%s\n\nNo ToruCa editor was started on it."), path);
}

bool ShowWrittenFile(const std::string& path) {
    const std::vector<std::u16string> labels{Wide(qel::host::Tr("&Open Folder")), Wide(qel::host::Tr("&Close"))};
    CModalDriver& driver = AfxGetModalDriver();
    if (driver.MessageBoxWithButtons(nullptr, WrittenFileText(path), MB_ICONINFORMATION, labels, kOpenFolder) !=
        kOpenFolder)
        return false;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (qel::host::OpenFolder(folder)) return true;
    std::fprintf(
        stderr, "%s\n",
        qel::host::TrFill("qelhost: cannot open the folder %s: xdg-open could not be started", {folder}).c_str());
    driver.MessageBox(nullptr,
                      WithPath(QEL_N_("The folder\n%s\ncannot be opened: xdg-open could not be started."), folder),
                      MB_OK | MB_ICONWARNING);
    return false;
}

}  // namespace qel::apps
