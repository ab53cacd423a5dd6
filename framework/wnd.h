// CWnd, the framework's window, and the message map that routes a control's
// notifications (WM_COMMAND) to member functions.
//
// Windows here are framework objects only: a control's whole state (text,
// style, enabled and visible bits, check state, entries, selection) is held
// in its CWnd object, and the modal driver (modaldriver.h) shows it, mirrors
// it or drives it. A control belongs to the dialog that created it from its
// template while that dialog is open (m_hWnd == this); DDX_Control makes a
// member object of the dialog take over a template control (dialog.h).
//
// Text is UTF-16 (std::u16string); rectangles are given in dialog units by
// the template and mapped to pixels by the dialog's base units.
//
// A message map is written as in the application framework:
//
//     class CMyDlg : public CDialog {
//         ...
//         void OnBrowse();
//         void OnSelchangeKind();
//         DECLARE_MESSAGE_MAP()
//     };
//
//     BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//         ON_BN_CLICKED(20016, &CMyDlg::OnBrowse)
//         ON_CBN_SELCHANGE(20003, &CMyDlg::OnSelchangeKind)
//     END_MESSAGE_MAP()
//
// OnCommand looks a notification up in the most derived map first, then in
// the base classes' maps; the first entry with the same control id and
// notification code runs.
#pragma once

#include "framework/api.h"

#include <string>
#include <string_view>

#include "framework/dlgtemplate.h"
#include "framework/wintypes.h"

class CDialog;

// What changed on a window, as told to a dialog's observer (dialog.h).
enum class QelChange {
    text,           // window text (an edit's contents, a combo box's shown text, the caption)
    style,          // style bits other than enabled and visible
    enabled,        // WS_DISABLED changed
    visible,        // WS_VISIBLE changed
    check,          // a button's check state
    items,          // entries of a combo box or list box added, removed or changed (item data included)
    selection,      // the selected entry of a combo box or list box
    editSelection,  // an edit's selected range
    droppedWidth,   // a combo box's drop-down width
    focus,          // the dialog's focus moved to this control
    rebound,        // a member object took over this control's place (DDX_Control)
    ended,          // the dialog ended (EndDialog); the window is the dialog
};

class CWnd;
using AFX_PMSG = void (CWnd::*)();

struct AFX_MSGMAP_ENTRY {
    UINT nCode;    // notification code (BN_CLICKED, CBN_SELCHANGE, ...)
    UINT nID;      // control id
    AFX_PMSG pfn;  // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();  // null for the root
    const AFX_MSGMAP_ENTRY* lpEntries;
};

class QEL_FW_API CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // This object while the window exists (see the file comment), else null.
    HWND m_hWnd = nullptr;

    int GetDlgCtrlID() const { return m_nID; }
    DWORD GetStyle() const { return m_dwStyle; }
    DWORD GetExStyle() const { return m_dwExStyle; }
    // Changes style bits; enabled and visible bits go through EnableWindow
    // and ShowWindow semantics. Returns true when the style changed.
    BOOL ModifyStyle(DWORD remove, DWORD add);
    // The window class of the template ("Button", "Edit", ...), empty for a
    // window not made from a template.
    const std::u16string& GetWindowClassName() const { return m_strClass; }
    QelControlKind GetControlKind() const { return m_kind; }

    void SetWindowText(std::u16string_view text);
    void GetWindowText(std::u16string& text) const { text = m_strText; }
    std::u16string GetWindowText() const { return m_strText; }
    int GetWindowTextLength() const { return static_cast<int>(m_strText.size()); }

    // Returns true when the window was disabled before the call.
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const { return (m_dwStyle & WS_DISABLED) == 0; }
    // SW_HIDE or SW_SHOW; returns true when the window was visible before.
    BOOL ShowWindow(int nCmdShow);
    BOOL IsWindowVisible() const { return (m_dwStyle & WS_VISIBLE) != 0; }

    // Gives this control the focus of its dialog; returns the control that
    // had it (null when none or when this window belongs to no dialog).
    CWnd* SetFocus();

    // The rectangle of the template, in dialog units (left, top, right, bottom).
    CRect GetDialogUnitRect() const { return m_rcDialogUnits; }
    // The same rectangle in pixels, relative to the dialog's client area,
    // mapped with the dialog's base units (CDialog::MapDialogRect).
    void GetWindowRect(CRect* rect) const;

    // The dialog this control belongs to (the dialog itself for a dialog);
    // null when not in an open dialog.
    CDialog* GetOwnerDialog() const { return m_pDialog; }
    virtual CWnd* GetParent() const;
    // A child control by id; the first in tab order when several share it.
    virtual CWnd* GetDlgItem(int nID) const;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return WindowProc(message, wParam, lParam);
    }
    LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // WM_COMMAND: wParam is MAKEWPARAM(control id, notification code),
    // lParam the control (HWND as LPARAM). Dispatches through the message
    // map; true when an entry handled it.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

    // True when the message map chain has an entry for (nID, nCode).
    bool HasCommandHandler(UINT nID, UINT nCode) const;

protected:
    // The window procedure: handles WM_SETTEXT, WM_GETTEXTLENGTH and
    // WM_COMMAND here; the control classes add their own messages.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // Sets the window text without the window procedure (notifies a change).
    void StoreWindowText(std::u16string_view text);

    // Tells the dialog's observer that `what` changed on this window.
    void NotifyChanged(QelChange what);

    // Takes over the state of the template control `from` (same class or a
    // base of this object's class; see CanBindTo). Derived classes copy their
    // own state and call the base.
    virtual void AdoptState(CWnd& from);
    // True when this object may take over `templateControl`: its class is
    // the template control's class or derived from it.
    virtual bool CanBindTo(const CWnd& templateControl) const;
    // What the text of a window of this class is set to when its template
    // text is applied (a combo box shows its selection, not its template text).
    virtual void ApplyTemplateText(const std::u16string& text) { m_strText = text; }

private:
    friend class CDialog;

    int m_nID = 0;
    DWORD m_dwStyle = WS_VISIBLE;
    DWORD m_dwExStyle = 0;
    std::u16string m_strClass;
    std::u16string m_strText;
    CRect m_rcDialogUnits;
    QelControlKind m_kind = QelControlKind::other;
    CDialog* m_pDialog = nullptr;  // owning dialog while open; the dialog itself for a dialog
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
        typedef theClass ThisClass [[maybe_unused]];                                  \
        typedef baseClass TheBaseClass;                                               \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                         \
    { 0, 0, nullptr }                                                                             \
    }                                                                                             \
    ;                                                                                             \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                                           \
    }

// A handler of notification `code` from control `id`: void (ThisClass::*)().
#define ON_CONTROL(code, id, memberFxn)              \
    {static_cast<UINT>(code), static_cast<UINT>(id), \
     static_cast<AFX_PMSG>(static_cast<void (ThisClass::*)()>(memberFxn))},
#define ON_COMMAND(id, memberFxn) ON_CONTROL(0, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_LBN_SELCHANGE(id, memberFxn) ON_CONTROL(LBN_SELCHANGE, id, memberFxn)
#define ON_LBN_DBLCLK(id, memberFxn) ON_CONTROL(LBN_DBLCLK, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
