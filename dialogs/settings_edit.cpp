// The record's values through the settings dialog.
#include "dialogs/settings_edit.h"

#include "dialogs/setdlg.h"
#include "framework/codepage.h"
#include "model/tpjfile.h"

namespace {

// Dist <-> the Dist combo's index, in modular arithmetic so that no record
// value overflows; any Dist outside 1..4 selects nothing and comes back 0.
int DistToIndex(int dist) { return static_cast<int>(static_cast<unsigned>(dist) - 1u); }
int IndexToDist(int index) { return static_cast<int>(static_cast<unsigned>(index) + 1u); }

}  // namespace

namespace qel::dialogs {

bool EditSettings(CQelTpjFile& record, CWnd* parent) {
    CQelTorucaSetDlg dlg(parent);
    dlg.m_strVersion = record.GetVersion();
    dlg.m_strUrl = record.GetUrl();
    // The data lines are code page 932 bytes; the dialog edits wide text.
    dlg.m_strData1 = qel::framework::Cp932ToWide(record.GetData1());
    dlg.m_strData2 = qel::framework::Cp932ToWide(record.GetData2());
    dlg.m_strData3 = qel::framework::Cp932ToWide(record.GetData3());
    dlg.m_nCategory = record.m_nCategory;
    dlg.m_strIpId = record.GetIpId();
    dlg.m_strSortId = record.GetSortId();
    dlg.m_strExpires = record.GetExpires();
    dlg.m_strLastModified = record.GetLastModified();
    dlg.m_nColorIndex = record.m_nColorId;
    dlg.m_nDistIndex = DistToIndex(record.m_nDist);
    record.GetUniqueIcon(dlg.m_strUniqIconFile, dlg.m_strUniqIconTitle);

    if (dlg.DoModal() != IDOK) return false;

    record.SetVersion(dlg.m_strVersion);
    record.SetUrl(dlg.m_strUrl);
    record.SetData1(dlg.m_strData1);
    record.SetData2(dlg.m_strData2);
    record.SetData3(dlg.m_strData3);
    record.SetCategory(dlg.m_nCategory);
    record.SetIpId(dlg.m_strIpId);
    record.SetSortId(dlg.m_strSortId);
    record.SetExpires(dlg.m_strExpires);
    record.SetLastModified(dlg.m_strLastModified);
    record.SetColorId(dlg.m_nColorIndex);
    record.SetDist(IndexToDist(dlg.m_nDistIndex));
    record.SetUniqueIcon(dlg.m_strUniqIconFile, dlg.m_strUniqIconTitle);
    return true;
}

}  // namespace qel::dialogs
