#include "dialogs/outputtypedlg.h"

CQelTorucaOutputTypeDlg::CQelTorucaOutputTypeDlg(int output, CWnd* parent) : CDialog(IDD, parent), m_nOutput(output) {}

CQelTorucaOutputTypeDlg::~CQelTorucaOutputTypeDlg() = default;

BEGIN_MESSAGE_MAP(CQelTorucaOutputTypeDlg, CDialog)
ON_BN_CLICKED(IDC_OUTPUT_PROJECT, &CQelTorucaOutputTypeDlg::OnOutputRadio)
ON_BN_CLICKED(IDC_OUTPUT_CARD, &CQelTorucaOutputTypeDlg::OnOutputRadio)
ON_BN_CLICKED(IDC_OUTPUT_SNIP, &CQelTorucaOutputTypeDlg::OnOutputRadio)
END_MESSAGE_MAP()

BOOL CQelTorucaOutputTypeDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    // The whole word parameter is compared, so only a click (notification
    // code 0 in the high half) of one of the three radio buttons counts.
    if (wParam >= static_cast<WPARAM>(IDC_OUTPUT_PROJECT) && wParam <= static_cast<WPARAM>(IDC_OUTPUT_SNIP))
        m_nCheckedId = static_cast<int>(wParam);
    return CDialog::OnCommand(wParam, lParam);
}

// No control is bound to a member: the radio buttons report through
// OnOutputRadio.
void CQelTorucaOutputTypeDlg::DoDataExchange(CDataExchange* pDX) { CDialog::DoDataExchange(pDX); }

BOOL CQelTorucaOutputTypeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (m_nOutput != 1 && m_nOutput != 2 && m_nOutput != 4) m_nOutput = 1;
    const int radio = m_nOutput == 1 ? IDC_OUTPUT_PROJECT : m_nOutput == 2 ? IDC_OUTPUT_CARD : IDC_OUTPUT_SNIP;
    SendDlgItemMessage(radio, BM_SETCHECK, BST_CHECKED, 0);
    return TRUE;
}

void CQelTorucaOutputTypeDlg::OnOutputRadio() {
    switch (m_nCheckedId) {
        case IDC_OUTPUT_PROJECT: m_nOutput = 1; break;
        case IDC_OUTPUT_CARD: m_nOutput = 2; break;
        case IDC_OUTPUT_SNIP: m_nOutput = 4; break;
        default: break;
    }
}
