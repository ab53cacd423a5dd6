// Driving modal dialogs in tests, without a screen.
//
// A test queues, in order, the dialogs, message boxes and file dialogs it
// expects, with what the user does in each; the tests' modal driver takes
// them one by one as they open. A dialog that opens when a different
// expectation is next (or none), or an expectation that is never met, fails
// the test. A nested dialog or message box opened by an action comes next in
// the queue, before the rest of its opener's actions run.
//
//     class MyDlgTest : public qel::test::DialogTest {};
//
//     TEST_F(MyDlgTest, LastClickWins) {
//         qel::test::ExpectDialog(13651, [](qel::test::DialogUser& u) {
//             EXPECT_TRUE(u.Checked(20000));
//             u.Click(20002);
//             u.Click(20000);
//             u.Ok();
//         });
//         CQelTorucaOutputTypeDlg dlg(3, nullptr);
//         EXPECT_EQ(dlg.DoModal(), IDOK);
//         EXPECT_EQ(dlg.m_nOutput, 1);
//     }
//
// The actions run after the dialog's OnInitDialog, through the same user
// actions as the script driver (framework/useraction.h); an action the
// dialog refuses (no such control, a disabled control) fails the test. A
// dialog still open when its actions return is cancelled, as a script block
// does. Message boxes are answered with the expectation's answer (IDOK).
//
// Tests that link the module call qel::dialogs::RegisterModuleResources() so that its
// templates are found; framework tests register a script of their own with
// qel::test::ScopedResourceScript.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/diagnostic.h"
#include "framework/dialog.h"
#include "framework/extmodule.h"
#include "framework/filedialog.h"
#include "framework/modaldriver.h"
#include "framework/useraction.h"
#include "tests/support/test_support.h"

namespace qel::test {

// The user in front of one open dialog.
class DialogUser {
public:
    explicit DialogUser(CDialog& dlg) : m_dlg(dlg) {}

    CDialog& Dialog() const { return m_dlg; }
    // The dialog as its own class (fails the test and throws when it is not).
    template <typename T>
    T& As() const {
        auto* p = dynamic_cast<T*>(&m_dlg);
        if (!p) ThrowWrongClass();
        return *p;
    }
    int TemplateID() const { return static_cast<int>(m_dlg.GetTemplateID()); }
    bool IsOpen() const { return m_dlg.IsOpen() && !m_dlg.IsEnded(); }

    // Actions; each fails the test when the dialog refuses it.
    void Click(int id);
    void SetText(int id, std::u16string_view text);
    void Select(int id, int index);
    void Choose(int id, std::u16string_view text);
    void DoubleClick(int id, int index);
    void Ok();
    void Cancel();
    // The same, answering how it went instead of failing.
    QelUserResult TryClick(int id) { return qel::framework::UserClick(m_dlg, id); }
    QelUserResult TrySetText(int id, std::u16string_view text) { return qel::framework::UserSetText(m_dlg, id, text); }
    QelUserResult TrySelect(int id, int index) { return qel::framework::UserSelect(m_dlg, id, index); }

    // State. A control that does not exist fails the test (and answers an
    // empty value).
    CWnd* Control(int id) const;
    std::u16string Caption() const { return m_dlg.GetWindowText(); }
    std::u16string Text(int id) const;
    bool Checked(int id) const;
    bool Enabled(int id) const;
    bool Visible(int id) const;
    int CurSel(int id) const;
    int Count(int id) const;
    std::u16string ItemText(int id, int index) const;
    DWORD_PTR ItemData(int id, int index) const;
    std::vector<std::u16string> Items(int id) const;
    // The id of the control that has the focus, 0 when none.
    int Focus() const;
    // An edit's selected range (start, end).
    std::pair<int, int> EditSel(int id) const;

private:
    [[noreturn]] static void ThrowWrongClass();
    void Check(QelUserResult r, const char* action, int id) const;
    CDialog& m_dlg;
};

// The user in front of the file dialog.
class FileDialogUser {
public:
    explicit FileDialogUser(CFileDialog& dlg) : m_dlg(dlg) {}
    CFileDialog& Dialog() const { return m_dlg; }
    std::u16string InitialDir() const { return m_dlg.m_strInitialDir; }
    // Types the file name; Ok accepts it as the dialog would
    // (qel::framework::FileDialogAccept) and fails the test when the dialog refuses it.
    void SetText(std::u16string path) { m_typed = std::move(path); }
    void Ok();
    bool TryOk(std::string* why = nullptr);
    void Cancel() { m_done = true; }
    bool Accepted() const { return m_accepted; }
    bool Done() const { return m_done; }

private:
    CFileDialog& m_dlg;
    std::u16string m_typed;
    bool m_accepted = false;
    bool m_done = false;
};

// A message box as the driver saw it.
struct SeenMessageBox {
    std::u16string text;
    UINT style = 0;
    int activeDialog = 0;  // template id of the innermost open dialog, 0 when none
};

// Installs the tests' modal driver for its lifetime and checks, when it
// ends, that every expectation was met. Framework diagnostics are collected
// (Diagnostics()) instead of going to standard error.
class DialogDriverScope {
public:
    DialogDriverScope();
    ~DialogDriverScope();
    DialogDriverScope(const DialogDriverScope&) = delete;
    DialogDriverScope& operator=(const DialogDriverScope&) = delete;

    // Fails the test for every expectation left, and forgets them.
    void VerifyAndClear();
    const std::vector<SeenMessageBox>& MessageBoxes() const;
    const std::vector<std::string>& Diagnostics() const;

    struct Impl;  // the driver (dialog_testing.cpp)

private:
    std::unique_ptr<Impl> m_impl;
    CModalDriver* m_previous = nullptr;
    qel::framework::DiagnosticSink m_previousSink;
};

// Queue an expectation with the scope in force (fails the test without one).
void ExpectDialog(int templateId, std::function<void(DialogUser&)> actions);
// `style`, when given, must match exactly.
void ExpectMessageBox(std::u16string text, std::optional<UINT> style = std::nullopt, int answer = IDOK);
void ExpectFileDialog(std::function<void(FileDialogUser&)> actions);
// What the scope in force has collected.
const std::vector<SeenMessageBox>& MessageBoxes();
const std::vector<std::string>& Diagnostics();

// A fixture with a temporary folder (TempDirTest) and the tests' driver.
class DialogTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;
    DialogDriverScope& Driver() { return *m_scope; }

private:
    std::unique_ptr<DialogDriverScope> m_scope;
};

// Registers a resource script (UTF-8 text) as a resource module for its
// lifetime, as a module's load routine does.
class ScopedResourceScript {
public:
    ScopedResourceScript(std::string name, std::string script);
    ~ScopedResourceScript();
    ScopedResourceScript(const ScopedResourceScript&) = delete;
    ScopedResourceScript& operator=(const ScopedResourceScript&) = delete;

private:
    std::string m_name, m_script;
    QelResourceBlock m_block;
    AFX_EXTENSION_MODULE m_module;
};

}  // namespace qel::test
