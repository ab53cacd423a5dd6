// Dialog scripts: reading (blocks, values and their escapes, errors with
// line numbers) and running (every action, nested dialogs taking the next
// block, blocks that end early, missing controls and entries, the file
// dialog, message boxes).
#include "framework/dlgscript.h"

#include <gtest/gtest.h>

#include "framework/codepage.h"
#include "framework/diagnostic.h"
#include "framework/dialog.h"
#include "framework/filedialog.h"
#include "tests/support/dialog_testing.h"

namespace {

const char kScript[] = R"rc(
50 DIALOGEX 0, 0, 100, 100
CAPTION "outer"
BEGIN
    EDITTEXT 501,5,5,90,14
    EDITTEXT 502,5,20,90,30,ES_MULTILINE
    EDITTEXT 503,5,55,90,14,ES_READONLY
    COMBOBOX 504,5,70,90,60,CBS_DROPDOWNLIST
    LISTBOX 505,5,85,90,30
    CONTROL "r1",506,"Button",BS_AUTORADIOBUTTON | WS_GROUP,0,0,1,1
    CONTROL "r2",507,"Button",BS_AUTORADIOBUTTON,0,0,1,1
    PUSHBUTTON "nested",508,0,0,1,1
    PUSHBUTTON "file",509,0,0,1,1
    PUSHBUTTON "off",510,0,0,1,1,WS_DISABLED
    DEFPUSHBUTTON "OK",IDOK,0,0,1,1
END
51 DIALOGEX 0, 0, 50, 50
BEGIN
    EDITTEXT 511,5,5,40,14
END
)rc";

class CInner : public CDialog {
public:
    CInner() : CDialog(51) {}
    std::u16string m_str;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 511, m_str); }
};

