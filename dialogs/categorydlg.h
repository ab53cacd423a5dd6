// CQelTorucaCategoryDlg: the icon selection dialog (template 13652), in which
// the user chooses the category code of a card's category icon, or no icon
// (code 0).
//
// The genre combo lists the eleven genre names of the category table, "全て"
// (all genres) last; the list below shows the codes of the chosen genre as
// four lower-case hex digits with the code as item data. The dialog is opened
// with a code (the constructor) and, after IDOK, GetCategory answers the
// chosen one: the list entry selected under "アイコンを指定する(&I)" (the
// opening code when none is selected), or 0 under "アイコンを指定しない(&N)".
#pragma once

#include "framework/controls.h"
#include "dialogs/resource.h"
#include "framework/dialog.h"
#include "host/combobox.h"

class CQelTorucaCategoryDlg : public CDialog {
public:
    static constexpr UINT IDD = IDD_TORUCA_CATEGORY;  // control ids: IDC_* of dialogs/resource.h

    // `category`: the code to open with (0: no icon); `parent` may be null.
    CQelTorucaCategoryDlg(int category, CWnd* parent);
    ~CQelTorucaCategoryDlg() override;

    // The category code; after IDOK the user's choice.
    int GetCategory() { return m_nCategory; }

    CQelComboBoxEx m_cmbGenre;  // bound to 20024
    CListBox m_lstIcon;         // bound to 20025
    int m_nCategory;
    // The radio button in force, 20022 or 20023; set by the initialisation
    // and by each click of a radio button.
    int m_nCheckedId = 0;

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnIconRadio();
    void OnSelchangeGenre();
    // Refills the code list with the codes of `genre` (10: all genres),
    // selecting m_nCategory when listed; a negative genre leaves it alone.
    void FillIconList(int genre);

    DECLARE_MESSAGE_MAP()
};
