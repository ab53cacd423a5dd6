// QelWxDialog: the window of one open framework dialog in the GUI back end.
//
// Built from the dialog's state when its modal loop starts (the controls
// created, OnInitDialog run): the template's font is set first, then the
// client size and every control's position and size are the template's
// dialog units through ConvertDialogToPixels. Controls map one to one, in
// tab order (template order, which is also wx's creation and traversal
// order):
//
//   static text        wxStaticText ('&' mnemonics as in the template)
//   group box          wxStaticBox
//   icon/other static  an empty window, framed when the style has WS_BORDER
//                      or a frame type
//   push buttons       wxButton (the default push button is the default item)
//   radio buttons      wxRadioButton; each group (WS_GROUP to WS_GROUP) also
//                      holds a hidden button that is on when the framework
//                      checks none of the group
//   check boxes        wxCheckBox
//   edits              wxTextCtrl (multi-line, read-only, password, alignment)
//   combo boxes        wxChoice, one edit line high (the template's height is
//                      that of the open list)
//   list boxes         wxListBox
//   anything else      wxStaticText showing the window text
//
// Both ways: the dialog's observer marks what changed and the window
// follows (at once after each user action, else on the next event); the
// user's input goes back only through useraction.h, so handlers, data
// exchange and checks run exactly as under the other drivers. Keys the
// dialog manager owns are handled here: Enter presses the default button
// (a focused push button presses itself; Ctrl+Enter in a multi-line edit
// types a line break, and so does Enter when the edit has ES_WANTRETURN),
// Esc and the close box cancel, Alt with a mnemonic focuses the control
// after a label or clicks a button.
//
// An exception thrown by the dialog's code inside a user action ends the
// loop and is thrown again from Run.
#pragma once

#include <exception>
#include <vector>

#include <wx/dialog.h>

#include "framework/dialog.h"

class wxRadioButton;

class QelWxDialog : public wxDialog, private CDialogObserver {
public:
    // Builds the window of the open dialog `dlg` (owned by `parent`, null
    // for none) and starts mirroring it.
    QelWxDialog(wxWindow* parent, CDialog& dlg);
    ~QelWxDialog() override;

    CDialog& Dialog() const { return m_dlg; }

    // Shows the window modally until the dialog has ended, then stops
    // mirroring. Rethrows an exception that a user action let out.
    void Run();

    // The widget of the control at `index` of Dialog().GetControls() (null
    // for a bad index).
    wxWindow* ControlWindow(int index) const;
    // The control index of `window` (or of the control it belongs to), -1
    // when it is none of this dialog's controls.
    int IndexOfWindow(const wxWindow* window) const;

    // Brings every widget up to the framework's state now.
    void Flush();

private:
    struct Item {
        wxWindow* window = nullptr;
        QelControlKind kind = QelControlKind::other;
        int group = 0;                       // radio group number (counted at each WS_GROUP)
        wxRadioButton* groupNone = nullptr;  // a radio button's hidden "none checked" button
        unsigned dirty = 0;                  // QelChange bits waiting for Flush
    };

    void OnDialogChanged(CDialog& dlg, CWnd& wnd, QelChange what) override;
    void CreateControl(int index);
    wxWindow* CreateWidget(int index, const CWnd& c);
    void JoinRadioGroup(int index, const wxPoint& pos, const wxSize& size);
    void BindInput(int index, wxWindow& w);
    void BindFocus(int index, wxWindow& w);
    void Apply(int index, unsigned what);
    void ApplyFocus();
    void SyncRadioGroup(int group);
    void ScheduleFlush();

    // Runs a user action (a call of useraction.h), then brings the window
    // up to date. Catches what the dialog's code throws.
    template <typename F>
    void Feed(F&& action);
    void FeedClick(int index);
    void PressDefault();
    bool Mnemonic(int keyCode);

    void OnCharHook(wxKeyEvent& event);
    void OnEnterKey(wxKeyEvent& event, bool ctrl, bool shift);
    void OnClose(wxCloseEvent& event);

    CDialog& m_dlg;
    std::vector<Item> m_items;
    int m_buildGroup = 0;  // while creating the controls
    int m_buildLastRadioGroup = -1;
    bool m_captionDirty = false;
    bool m_focusDirty = false;
    bool m_flushScheduled = false;
    int m_applying = 0;  // >0 while the back end changes widgets (their events are not user input)
    int m_feeding = 0;   // >0 while a user action runs
    bool m_ended = false;
    bool m_mirroring = false;
    std::exception_ptr m_error;
};
