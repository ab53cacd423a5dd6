// CDialog, the framework's modal dialog built from a dialog template, and
// the data exchange between its controls and its members.
//
// How a dialog class is written:
//
//     class CMyDlg : public CDialog {
//     public:
//         explicit CMyDlg(CWnd* parent = nullptr) : CDialog(13651, parent) {}
//         std::u16string m_strName;     // exchanged with edit 20004
//         int m_nKind = 0;              // exchanged with combo 20003 (index)
//         CComboBox m_cmbKind;          // bound to combo 20003
//     protected:
//         void DoDataExchange(CDataExchange* pDX) override {
//             DDX_Control(pDX, 20003, m_cmbKind);  // first: binds the member
//             DDX_CBIndex(pDX, 20003, m_nKind);
//             DDX_Text(pDX, 20004, m_strName);
//         }
//         BOOL OnInitDialog() override {
//             CDialog::OnInitDialog();   // hides Help, exchanges members -> controls
//             m_cmbKind.AddString(u"...");
//             UpdateData(FALSE);
//             return TRUE;               // the framework places the focus
//         }
//         void OnOK() override { ...checks...; CDialog::OnOK(); }
//         void OnKind();
//         DECLARE_MESSAGE_MAP()
//     };
//     BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//         ON_CBN_SELCHANGE(20003, &CMyDlg::OnKind)
//     END_MESSAGE_MAP()
//
// DoModal finds the template among the registered resource modules
// (rcscript.h), creates every control of it as a framework object (CStatic,
// CButton, CEdit, CComboBox, CListBox; CWnd for another class), runs
// OnInitDialog, then hands the dialog to the modal driver (modaldriver.h),
// which returns when the dialog has ended. The controls are destroyed when
// DoModal returns: members bound with DDX_Control are detached (m_hWnd null)
// and GetDlgItem answers null again.
//
// Commands: OK (IDOK) runs the virtual OnOK, Cancel (IDCANCEL) the virtual
// OnCancel, through CDialog's own message map; a dialog's OnCommand override
// sees every WM_COMMAND first. The base OnInitDialog hides the Help button
// (ID_HELP, 57670) unless the dialog's message map handles it, since the
// host application handles no help command.
#pragma once

#include "framework/api.h"

#include <memory>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/dlgtemplate.h"
#include "framework/wnd.h"

class CDataExchange;
class CDialog;

// Watches a dialog's windows; installed by a modal driver that mirrors the
// dialog (the GUI back end). Calls come synchronously, on the thread that
// changed the state, after the change.
class QEL_FW_API CDialogObserver {
public:
    virtual ~CDialogObserver() = default;
    // `what` changed on `wnd` (a control of `dlg`, or `dlg` itself for its
    // caption and for QelChange::ended). For QelChange::focus, `wnd` is the
    // control that has the focus now. For QelChange::rebound, `wnd` is the
    // member object that now stands at the control's place (same id, same
    // index in GetControls()); the former object is no longer part of the
    // dialog.
    virtual void OnDialogChanged(CDialog& dlg, CWnd& wnd, QelChange what) = 0;
};

// The base units of dialog-unit mapping for dialogs whose driver does not
// measure a font (headless, script, tests): 7 x 13 pixels by default, the
// average character of "ＭＳ Ｐゴシック" 9 pt at 96 dpi.
QEL_FW_API CSize AfxGetDialogBaseUnits();

class QEL_FW_API CDialog : public CWnd {
public:
    CDialog();
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Runs the dialog modally: IDOK, IDCANCEL or the value given to
    // EndDialog; -1 when the template cannot be found or the dialog is
    // already running.
    virtual INT_PTR DoModal();
    // Ends the dialog with `nResult`; the modal driver returns after the
    // handler that called it. Without effect when the dialog is not open.
    void EndDialog(int nResult);

    // Runs DoDataExchange: controls -> members when bSaveAndValidate,
    // members -> controls otherwise. False when an exchange raised
    // CUserException.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    CWnd* GetDlgItem(int nID) const override;
    // Moves the focus to `pWndCtrl` (an edit gets its whole text selected),
    // as WM_NEXTDLGCTL with a control does.
    void GotoDlgCtrl(CWnd* pWndCtrl);
    // The control that has the focus, null when none.
    CWnd* GetFocus() const { return m_pFocus; }
    CWnd* GetParent() const override { return m_pParentWnd; }

