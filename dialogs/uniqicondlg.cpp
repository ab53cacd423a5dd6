#include "dialogs/uniqicondlg.h"

#include <array>

#include "host/filedialog.h"
#include "host/paths.h"
#include "host/sitemgr.h"

namespace {

constexpr char16_t kNoSuchFile[] = u"ファイルがありません。";
// The host file dialog: an open-file dialog (1) offering images (2), with
// sizing and the file and its folder required to exist.
constexpr int kFileDialogOpen = 1;
constexpr int kFileDialogImages = 2;
constexpr DWORD kFileDialogFlags = OFN_ENABLESIZING | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;  // 0x801800
constexpr int kLongPathChars = 1024;

}  // namespace

CQelTorucaUniqIconDlg::CQelTorucaUniqIconDlg(CWnd* parent) : CDialog(IDD, parent) {}

CQelTorucaUniqIconDlg::~CQelTorucaUniqIconDlg() = default;

BEGIN_MESSAGE_MAP(CQelTorucaUniqIconDlg, CDialog)
ON_BN_CLICKED(IDC_UNIQICON_REF, &CQelTorucaUniqIconDlg::OnFileRef)
END_MESSAGE_MAP()

void CQelTorucaUniqIconDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_UNIQDLG_FILE, m_strFile);
    DDX_Text(pDX, IDC_UNIQDLG_TITLE, m_strTitle);
}

BOOL CQelTorucaUniqIconDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    return TRUE;
}

void CQelTorucaUniqIconDlg::OnFileRef() {
    UpdateData(TRUE);  // a path typed by hand counts
    SiteIF* site = OutSMgr::findOutSite();
    CQelFileDialog dlg(kFileDialogOpen, kFileDialogImages, nullptr, kFileDialogFlags, this, nullptr);
    dlg.setmysif(site);
    if (m_strFolder.empty() && !m_strFile.empty()) m_strFolder = getBasePath(m_strFile);
    if (!m_strFolder.empty()) dlg.m_strInitialDir = m_strFolder;
    if (dlg.DoModal(0, std::u16string(), std::u16string()) == 1) {
        const std::u16string path = dlg.GetPathName();
        std::array<char16_t, kLongPathChars> buffer{};
        // When the long form does not fit, the buffer holds a cut path:
        // keep the path the file dialog answered instead.
        if (QelGetLongPathName(path, buffer.data(), kLongPathChars) > 0) m_strFile = buffer.data();
        else m_strFile = path;
        m_strFolder = getBasePath(m_strFile);
    }
    if (site) site->Release();
    UpdateData(FALSE);
}

void CQelTorucaUniqIconDlg::OnOK() {
    UpdateData(TRUE);
    if (m_strFile.empty()) {
        // No file removes the icon, title included. The empty title goes into
        // its edit first, so that the framework's OK reads it back empty.
        m_strTitle.clear();
        UpdateData(FALSE);
        CDialog::OnOK();
        return;
    }
    if (is_file(m_strFile) == 0) {
        AfxMessageBox(kNoSuchFile, MB_OK | MB_ICONSTOP, 0);
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDC_UNIQDLG_FILE)), TRUE);
        return;
    }
    CDialog::OnOK();
}
