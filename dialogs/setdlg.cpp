#include "dialogs/setdlg.h"

#include <ctime>
#include <iterator>

#include "dialogs/categorydlg.h"
#include "dialogs/settings_check.h"
#include "dialogs/uniqicondlg.h"
#include "framework/strings.h"
#include "toruca/torucautil.h"

namespace {

const char16_t* const kVersions[] = {u"1.0", u"1.1", u"2.0", u"2.1"};
// Shown in 20031 for the selected entry of the version combo.
const char16_t* const kVersionTexts[] = {
    u"FOMA902iシリーズ以降のトルカ対応端末で利用可能なトルカデータのバージョンです。",
    u"FOMA902iシリーズ以降のトルカ対応端末で利用可能なトルカデータのバージョンです。 Ver "
    u"1.0で指定可能な内容に加えて、IP-ID, カナＩＤ，色ＩＤ，有効期限の指定が可能です。",
    u"FOMA903iシリーズ以降のトルカ対応端末で利用可能なトルカデータのバージョンです。 Ver "
    u"1.1で指定可能な内容に加えて、独自カテゴリアイコン，再配布・更新識別子の指定が可能です。",
    u"2008年度下期モデル以降のトルカ対応端末で利用可能なトルカデータのバージョンです。 Ver "
    u"2.0で指定可能な内容に加えて、最終更新日時の指定が可能です。",
};
static_assert(std::size(kVersions) == std::size(kVersionTexts));

}  // namespace

// EditSettings overwrites every member before the dialog is shown; these
// defaults show only in a dialog run on its own (Dist index 4 selects no
// entry there).
CQelTorucaSetDlg::CQelTorucaSetDlg(CWnd* parent)
    : CDialog(IDD, parent), m_strVersion(u"1.0"), m_nColorIndex(1), m_nDistIndex(4), m_cmbVersion(false, false),
      m_cmbColor(false, false), m_cmbDist(false, false), m_nCategory(64) {}

CQelTorucaSetDlg::~CQelTorucaSetDlg() = default;

BEGIN_MESSAGE_MAP(CQelTorucaSetDlg, CDialog)
ON_CBN_SELCHANGE(IDC_VERSION, &CQelTorucaSetDlg::OnSelchangeVersion)
ON_BN_CLICKED(IDC_CATEGORY_REF, &CQelTorucaSetDlg::OnCategoryRef)
ON_BN_CLICKED(IDC_UNIQICON_REF, &CQelTorucaSetDlg::OnUniqIconRef)
ON_BN_CLICKED(IDC_NOW, &CQelTorucaSetDlg::OnNow)
END_MESSAGE_MAP()

void CQelTorucaSetDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_VERSION, m_cmbVersion);
    DDX_Control(pDX, IDC_COLOR, m_cmbColor);
    DDX_Control(pDX, IDC_DIST, m_cmbDist);
    DDX_CBString(pDX, IDC_VERSION, m_strVersion);
    DDX_CBIndex(pDX, IDC_COLOR, m_nColorIndex);
    DDX_CBIndex(pDX, IDC_DIST, m_nDistIndex);
    DDX_Text(pDX, IDC_URL, m_strUrl);
    DDX_Text(pDX, IDC_UNIQICON_TITLE, m_strUniqIconTitle);
    DDX_Text(pDX, IDC_DATA1, m_strData1);
    DDX_Text(pDX, IDC_DATA2, m_strData2);
    DDX_Text(pDX, IDC_DATA3, m_strData3);
    DDX_Text(pDX, IDC_IPID, m_strIpId);
    DDX_Text(pDX, IDC_SORTID, m_strSortId);
    DDX_Text(pDX, IDC_EXPIRES, m_strExpires);
    DDX_Text(pDX, IDC_LASTMODIFIED, m_strLastModified);
}

BOOL CQelTorucaSetDlg::OnInitDialog() {
    // The base pass runs while the combos are still empty; the selections
    // come from the lists filled here and the exchange below.
    CDialog::OnInitDialog();

    m_cmbVersion.ResetContent();
    for (const char16_t* version : kVersions) {
        const int index = m_cmbVersion.AddString(version, 0, 0);
        if (index >= 0 && m_strVersion == version) m_cmbVersion.SetCurSel(index);
    }
    m_cmbVersion.AdjustDroppedWidth();

    m_cmbColor.ResetContent();
    for (unsigned colorId = 0;; ++colorId) {
        const std::u16string label = CQelTorucaUtil().GetColorLabel(colorId);
        if (label.empty()) break;
        const int index = m_cmbColor.AddString(label, 0, 0);
        if (index == m_nColorIndex) m_cmbColor.SetCurSel(index);
    }
    m_cmbColor.AdjustDroppedWidth();

    m_cmbDist.ResetContent();
    for (unsigned dist = 1;; ++dist) {
        const std::u16string label = CQelTorucaUtil().GetDistLabel(dist);
        if (label.empty()) break;
        const int index = m_cmbDist.AddString(label, 0, 0);
        if (index >= 0 && index == m_nDistIndex) m_cmbDist.SetCurSel(index);
    }

    UpdateData(FALSE);
    OnSelchangeVersion();
    return TRUE;
}

void CQelTorucaSetDlg::OnSelchangeVersion() {
    CWnd* text = GetDlgItem(IDC_VERSION_TEXT);
    if (!text) return;
    const int index = m_cmbVersion.GetCurSel();
    const bool known = index >= 0 && static_cast<std::size_t>(index) < std::size(kVersionTexts);
    text->SetWindowText(known ? kVersionTexts[index] : u"");
}

void CQelTorucaSetDlg::OnCategoryRef() {
    // No control shows the category, so nothing is exchanged.
    CQelTorucaCategoryDlg dlg(m_nCategory, this);
    if (dlg.DoModal() == IDOK) m_nCategory = dlg.GetCategory();
}

void CQelTorucaSetDlg::OnUniqIconRef() {
    UpdateData(TRUE);
    CQelTorucaUniqIconDlg dlg(this);
    dlg.m_strTitle = m_strUniqIconTitle;
    dlg.m_strFile = m_strUniqIconFile;
    if (dlg.DoModal() == IDOK) {
        m_strUniqIconTitle = dlg.m_strTitle;
        m_strUniqIconFile = dlg.m_strFile;
    }
    ShowMembers();
}

void CQelTorucaSetDlg::OnNow() {
    // The first pass keeps what the user typed into the other edits.
    UpdateData(TRUE);
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    m_strLastModified = CQelTorucaUtil().GetDateStamp(now);
    ShowMembers();
}

void CQelTorucaSetDlg::ShowMembers() {
    UpdateData(FALSE);
    // A version combo without selection saved an empty text, which the load
    // would take as a prefix of the first entry ("1.0"): keep it unselected.
    if (m_strVersion.empty()) m_cmbVersion.SetCurSel(-1);
}

void CQelTorucaSetDlg::OnOK() {
    UpdateData(TRUE);
    if (const char16_t* refused = qel::dialogs::CheckUrl(m_strUrl)) {
        AfxMessageBox(refused, MB_OK | MB_ICONSTOP, 0);
        // With the control itself, so that its text is selected.
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDC_URL)), TRUE);
        return;
    }
    CDialog::OnOK();
}
