#include "tests/framework/wx/gui_testing.h"

#include <cstdlib>
#include <filesystem>

#include "framework/useraction.h"
#include "tests/framework/wx/gtk_probe.h"

#include <wx/app.h>
#include <wx/debug.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

namespace qel::test::gui {

ModalScript::ModalScript() { Register(); }

ModalScript::~ModalScript() {
    Unregister();
    VerifyAndClear();
}

void ModalScript::ExpectDialog(int templateId, std::function<void(QelWxDialog&)> actions) {
    Expectation e;
    e.kind = Expectation::dialog;
    e.templateId = templateId;
    e.actions = std::move(actions);
    m_queue.push_back(std::move(e));
}

void ModalScript::ExpectMessageBox(std::function<int(wxMessageDialog&)> answer,
                                   std::function<void(wxMessageDialog&)> shown) {
    Expectation e;
    e.kind = Expectation::messageBox;
    e.message = std::move(answer);
    e.messageShown = std::move(shown);
    m_queue.push_back(std::move(e));
}

void ModalScript::ExpectFileDialog(std::function<int(wxFileDialog&)> answer, std::function<void(wxFileDialog&)> shown) {
    Expectation e;
    e.kind = Expectation::fileDialog;
    e.file = std::move(answer);
    e.fileShown = std::move(shown);
    m_queue.push_back(std::move(e));
}

void ModalScript::VerifyAndClear() {
    for (const Expectation& e : m_queue)
        ADD_FAILURE() << "expected modal window never came: "
                      << (e.kind == Expectation::dialog       ? "dialog " + std::to_string(e.templateId)
                          : e.kind == Expectation::messageBox ? std::string("message box")
                                                              : std::string("file dialog"));
    m_queue.clear();
}

void ModalScript::Exit(wxDialog* dialog) {
    for (auto it = m_shown.begin(); it != m_shown.end(); ++it)
        if (*it == dialog) {
            m_shown.erase(it);
            break;
        }
}

int ModalScript::Enter(wxDialog* dialog) {
    for (wxDialog* d : m_shown)
        if (d == dialog) return wxID_NONE;
    auto* ours = dynamic_cast<QelWxDialog*>(dialog);
    if (m_queue.empty()) {
        ADD_FAILURE() << "unexpected modal window: "
                      << (ours ? "dialog " + std::to_string(ours->Dialog().GetTemplateID())
                               : std::string(wxString(dialog->GetClassInfo()->GetClassName()).utf8_str()));
        return wxID_CANCEL;
    }
    Expectation e = std::move(m_queue.front());
    m_queue.pop_front();
    if (e.kind == Expectation::dialog) return EnterDialog(ours, e);
    if (e.kind == Expectation::messageBox) return EnterMessageBox(dialog, e);
    return EnterFileDialog(dialog, e);
}

int ModalScript::EnterDialog(QelWxDialog* ours, Expectation& e) {
    if (!ours || static_cast<int>(ours->Dialog().GetTemplateID()) != e.templateId) {
        ADD_FAILURE() << "expected dialog " << e.templateId << ", another modal window came";
        return wxID_CANCEL;
    }
    // Shown for real; the actions run inside its modal loop.
    ours->CallAfter([ours, actions = std::move(e.actions)] {
        WaitFor([&] { return ours->IsShownOnScreen() && ours->GetClientSize().x > 0; });
        Settle();
        actions(*ours);
        // (A loop left because a handler threw is over too.)
        if (!WaitFor([&] { return ours->Dialog().IsEnded() || !ours->IsModal(); }, 2000)) {
            ADD_FAILURE() << "dialog " << ours->Dialog().GetTemplateID() << " still open after its actions; cancelled";
            qel::framework::UserCancel(ours->Dialog());
            ours->Flush();
        }
    });
    return wxID_NONE;
}

int ModalScript::EnterMessageBox(wxDialog* dialog, Expectation& e) {
    auto* box = dynamic_cast<wxMessageDialog*>(dialog);
    if (!box) {
        ADD_FAILURE() << "expected a message box, another modal window came";
        return wxID_CANCEL;
    }
    const int answer = e.message(*box);
    if (answer == wxID_NONE && e.messageShown)
        wxTheApp->CallAfter([box, shown = std::move(e.messageShown)] {
            // The box's widget exists only while it runs.
            WaitFor([&] { return IsMapped(box->GetHandle()); });
            Settle(300);
            // The box's loop ends only after this function returns: a
            // response given by the actions is watched for instead.
            bool responded = false;
            GtkWidget* widget = box->GetHandle();
            const unsigned long watch = WatchResponse(widget, &responded);
            shown(*box);
            WaitFor([&] { return responded; }, 2000);
            StopWatching(widget, watch);
            // Never leave a modal loop running after a failed check.
            if (!responded) {
                ADD_FAILURE() << "message box still open after its actions; cancelled";
                RespondToDialog(widget, wxID_CANCEL);
            }
        });
    return answer;
}

int ModalScript::EnterFileDialog(wxDialog* dialog, Expectation& e) {
    auto* chooser = dynamic_cast<wxFileDialog*>(dialog);
    if (!chooser) {
        ADD_FAILURE() << "expected a file dialog, another modal window came";
        return wxID_CANCEL;
    }
    const int answer = e.file(*chooser);
    if (answer == wxID_NONE) m_shown.push_back(chooser);
    if (answer == wxID_NONE && e.fileShown)
        wxTheApp->CallAfter([chooser, shown = std::move(e.fileShown)] {
            WaitFor([&] { return chooser->IsShownOnScreen(); });
            Settle(300);
            shown(*chooser);
        });
    return answer;
}

void GuiTest::SetUp() {
    TempDirTest::SetUp();
    const char* display = std::getenv("DISPLAY");
    if (std::getenv("QEL_GUI_TEST_NO_DISPLAY") || !display || !*display)
        GTEST_SKIP() << "no display (xvfb-run missing)";
    m_driver.reset(QelCreateGuiModalDriver(QEL_MODAL_DRIVER_INTERFACE_VERSION));
    ASSERT_TRUE(m_driver) << "the GUI back end did not start";
    m_previous = AfxSetModalDriver(m_driver.get());
    // A failed wx check fails the test.
    wxSetAssertHandler(
        [](const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg) {
            ADD_FAILURE_AT(file.utf8_str(), line)
                << "wx check failed in " << func.utf8_str() << ": " << cond.utf8_str() << " " << msg.utf8_str();
        });
    m_resources = std::make_unique<qel::test::ScopedResourceScript>(
        "qeltoruca.rc", qel::test::ReadFileBytes(std::filesystem::path(QEL_SOURCE_DIR) / "dialogs/qeltoruca.rc"));
    m_script = std::make_unique<ModalScript>();
}

void GuiTest::TearDown() {
    m_script.reset();
    m_resources.reset();
    if (m_driver) AfxSetModalDriver(m_previous);
    m_driver.reset();
    TempDirTest::TearDown();
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    const wxLongLong until = wxGetLocalTimeMillis() + ms;
    for (;;) {
        wxYield();
        if (done()) return true;
        if (wxGetLocalTimeMillis() > until) return false;
        wxMilliSleep(5);
    }
}

wxWindow* ControlWindowById(const QelWxDialog& window, int id) {
    CWnd* control = window.Dialog().GetDlgItem(id);
    return control ? window.ControlWindow(window.Dialog().GetControlIndex(*control)) : nullptr;
}

void Settle(int ms) {
    WaitFor([] { return false; }, ms);
}

void WaitForEnd(QelWxDialog& window) {
    EXPECT_TRUE(WaitFor([&] { return window.Dialog().IsEnded(); }))
        << "dialog " << window.Dialog().GetTemplateID() << " did not end";
}

void ClickAt(wxWindow& window, wxPoint clientPoint) {
    wxUIActionSimulator sim;
    sim.MouseMove(window.ClientToScreen(clientPoint));
    Settle(50);
    sim.MouseClick();
    Settle();
}

void Click(wxWindow& window) {
    const wxSize size = window.GetSize();
    ClickAt(window, wxPoint(size.x / 2, size.y / 2));
}

void Type(const char* text) {
    wxUIActionSimulator sim;
    sim.Text(text);
    Settle();
}

void Key(int keyCode, int modifiers) {
    wxUIActionSimulator sim;
    sim.Char(keyCode, modifiers);
    Settle();
}

std::string Screenshot(wxWindow& window, const std::string& name) {
    const std::filesystem::path dir = std::filesystem::path(QEL_BINARY_DIR) / "screenshots";
    std::filesystem::create_directories(dir);
    const int scale = ScaleFactorOf(window.GetHandle());
    const std::string file = scale > 1 ? name + "@" + std::to_string(scale) + "x.png" : name + ".png";
    const std::string path = (dir / file).string();
    if (dynamic_cast<QelWxDialog*>(&window)) {
        window.Refresh();
        window.Update();
    }
    Settle(100);
    const std::string error = SaveWindowPng(window.GetHandle(), path);
    EXPECT_EQ(error, "") << path;
    return path;
}

}  // namespace qel::test::gui
