#include "apps/qelhost/written_box.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "framework/codepage.h"
#include "framework/modaldriver.h"
#include "host/shell.h"

namespace qel::apps {

namespace {

constexpr int kOpenFolder = 0;  // the first button; "Close" is the second

}  // namespace

std::u16string WrittenFileText(const std::string& path) {
    return u"The ToruCa file was written to\r\n" + qel::framework::PathFromNative(path) +
           u"\r\n\r\nNo ToruCa editor was started on it.";
}

bool ShowWrittenFile(const std::string& path) {
    const std::vector<std::u16string> labels{u"&Open Folder", u"&Close"};
    CModalDriver& driver = AfxGetModalDriver();
    if (driver.MessageBoxWithButtons(nullptr, WrittenFileText(path), MB_ICONINFORMATION, labels, kOpenFolder) !=
        kOpenFolder)
        return false;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (qel::host::OpenFolder(folder)) return true;
    std::fprintf(stderr, "qelhost: cannot open the folder %s: xdg-open could not be started\n", folder.c_str());
    driver.MessageBox(nullptr,
                      u"The folder\r\n" + qel::framework::PathFromNative(folder) +
                          u"\r\ncannot be opened: xdg-open could not be started.",
                      MB_OK | MB_ICONWARNING);
    return false;
}

}  // namespace qel::apps
