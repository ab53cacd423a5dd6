// CQelTorucaSetDlg: the settings dialog (template 13650), in which the user
// fills the ToruCa header values of a project record: version, URL, category
// icon and unique category icon, the three data lines and the internal
// parameters.
//
// qel::dialogs::EditSettings (dialogs/settings_edit.cpp) copies the record's
// values into the public members, runs the dialog and copies them back after
// IDOK; the values move between members and controls only through the data
// exchange. The icon dialogs run nested in it and change only its members.
// The dialog checks only the URL: empty, or beginning with "http://" in any
// case. Every control stays enabled for every version; which values a
// version writes is the writer's business.
#pragma once

#include <string>

#include "dialogs/resource.h"
#include "framework/dialog.h"
#include "host/combobox.h"

class CQelTorucaSetDlg : public CDialog {
public:
    static constexpr UINT IDD = IDD_TORUCA_SETTINGS;  // control ids: IDC_* of dialogs/resource.h

    explicit CQelTorucaSetDlg(CWnd* parent);
    ~CQelTorucaSetDlg() override;

    // Exchanged with controls (wide strings are UTF-16).
    std::u16string m_strVersion;  // combo text: "1.0", "1.1", "2.0", "2.1"
    std::u16string m_strUrl;
    std::u16string m_strUniqIconTitle;  // read-only edit
    std::u16string m_strData1;
    std::u16string m_strData2;
    std::u16string m_strData3;
    std::u16string m_strIpId;
    std::u16string m_strSortId;
    std::u16string m_strExpires;
    std::u16string m_strLastModified;  // yymmddHHMM
    int m_nColorIndex;                 // Color-ID 0..9; -1 none selected
    int m_nDistIndex;                  // Dist - 1 (0..3); -1 none selected
    CQelComboBoxEx m_cmbVersion;
    CQelComboBoxEx m_cmbColor;
    CQelComboBoxEx m_cmbDist;
    // Without a control: changed by the nested icon dialogs.
    int m_nCategory;                   // category code, 0: no category icon
    std::u16string m_strUniqIconFile;  // path of the unique icon's file

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnSelchangeVersion();
    void OnCategoryRef();
    void OnUniqIconRef();
    void OnNow();

    DECLARE_MESSAGE_MAP()

private:
    // Members -> controls after a handler's controls -> members pass.
    void ShowMembers();
};