class COuter : public CDialog {
public:
    COuter() : CDialog(50) {}
    std::u16string m_strLine = u"start", m_strNotes, m_strInner, m_strFile;
    int m_nCombo = -1, m_nList = -1;
    std::vector<int> clicks;
    int okTries = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, 501, m_strLine);
        DDX_Text(pDX, 502, m_strNotes);
        DDX_CBIndex(pDX, 504, m_nCombo);
        auto* list = static_cast<CListBox*>(GetDlgItem(505));
        if (pDX->m_bSaveAndValidate) m_nList = list->GetCurSel();
    }
    BOOL OnInitDialog() override {
        for (const char16_t* s : {u"one", u"two", u"three"}) {
            static_cast<CComboBox*>(GetDlgItem(504))->AddString(s);
            static_cast<CListBox*>(GetDlgItem(505))->AddString(s);
        }
        return CDialog::OnInitDialog();
    }
    void OnOK() override {
        ++okTries;
        UpdateData(TRUE);
        if (m_strLine == u"bad") {
            AfxMessageBox(u"行が正しくありません。", MB_ICONSTOP);
            return;
        }
        CDialog::OnOK();
    }
    void OnRadio() { clicks.push_back(GetFocus()->GetDlgCtrlID()); }
    void OnNested() {
        CInner inner;
        if (inner.DoModal() == IDOK) m_strInner = inner.m_str;
    }
    void OnFile() {
        CFileDialog fd(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
        fd.m_strInitialDir = initialDir;
        if (fd.DoModal() == IDOK) m_strFile = fd.GetPathName();
    }

public:
    std::u16string initialDir;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(COuter, CDialog)
ON_BN_CLICKED(506, &COuter::OnRadio)
ON_BN_CLICKED(507, &COuter::OnRadio)
ON_BN_CLICKED(508, &COuter::OnNested)
ON_BN_CLICKED(509, &COuter::OnFile)
END_MESSAGE_MAP()

TEST(DlgScriptParse, BlocksActionsAndValues) {
    const QelDialogScript s = qel::framework::ParseDialogScript(
        "\xEF\xBB\xBF# comment\r\n"
        "\r\n"
        "dialog 50\r\n"
        "  text 501 a b  \\n c\\\\d\\x\r\n"
        "text 502\r\n"
        "SELECT 504 2\n"
        "choose 505 two\n"
        "click -1\n"
        "ok\n"
        "Dialog FILE\n"
        "cancel");
    EXPECT_TRUE(s.errors.empty());
    ASSERT_EQ(s.blocks.size(), 2u);
    const QelScriptBlock& b = s.blocks[0];
    EXPECT_EQ(b.line, 3);
    EXPECT_EQ(b.templateId, 50);
    ASSERT_EQ(b.actions.size(), 6u);
    EXPECT_EQ(b.actions[0].kind, QelScriptAction::text);
    EXPECT_EQ(b.actions[0].line, 4);
    EXPECT_EQ(b.actions[0].value, u"a b  \n c\\d\\x");  // one blank after the id; the rest as written
    EXPECT_EQ(b.actions[1].value, u"");
    EXPECT_EQ(b.actions[2].kind, QelScriptAction::selectEntry);
    EXPECT_EQ(b.actions[2].index, 2);
    EXPECT_EQ(b.actions[3].value, u"two");
    EXPECT_EQ(b.actions[4].id, -1);
    EXPECT_EQ(b.actions[5].kind, QelScriptAction::ok);
    EXPECT_TRUE(s.blocks[1].fileDialog);
}

TEST(DlgScriptParse, BadLinesAreListedWithTheirNumbers) {
    const QelDialogScript s = qel::framework::ParseDialogScript(
        "ok\n"
        "dialog\n"
        "dialog 0\n"
        "dialog 50 extra\n"
        "dialog 50\n"
        "click\n"
        "click x\n"
        "click 1 2\n"
        "select 504\n"
        "select 504 -1\n"
        "text 501x\n"
        "press 1\n"
        "ok now\n"
        "text 501 \xC3\x28\n");
    const std::vector<std::pair<int, std::string>> expected = {
        {1, "action before the first dialog line"},
        {2, "dialog needs a template id or 'file'"},
        {3, "dialog '0' is not a template id or 'file'"},
        {4, "unexpected text after dialog 50"},
        {6, "click needs a control id"},
        {7, "control id 'x' is not a number"},
        {8, "unexpected text after click"},
        {9, "select needs an entry index"},
        {10, "entry index '-1' is not a number from 0"},
        {11, "control id '501x' is not a number"},
        {12, "unknown action 'press'"},
        {13, "unexpected text after ok"},
        {14, "the line is not valid UTF-8"},
    };
    ASSERT_EQ(s.errors.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(s.errors[i].line, expected[i].first);
        EXPECT_EQ(s.errors[i].message, expected[i].second);
    }
    // The bad lines after `dialog 50` stand in its block and cancel it when reached.
    ASSERT_EQ(s.blocks.size(), 1u);
    EXPECT_EQ(s.blocks[0].actions.size(), 9u);
    EXPECT_EQ(s.blocks[0].actions[0].kind, QelScriptAction::invalid);
}

// Runs `script` as the modal driver while `body` runs; answers the lines it
// printed, under the prefix qelhost's service library installs.
class DlgScriptRun : public qel::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        m_prefix = qel::framework::SetDiagnosticPrefix("qelhost: ");
    }
    void TearDown() override {
        qel::framework::SetDiagnosticPrefix(std::move(m_prefix));
        TempDirTest::TearDown();
    }

    qel::test::ScopedResourceScript m_rc{"dlgscript_test", kScript};
    std::string m_prefix;

    std::vector<std::string> Run(const std::string& script, const std::function<void()>& body) {
        std::vector<std::string> lines;
        auto previousSink = qel::framework::SetDiagnosticSink([&](std::string_view l) { lines.emplace_back(l); });
        std::unique_ptr<CModalDriver> driver =
            qel::framework::CreateScriptDriver(qel::framework::ParseDialogScript(script));
        CModalDriver* previous = AfxSetModalDriver(driver.get());
        body();
        AfxSetModalDriver(previous);
        qel::framework::SetDiagnosticSink(std::move(previousSink));
        return lines;
    }
};