    // Dialog units -> pixels with this dialog's base units:
    // x * baseX / 4 and y * baseY / 8, rounded as MulDiv.
    void MapDialogRect(CRect* rect) const;
    static void MapDialogRectWith(CRect* rect, CSize baseUnits);
    CSize GetBaseUnits() const { return m_baseUnits; }

    UINT GetTemplateID() const { return m_nIDTemplate; }
    // The template while the dialog is open, else null.
    const CDialogTemplate* GetTemplate() const { return m_pTemplate.get(); }
    // True from the creation of the controls until DoModal returns.
    bool IsOpen() const { return m_bOpen; }
    // True once EndDialog ran during the current DoModal.
    bool IsEnded() const { return m_bEnded; }
    int GetModalResult() const { return m_nModalResult; }
    // The controls in tab order (template order); members bound with
    // DDX_Control stand in the place of the template's object.
    const std::vector<CWnd*>& GetControls() const { return m_controls; }
    int GetControlIndex(const CWnd& control) const;

    void SetObserver(CDialogObserver* observer) { m_pObserver = observer; }
    CDialogObserver* GetObserver() const { return m_pObserver; }

    // Binds `member` to control `nID` (what DDX_Control does): the member
    // takes over the control's state and place. Throws CNotSupportedException
    // when there is no such control or the member's class does not fit the
    // control's (a CListBox for a combo box). Nothing happens when the
    // member is already bound to this dialog.
    void SubclassDlgItem(int nID, CWnd& member);

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* pDX);
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // WM_NEXTDLGCTL: lParam's low word non-zero: wParam is the control to
    // focus; otherwise wParam 0 moves to the next tab stop, non-zero to the
    // previous one.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDTemplate = 0;
    UINT m_nIDHelp = 0;
    CWnd* m_pParentWnd = nullptr;

    DECLARE_MESSAGE_MAP()

private:
    friend class CWnd;

    void CreateFromTemplate(const CDialogTemplate& tpl);
    void Destroy();
    void FocusFirstTabStop();
    CWnd* MoveFocus(CWnd* control);
    void ControlChanged(CWnd& wnd, QelChange what);
    void ForgetControl(CWnd& control);

    std::shared_ptr<const CDialogTemplate> m_pTemplate;
    std::vector<std::unique_ptr<CWnd>> m_ownedControls;
    std::vector<CWnd*> m_controls;
    CWnd* m_pFocus = nullptr;
    CDialogObserver* m_pObserver = nullptr;
    CSize m_baseUnits{7, 13};
    bool m_bOpen = false;
    bool m_bEnded = false;
    int m_nModalResult = -1;
};

// One exchange pass of DoDataExchange.
class QEL_FW_API CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    BOOL m_bSaveAndValidate;  // true: controls -> members
    CWnd* m_pDlgWnd;
    int m_idLastControl = 0;
    BOOL m_bEditLastControl = FALSE;

    // The control `nIDC` of the dialog; throws CNotSupportedException when
    // the template has none.
    CWnd* PrepareCtrl(int nIDC);
    CWnd* PrepareEditCtrl(int nIDC);
};

// Binds a member control object (see CDialog::SubclassDlgItem).
QEL_FW_API void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Edit (or any window) text <-> value.
QEL_FW_API void DDX_Text(CDataExchange* pDX, int nIDC, std::u16string& value);
// Combo-box text. Loading selects the first entry that begins with `value`
// (ignoring ASCII case; so an empty value selects the first entry) and
// selects nothing when none does; a combo with an edit also shows `value`.
// Saving reads the selected entry's text, empty when none is selected (a
// combo with an edit reads its edit).
QEL_FW_API void DDX_CBString(CDataExchange* pDX, int nIDC, std::u16string& value);
// Combo-box selection index: loading selects entry `index` (nothing when out
// of range); saving reads the selected index, -1 when none.
QEL_FW_API void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index);

// Shows a message box through the modal driver: style MB_OK | MB_ICONSTOP
// (0x10) and so on; returns the button pressed (IDOK).
QEL_FW_API int AfxMessageBox(const std::u16string& text, UINT nType = MB_OK, UINT nIDHelp = 0);
