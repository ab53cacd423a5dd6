// CQelTorucaSetDlg: the settings dialog (template 13650), in which the user
// fills the ToruCa header values of a project record: version, URL, category
// icon and unique category icon, the three data lines and the internal
// parameters.
//
// CQelTpjFile::EditSettings (dialogs/settings_edit.cpp) copies the record's
// values into the public members, runs the dialog and copies them back after
// IDOK; the values move between members and controls only through the data
// exchange. The icon dialogs run nested in it and change only its members.
// The dialog checks only the URL: empty, or beginning with "http://" in any
// case. Every control stays enabled for every version; which values a
// version writes is the writer's business.
#pragma once

#include <string>

#include "framework/dialog.h"
#include "host/combobox.h"

class CQelTorucaSetDlg : public CDialog {
public:
    static constexpr UINT IDD = 13650;
    static constexpr int IDC_VERSION = 20003;       // version combo
    static constexpr int IDC_URL = 20004;
    static constexpr int IDC_DATA1 = 20005;
    static constexpr int IDC_DATA2 = 20006;         // multi-line: Ctrl+Enter breaks a line ("\r\n")
    static constexpr int IDC_DATA3 = 20007;
    static constexpr int IDC_IPID = 20008;
    static constexpr int IDC_SORTID = 20009;        // "カナID(&K) :"
    static constexpr int IDC_EXPIRES = 20010;
    static constexpr int IDC_DIST = 20011;          // Dist combo, index = Dist - 1
    static constexpr int IDC_LASTMODIFIED = 20012;
    static constexpr int IDC_CATEGORY_REF = 20015;  // "参照(&R)..."
    static constexpr int IDC_UNIQICON_REF = 20016;  // "参照(&E)..."
    static constexpr int IDC_COLOR = 20017;         // colour combo, index = Color-ID
    static constexpr int IDC_UNIQICON_TITLE = 20018;
    static constexpr int IDC_NOW = 20019;           // "現在日時(&W)"
    static constexpr int IDC_VERSION_TEXT = 20031;  // description of the version

    explicit CQelTorucaSetDlg(CWnd* parent);
    ~CQelTorucaSetDlg() override;

    // Exchanged with controls (wide strings are UTF-16).
    std::u16string m_strVersion;        // combo text: "1.0", "1.1", "2.0", "2.1"
    std::u16string m_strUrl;
    std::u16string m_strUniqIconTitle;  // read-only edit
    std::u16string m_strData1;
    std::u16string m_strData2;
    std::u16string m_strData3;
    std::u16string m_strIpId;
    std::u16string m_strSortId;
    std::u16string m_strExpires;
    std::u16string m_strLastModified;   // yymmddHHMM
    int m_nColorIndex;                  // Color-ID 0..9; -1 none selected
    int m_nDistIndex;                   // Dist - 1 (0..3); -1 none selected
    CQelComboBoxEx m_cmbVersion;
    CQelComboBoxEx m_cmbColor;
    CQelComboBoxEx m_cmbDist;
    // Without a control: changed by the nested icon dialogs.
    int m_nCategory;                    // category code, 0: no category icon
    std::u16string m_strUniqIconFile;   // path of the unique icon's file

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