TEST_F(DlgScriptRun, EveryActionReachesTheDialog) {
    COuter dlg;
    INT_PTR result = 0;
    const auto lines =
        Run("dialog 50\n"
            "text 501 typed\n"
            "text 502 one\\ntwo\n"
            "select 504 1\n"
            "choose 505 three\n"
            "click 507\n"
            "click 506\n"
            "ok\n",
            [&] { result = dlg.DoModal(); });
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.m_strLine, u"typed");
    EXPECT_EQ(dlg.m_strNotes, u"one\r\ntwo");
    EXPECT_EQ(dlg.m_nCombo, 1);
    EXPECT_EQ(dlg.m_nList, 2);
    EXPECT_EQ(dlg.clicks, (std::vector<int>{507, 506}));
}

TEST_F(DlgScriptRun, ANestedDialogTakesTheNextBlockBeforeItsOpenerGoesOn) {
    COuter dlg;
    INT_PTR result = 0;
    const auto lines =
        Run("dialog 50\n"
            "click 508\n"
            "text 501 after\n"
            "ok\n"
            "dialog 51\n"
            "text 511 inner\n"
            "ok\n",
            [&] { result = dlg.DoModal(); });
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.m_strInner, u"inner");
    EXPECT_EQ(dlg.m_strLine, u"after");
}

TEST_F(DlgScriptRun, ARefusedOkGoesOnWithTheNextLineAndMessagesArePrinted) {
    COuter dlg;
    INT_PTR result = 0;
    const auto lines =
        Run("dialog 50\n"
            "text 501 bad\n"
            "ok\n"
            "text 501 good\n"
            "ok\n"
            "text 501 too late\n",
            [&] { result = dlg.DoModal(); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.okTries, 2);
    EXPECT_EQ(dlg.m_strLine, u"good");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "qelhost: message: 行が正しくありません。",
                         "qelhost: script: line 6: dialog 50 has closed; the rest of its block is ignored",
                     }));
}

TEST_F(DlgScriptRun, ABlockThatEndsCancelsItsDialogAndMissingBlocksAreReported) {
    COuter first, second;
    INT_PTR r1 = 0, r2 = 0;
    const auto lines = Run("dialog 50\ntext 501 x\n", [&] {
        r1 = first.DoModal();
        r2 = second.DoModal();
    });
    EXPECT_EQ(r1, IDCANCEL);
    EXPECT_EQ(first.m_strLine, u"start");
    EXPECT_EQ(r2, IDCANCEL);
    EXPECT_EQ(lines, (std::vector<std::string>{"qelhost: script: no actions for dialog 50"}));
}

TEST_F(DlgScriptRun, ScriptErrorsCancelTheDialogWithTheirLineNumber) {
    struct Case {
        const char* action;
        std::string line;
    } cases[] = {
        {"click 999", "qelhost: script: line 2: dialog 50 has no control 999; dialog 50 cancelled"},
        {"select 504 3", "qelhost: script: line 2: combo box 504 has no entry 3; dialog 50 cancelled"},
        {"choose 505 four", "qelhost: script: line 2: list box 505 has no entry \"four\"; dialog 50 cancelled"},
        {"text 508 x", "qelhost: script: line 2: push button 508 cannot be typed into; dialog 50 cancelled"},
        {"click 501", "qelhost: script: line 2: edit 501 cannot be clicked; dialog 50 cancelled"},
        {"select 501 0", "qelhost: script: line 2: edit 501 has no entries to select; dialog 50 cancelled"},
        {"text 501 a\\nb",
         "qelhost: script: line 2: edit 501 is a single-line edit: a line break cannot be typed; dialog 50 cancelled"},
        {"bogus", "qelhost: script: line 2: the line cannot be read; dialog 50 cancelled"},
    };
    for (const Case& c : cases) {
        COuter dlg;
        INT_PTR result = 0;
        const auto lines = Run(std::string("dialog 50\n") + c.action + "\ntext 501 not reached\nok\n",
                               [&] { result = dlg.DoModal(); });
        EXPECT_EQ(result, IDCANCEL) << c.action;
        EXPECT_EQ(dlg.m_strLine, u"start") << c.action;
        ASSERT_FALSE(lines.empty()) << c.action;
        EXPECT_EQ(lines.back(), c.line);
    }
}

