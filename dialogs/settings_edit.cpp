// CQelTpjFile::EditSettings: the record's values through the settings
// dialog. The record changes only after OK, all at once.
#include "dialogs/setdlg.h"
#include "framework/codepage.h"
#include "model/tpjfile.h"

namespace {

// Dist <-> the Dist combo's index, in modular arithmetic so that no record
// value overflows; any Dist outside 1..4 selects nothing and comes back 0.
int DistToIndex(int dist) { return static_cast<int>(static_cast<unsigned>(dist) - 1u); }
int IndexToDist(int index) { return static_cast<int>(static_cast<unsigned>(index) + 1u); }

}  // namespace

bool CQelTpjFile::EditSettings(CWnd* parent) {
    CQelTorucaSetDlg dlg(parent);
    dlg.m_strVersion = GetVersion();
    dlg.m_strUrl = GetUrl();
    // The data lines are code page 932 bytes; the dialog edits wide text.
    dlg.m_strData1 = qel::framework::Cp932ToWide(GetData1());
    dlg.m_strData2 = qel::framework::Cp932ToWide(GetData2());
    dlg.m_strData3 = qel::framework::Cp932ToWide(GetData3());
    dlg.m_nCategory = m_nCategory;
    dlg.m_strIpId = GetIpId();
    dlg.m_strSortId = GetSortId();
    dlg.m_strExpires = GetExpires();
    dlg.m_strLastModified = GetLastModified();
    dlg.m_nColorIndex = m_nColorId;
    dlg.m_nDistIndex = DistToIndex(m_nDist);
    GetUniqueIcon(dlg.m_strUniqIconFile, dlg.m_strUniqIconTitle);

    if (dlg.DoModal() != IDOK) return false;

    SetVersion(dlg.m_strVersion);
    SetUrl(dlg.m_strUrl);
    SetData1(dlg.m_strData1);
    SetData2(dlg.m_strData2);
    SetData3(dlg.m_strData3);
    SetCategory(dlg.m_nCategory);
    SetIpId(dlg.m_strIpId);
    SetSortId(dlg.m_strSortId);
    SetExpires(dlg.m_strExpires);
    SetLastModified(dlg.m_strLastModified);
    SetColorId(dlg.m_nColorIndex);
    SetDist(IndexToDist(dlg.m_nDistIndex));
    SetUniqueIcon(dlg.m_strUniqIconFile, dlg.m_strUniqIconTitle);
    return true;
}
