#include "host/filedialog.h"

#include "host/sitemgr.h"

namespace {

const char16_t* FilterOf(int kind) {
    switch (kind) {
        case 1: return u"Web pages (*.htm;*.html)|*.htm;*.html|All files (*.*)|*.*||";
        case 2: return u"Images (*.gif;*.jpg;*.jpeg;*.png)|*.gif;*.jpg;*.jpeg;*.png|All files (*.*)|*.*||";
        case 3: return u"ToruCa files (*.tpj;*.trc)|*.tpj;*.trc|All files (*.*)|*.*||";
        default: return u"All files (*.*)|*.*||";
    }
}

}  // namespace

CQelFileDialog::CQelFileDialog(int nMode, int nKind, const char16_t* lpszFileName, DWORD dwFlags, CWnd* pParentWnd,
                               SiteIF* pSite)
    : CFileDialog(nMode != 0, nullptr, lpszFileName, dwFlags, FilterOf(nKind), pParentWnd), m_nKind(nKind),
      m_pSite(pSite) {}

CQelFileDialog::~CQelFileDialog() = default;

INT_PTR CQelFileDialog::DoModal(int, const std::u16string& strTitle, const std::u16string& strFileName) {
    if (!strTitle.empty()) m_strTitle = strTitle;
    if (!strFileName.empty()) m_strFileName = strFileName;
    return DoModal();
}

INT_PTR CQelFileDialog::DoModal() {
    if (m_strInitialDir.empty() && m_pSite) m_strInitialDir = m_pSite->GetRootFolder();
    return CFileDialog::DoModal();
}