TEST_F(DlgScriptRun, DisabledAndReadOnlyControlsIgnoreTheAction) {
    COuter dlg;
    INT_PTR result = 0;
    const auto lines = Run("dialog 50\nclick 510\ntext 503 x\nok\n", [&] { result = dlg.DoModal(); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "qelhost: script: line 2: control 510 is disabled, hidden or read-only; ignored",
                         "qelhost: script: line 3: control 503 is disabled, hidden or read-only; ignored",
                     }));
}

TEST_F(DlgScriptRun, ABlockForAnotherDialogIsKeptForIt) {
    COuter outer;
    CInner inner;
    INT_PTR r1 = 0, r2 = 0;
    const auto lines = Run("dialog 51\ntext 511 kept\nok\n", [&] {
        r1 = outer.DoModal();
        r2 = inner.DoModal();
    });
    EXPECT_EQ(r1, IDCANCEL);
    EXPECT_EQ(r2, IDOK);
    EXPECT_EQ(inner.m_str, u"kept");
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "qelhost: script: line 1: the next block is for dialog 51, not for dialog 50; dialog 50 cancelled"}));
}

TEST_F(DlgScriptRun, TheFileDialogTakesAPathAndChecksItExists) {
    WriteFile("icon.gif", "GIF89a");
    COuter dlg;
    dlg.initialDir = wdir();
    INT_PTR result = 0;
    const auto lines =
        Run("dialog 50\n"
            "click 509\n"
            "ok\n"
            "dialog file\n"
            "text 0 missing.gif\n"
            "ok\n"
            "text 0 icon.gif\n"
            "ok\n",
            [&] { result = dlg.DoModal(); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.m_strFile, wpath("icon.gif"));
    EXPECT_EQ(lines,
              (std::vector<std::string>{"qelhost: script: line 6: the file dialog refuses missing.gif: no such file"}));
}

TEST_F(DlgScriptRun, TheFileDialogIsCancelledByItsBlockOrWithoutOne) {
    COuter dlg;
    const auto lines =
        Run("dialog 50\nclick 509\nclick 509\nclick 509\nok\n"
            "dialog file\ncancel\n"
            "dialog file\ntext 3 x\n",
            [&] { dlg.DoModal(); });
    EXPECT_TRUE(dlg.m_strFile.empty());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "qelhost: script: line 9: the file dialog has no control 3 (its file name is control 0); "
                         "dialog file cancelled",
                         "qelhost: script: no actions for dialog file",
                     }));
}

TEST_F(DlgScriptRun, BadLinesAreReportedWhenTheScriptIsRead) {
    const auto lines = Run("dialog 50\nfrobnicate\n", [] {});
    EXPECT_EQ(lines, (std::vector<std::string>{"qelhost: script: line 2: unknown action 'frobnicate'"}));
}

TEST_F(DlgScriptRun, AScriptFileThatCannotBeReadIsReported) {
    std::vector<std::string> lines;
    auto previous = qel::framework::SetDiagnosticSink([&](std::string_view l) { lines.emplace_back(l); });
    auto driver = qel::framework::CreateScriptDriverFromFile(path("nope.txt").string());
    qel::framework::SetDiagnosticSink(std::move(previous));
    EXPECT_STREQ(driver->Name(), "script");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "qelhost: script: cannot read " + path("nope.txt").string() + ": No such file or directory");
}

}  // namespace
