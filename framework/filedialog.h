// CFileDialog, the framework's open/save file dialog. It has no template:
// the modal driver runs it (CModalDriver::RunFileDialog). Paths are wide
// strings of the local file system ('/' separates components).
#pragma once

#include "framework/api.h"

#include <string>

#include "framework/wintypes.h"

class QEL_FW_API CFileDialog {
public:
    // bOpenFileDialog: an open (true) or save (false) dialog. lpszDefExt:
    // the extension added to a typed name without one (save dialogs);
    // lpszFileName: the name shown at first; dwFlags: OFN_ flags; lpszFilter:
    // "Description|*.a;*.b|...||" as in the application framework.
    explicit CFileDialog(BOOL bOpenFileDialog, const char16_t* lpszDefExt = nullptr,
                         const char16_t* lpszFileName = nullptr, DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                         const char16_t* lpszFilter = nullptr, CWnd* pParentWnd = nullptr);
    virtual ~CFileDialog();
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // Runs the dialog through the modal driver: IDOK when a path was
    // accepted, IDCANCEL otherwise.
    virtual INT_PTR DoModal();

    // The accepted path (absolute), empty before an accepted DoModal.
    std::u16string GetPathName() const { return m_strPathName; }

    BOOL m_bOpenFileDialog;
    DWORD m_dwFlags;
    std::u16string m_strDefExt;
    std::u16string m_strFileName;  // the name shown at first
    std::u16string m_strFilter;
    std::u16string m_strTitle;       // empty: "Open" / "Save As"
    std::u16string m_strInitialDir;  // where the dialog starts; empty: the current folder
    CWnd* m_pParentWnd;

    std::u16string m_strPathName;  // set by qel::framework::FileDialogAccept
};

namespace qel::framework {

// Accepts `typed` as the user's choice in `dlg`, as the dialog's OK does: a
// relative path is taken from dlg.m_strInitialDir (or the current folder),
// "." and ".." components are resolved, the default extension is added to
// a save dialog's name without one, and the flags are applied
// (OFN_FILEMUSTEXIST: an existing regular file; OFN_PATHMUSTEXIST: an
// existing folder). On success sets dlg.m_strPathName and returns true; on
// refusal returns false with a short English reason in `why` (the dialog
// stays open).
QEL_FW_API bool FileDialogAccept(CFileDialog& dlg, const std::u16string& typed, std::string* why = nullptr);

}  // namespace qel::framework
