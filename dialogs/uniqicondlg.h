// CQelTorucaUniqIconDlg: the unique category icon dialog (template 13653),
// in which the user names the image file and the title of a card's unique
// category icon.
//
// The caller sets m_strFile and m_strTitle before DoModal and reads them
// after IDOK. OK insists that a named file exists; an empty file removes the
// icon, and the title then comes back empty as well. Paths are wide strings
// of the local file system.
#pragma once

#include <string>

#include "dialogs/resource.h"
#include "framework/dialog.h"

class CQelTorucaUniqIconDlg : public CDialog {
public:
    static constexpr UINT IDD = IDD_TORUCA_UNIQICON;  // control ids: IDC_* of dialogs/resource.h

    explicit CQelTorucaUniqIconDlg(CWnd* parent);
    ~CQelTorucaUniqIconDlg() override;

    std::u16string m_strFile;   // full path of the icon file; empty: no unique icon
    std::u16string m_strTitle;  // the icon's title, free text
    // Where the next browse starts: empty until the first browse, which
    // starts in the current file's folder; then the folder of the file
    // chosen last.
    std::u16string m_strFolder;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnFileRef();

    DECLARE_MESSAGE_MAP()
};
