#include "framework/filedialog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "framework/codepage.h"
#include "framework/modaldriver.h"

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char16_t* lpszDefExt, const char16_t* lpszFileName, DWORD dwFlags,
                         const char16_t* lpszFilter, CWnd* pParentWnd)
    : m_bOpenFileDialog(bOpenFileDialog), m_dwFlags(dwFlags), m_strDefExt(lpszDefExt ? lpszDefExt : u""),
      m_strFileName(lpszFileName ? lpszFileName : u""), m_strFilter(lpszFilter ? lpszFilter : u""),
      m_pParentWnd(pParentWnd) {}

CFileDialog::~CFileDialog() = default;

INT_PTR CFileDialog::DoModal() {
    m_strPathName.clear();
    const INT_PTR r = AfxGetModalDriver().RunFileDialog(*this);
    if (r != IDOK) {
        m_strPathName.clear();
        return IDCANCEL;
    }
    return IDOK;
}

namespace {

bool StatIs(const std::string& path, mode_t type) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

}  // namespace

bool qel::framework::FileDialogAccept(CFileDialog& dlg, const std::u16string& typed, std::string* why) {
    auto refuse = [&](const char* reason) {
        if (why) *why = reason;
        return false;
    };
    if (typed.empty()) return refuse("no file name");
    if (typed.find(u'\0') != std::u16string::npos) return refuse("the name holds a NUL character");
    namespace fs = std::filesystem;
    fs::path p(qel::framework::PathToNative(typed));
    if (p.is_relative()) {
        fs::path base;
        if (!dlg.m_strInitialDir.empty()) {
            base = fs::path(qel::framework::PathToNative(dlg.m_strInitialDir));
        } else {
            std::error_code ec;
            base = fs::current_path(ec);
        }
        p = base / p;
    }
    p = p.lexically_normal();
    if (p.has_filename() == false) return refuse("no file name");
    if (!dlg.m_bOpenFileDialog && !dlg.m_strDefExt.empty() && !p.has_extension())
        p += "." + qel::framework::PathToNative(dlg.m_strDefExt);
    const std::string native = p.string();
    if (StatIs(native, S_IFDIR)) return refuse("the name is a folder");
    if ((dlg.m_dwFlags & OFN_FILEMUSTEXIST) && !StatIs(native, S_IFREG)) return refuse("no such file");
    if ((dlg.m_dwFlags & OFN_PATHMUSTEXIST) && !StatIs(p.parent_path().string(), S_IFDIR))
        return refuse("no such folder");
    dlg.m_strPathName = qel::framework::PathFromNative(native);
    return true;
}
