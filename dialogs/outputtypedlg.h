// CQelTorucaOutputTypeDlg: the output method dialog (template 13651), in
// which the user chooses what an export writes.
//
// The dialog speaks its own output code, one per radio button:
//   1 (20000) project file "toruca.tpj"
//   2 (20001) ToruCa detail file "toruca_detail.trc"
//   4 (20002) ToruCa snippet file "toruca.trc"
// This is not the record's type code (which has 2 for the snippet and 4 for
// the detail file); the export command translates in both directions.
//
// The caller creates the dialog on its stack with the current output, runs
// DoModal and, after IDOK, reads m_nOutput: the code of the radio button
// clicked last, or the initial code normalised (anything but 1, 2, 4 reads 1)
// when no radio button was clicked.
#pragma once

#include "dialogs/resource.h"
#include "framework/dialog.h"

class CQelTorucaOutputTypeDlg : public CDialog {
public:
    static constexpr UINT IDD = IDD_TORUCA_OUTPUT;  // control ids: IDC_* of dialogs/resource.h

    // `output`: the initial output in the dialog's code; `parent` may be null
    // (the framework's default owner then owns the dialog).
    CQelTorucaOutputTypeDlg(int output, CWnd* parent);
    ~CQelTorucaOutputTypeDlg() override;

    // Id of the radio button that the user clicked last (20000..20002); 0
    // until a click sets it. Only the radio handler reads it.
    int m_nCheckedId = 0;
    // The output in the dialog's code; read it after IDOK.
    int m_nOutput;

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnOutputRadio();

    DECLARE_MESSAGE_MAP()
};
