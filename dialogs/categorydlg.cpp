#include "dialogs/categorydlg.h"

#include "toruca/category.h"

CQelTorucaCategoryDlg::CQelTorucaCategoryDlg(int category, CWnd* parent)
    : CDialog(IDD, parent), m_cmbGenre(false, false), m_nCategory(category) {}

CQelTorucaCategoryDlg::~CQelTorucaCategoryDlg() = default;

BEGIN_MESSAGE_MAP(CQelTorucaCategoryDlg, CDialog)
ON_BN_CLICKED(IDC_ICON, &CQelTorucaCategoryDlg::OnIconRadio)
ON_BN_CLICKED(IDC_NO_ICON, &CQelTorucaCategoryDlg::OnIconRadio)
ON_CBN_SELCHANGE(IDC_GENRE, &CQelTorucaCategoryDlg::OnSelchangeGenre)
END_MESSAGE_MAP()

BOOL CQelTorucaCategoryDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    // The whole word parameter is compared, so only a click (notification
    // code 0) of one of the two radio buttons counts.
    if (wParam >= static_cast<WPARAM>(IDC_ICON) && wParam <= static_cast<WPARAM>(IDC_NO_ICON))
        m_nCheckedId = static_cast<int>(wParam);
    return CDialog::OnCommand(wParam, lParam);
}

void CQelTorucaCategoryDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_GENRE, m_cmbGenre);
    DDX_Control(pDX, IDC_CODES, m_lstIcon);
}

BOOL CQelTorucaCategoryDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    m_cmbGenre.ResetContent();
    int select = -1;
    const CQelTorucaCategory table;
    const unsigned genre = table.GetGenre(m_nCategory);
    for (unsigned i = 0;; ++i) {
        const std::u16string name = table.GetGenreName(i);
        if (name.empty()) break;
        const int index = m_cmbGenre.AddString(name, 0, 0);
        if (index >= 0 && static_cast<unsigned>(index) == genre) select = index;
    }
    if (select >= 0) m_cmbGenre.SetCurSel(select);
    m_cmbGenre.AdjustDroppedWidth();

    m_nCheckedId = m_nCategory != 0 ? IDC_ICON : IDC_NO_ICON;
    SendDlgItemMessage(m_nCheckedId, BM_SETCHECK, BST_CHECKED, 0);
    OnIconRadio();
    // Filled even under "no icon", where it is disabled, so that switching
    // to an icon shows the list at once.
    FillIconList(static_cast<int>(genre));

    UpdateData(FALSE);
    return TRUE;
}

void CQelTorucaCategoryDlg::OnIconRadio() {
    const BOOL enable = m_nCheckedId != IDC_NO_ICON;
    for (int id : {IDC_GENRE_LABEL, IDC_GENRE, IDC_CODES})
        if (CWnd* control = GetDlgItem(id)) control->EnableWindow(enable);
}

void CQelTorucaCategoryDlg::FillIconList(int genre) {
    if (genre < 0) return;
    const CQelTorucaCategory table;
    table.FillCodeList(m_lstIcon, static_cast<unsigned>(genre), m_nCategory, true);
}

void CQelTorucaCategoryDlg::OnSelchangeGenre() {
    UpdateData(TRUE);
    int genre = m_cmbGenre.GetCurSel();
    if (genre < 0 && m_cmbGenre.GetCount() > 0) {
        genre = m_cmbGenre.GetCount() - 1;  // "全て"
        m_cmbGenre.SetCurSel(genre);
    }
    // The code to select stays the opening code: an entry clicked under
    // another genre is not carried over.
    FillIconList(genre);
    UpdateData(FALSE);
}

void CQelTorucaCategoryDlg::OnOK() {
    UpdateData(TRUE);
    if (m_nCheckedId == IDC_ICON) {
        const int index = m_lstIcon.GetCurSel();
        if (index >= 0) {
            const DWORD_PTR code = m_lstIcon.GetItemData(index);
            if (code != 0) m_nCategory = static_cast<int>(code);
        }
    } else if (m_nCheckedId == IDC_NO_ICON) {
        m_nCategory = 0;
    }
    CDialog::OnOK();
}
