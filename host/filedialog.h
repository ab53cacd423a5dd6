// The host's file dialog, an open-file dialog on the framework's
// CFileDialog that knows the current site.
#pragma once

#include "host/api.h"

#include <string>

#include "framework/filedialog.h"

class SiteIF;

class QEL_HOST_API CQelFileDialog : public CFileDialog {
public:
    // nMode: 1 an open-file dialog, 0 a save dialog. nKind: the files
    // offered: 0 all files, 1 web pages, 2 images (GIF, JPEG, PNG), 3 ToruCa
    // files. lpszFileName: the name shown at first (may be null). dwFlags:
    // OFN_ flags (0x801800: sizing, the file and its folder must exist).
    // pSite: the site whose folder the dialog may start in (may be null).
    CQelFileDialog(int nMode, int nKind, const char16_t* lpszFileName = nullptr, DWORD dwFlags = 0x801800,
                   CWnd* pParentWnd = nullptr, SiteIF* pSite = nullptr);
    ~CQelFileDialog() override;

    // Sets the site (null allowed); not owned: the caller releases it.
    void setmysif(SiteIF* pSite) { m_pSite = pSite; }
    SiteIF* getmysif() const { return m_pSite; }
    int GetKind() const { return m_nKind; }

    // Runs the dialog. nView: the list view to start in (0 the default);
    // strTitle: the title (empty: the default); strFileName: the name shown
    // at first (empty: keep the constructor's). When m_strInitialDir is
    // empty and a site is set, the dialog starts in the site's folder.
    // Returns 1 (IDOK) when a file was chosen (GetPathName), 2 (IDCANCEL)
    // otherwise.
    INT_PTR DoModal(int nView, const std::u16string& strTitle, const std::u16string& strFileName);
    INT_PTR DoModal() override;

private:
    int m_nKind;
    SiteIF* m_pSite;
};
