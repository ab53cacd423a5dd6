// Driving the GUI back end's windows in tests, with real input events on a
// virtual X display (run_with_display.sh).
//
// A test queues, in order, the modal windows it expects. A framework dialog
// is shown for real and its actions run inside its modal loop once it is on
// the screen; a message box or file chooser (native GTK dialogs) is answered
// by the test's function without being shown. A modal window that comes
// when another (or none) is expected, or an expectation never met, fails the
// test. A dialog still open when its actions return is cancelled (and the
// test fails), so that a failed check never leaves a modal loop running.
//
//     qel::test::gui::GuiTest fixture;
//     Script().ExpectDialog(13651, [&](QelWxDialog& w) {
//         qel::test::gui::Click(*qel::test::gui::ControlWindowById(w, 20002));
//         qel::test::gui::Key(WXK_RETURN);
//         qel::test::gui::WaitForEnd(w);
//     });
//     EXPECT_EQ(dlg.DoModal(), IDOK);
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/modaldriver.h"
#include "framework/wx/wxbackend.h"
#include "framework/wx/wxdialog.h"
#include "tests/support/dialog_testing.h"

#include <wx/filedlg.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

namespace qel::test::gui {

class ModalScript : public wxModalDialogHook {
public:
    ModalScript();
    ~ModalScript() override;

    void ExpectDialog(int templateId, std::function<void(QelWxDialog&)> actions);
    // The function answers the button pressed (wxID_OK, wxID_YES, ...),
    // or wxID_NONE to have the box shown; `shown` then runs inside its
    // modal loop (real input) once it is on the screen.
    void ExpectMessageBox(std::function<int(wxMessageDialog&)> answer,
                          std::function<void(wxMessageDialog&)> shown = nullptr);
    // The first function prepares the chooser and answers wxID_NONE to have
    // it shown; `shown` then runs inside its modal loop (real input). Any
    // other answer is the button pressed, without showing it.
    void ExpectFileDialog(std::function<int(wxFileDialog&)> answer, std::function<void(wxFileDialog&)> shown = nullptr);
    // Fails the test for every expectation left, and forgets them.
    void VerifyAndClear();

protected:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;

private:
    struct Expectation {
        enum Kind { dialog, messageBox, fileDialog } kind = dialog;
        int templateId = 0;
        std::function<void(QelWxDialog&)> actions;
        std::function<int(wxMessageDialog&)> message;
        std::function<void(wxMessageDialog&)> messageShown;
        std::function<int(wxFileDialog&)> file;
        std::function<void(wxFileDialog&)> fileShown;
    };
    // Enter() for each kind of modal window expected.
    int EnterDialog(QelWxDialog* ours, Expectation& e);
    int EnterMessageBox(wxDialog* dialog, Expectation& e);
    int EnterFileDialog(wxDialog* dialog, Expectation& e);

    std::deque<Expectation> m_queue;
    // Native dialogs let through to be shown: their ShowModal enters the
    // hook once more (wxDialog::ShowModal) and is let through again.
    std::vector<wxDialog*> m_shown;
};

// The GUI driver installed, the module's templates registered, a script for
// the modal windows; skips the test when there is no display.
class GuiTest : public qel::test::TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;
    ModalScript& Script() { return *m_script; }

private:
    std::unique_ptr<CModalDriver> m_driver;
    CModalDriver* m_previous = nullptr;
    std::unique_ptr<qel::test::ScopedResourceScript> m_resources;
    std::unique_ptr<ModalScript> m_script;
};

// Processes events until `done` answers true or `ms` milliseconds pass;
// answers done().
bool WaitFor(const std::function<bool()>& done, int ms = 5000);
// Processes events for `ms` milliseconds.
void Settle(int ms = 150);
// Waits until the dialog has ended (fails the test after a while).
void WaitForEnd(QelWxDialog& window);
// The widget of the first control with id `id` of the window's dialog, null
// when it has none.
wxWindow* ControlWindowById(const QelWxDialog& window, int id);

// Real input through the X server (wxUIActionSimulator). Each waits until
// the toolkit has handled it.
void Click(wxWindow& window);                         // the left button, at the window's middle
void ClickAt(wxWindow& window, wxPoint clientPoint);  // ... at a point of its client area
void Type(const char* text);                          // ASCII text
void Key(int keyCode, int modifiers = wxMOD_NONE);

// Saves a top-level window (a dialog, a shown message box) as
// build/screenshots/NAME.png, NAME@2x.png when GTK draws it at twice the
// size (GDK_SCALE=2); answers the path.
std::string Screenshot(wxWindow& window, const std::string& name);

}  // namespace qel::test::gui
