// CDialog: creation from a template, data exchange in both directions, the
// message map, OK/Cancel, focus, Help hiding, binding member controls,
// nested dialogs and message boxes, all driven by the tests' driver.
#include "framework/dialog.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "framework/exceptions.h"
#include "framework/wnd.h"
#include "tests/support/dialog_testing.h"

namespace {

const char kScript[] = R"rc(
// A dialog with every control kind of the layer.
#define IDD_TEST 100
#define IDD_INNER 101
#define IDC_NAME 1001
LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT

IDD_TEST DIALOGEX 10, 20, 200, 150
STYLE DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "テスト"
FONT 9, "ＭＳ Ｐゴシック", 400, 0, 0x80
BEGIN
    LTEXT "&Name:",IDC_STATIC,7,7,40,8
    EDITTEXT IDC_NAME,50,5,100,14,ES_AUTOHSCROLL
    EDITTEXT 1002,50,22,100,30,ES_MULTILINE | ES_AUTOHSCROLL
    EDITTEXT 1003,50,55,100,14,ES_AUTOHSCROLL | ES_READONLY
    GROUPBOX "Kind",IDC_STATIC,7,70,90,40
    CONTROL "A",1010,"Button",BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP,10,80,30,10
    CONTROL "B",1011,"Button",BS_AUTORADIOBUTTON,10,90,30,10
    CONTROL "C",1012,"Button",BS_AUTORADIOBUTTON | WS_GROUP,10,100,30,10
    COMBOBOX 1020,100,70,60,100,CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP
    LISTBOX 1030,100,90,60,40,LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP
    CONTROL "",1040,"Static",SS_ICON | WS_BORDER,170,5,20,20
    PUSHBUTTON "&Browse...",1050,160,30,35,14
    DEFPUSHBUTTON "OK",IDOK,40,130,50,14
    PUSHBUTTON "Cancel",IDCANCEL,95,130,50,14
    PUSHBUTTON "Help",ID_HELP,150,130,50,14
END

IDD_INNER DIALOGEX 0, 0, 100, 50
CAPTION "Inner"
BEGIN
    EDITTEXT 2001,5,5,90,14
    DEFPUSHBUTTON "OK",IDOK,5,30,40,14
    PUSHBUTTON "Help",ID_HELP,50,30,40,14
END
)rc";

// A combo box class of its own, to see that a derived member takes the
// template control's place.
class CCountingCombo : public CComboBox {
public:
    int added = 0;
    int Add(std::u16string_view text) {
        ++added;
        return AddString(text);
    }
};

class CInnerDlg : public CDialog {
public:
    explicit CInnerDlg(CWnd* parent) : CDialog(101, parent) {}
    std::u16string m_strValue;
    int helpClicks = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 2001, m_strValue); }
    void OnHelp() { ++helpClicks; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CInnerDlg, CDialog)
ON_BN_CLICKED(ID_HELP, &CInnerDlg::OnHelp)
END_MESSAGE_MAP()

class CTestDlg : public CDialog {
public:
    CTestDlg() : CDialog(100, nullptr) {}

    std::u16string m_strName = u"Taro";
    std::u16string m_strNotes = u"line1\r\nline2";
    std::u16string m_strKind = u"be";  // combo text: the first entry beginning with it
    int m_nPick = 1;                   // list index
    CCountingCombo m_cmbKind;
    CListBox m_lstItems;

    std::vector<std::string> calls;
    std::vector<WPARAM> commands;
    std::u16string innerResult;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, 1020, m_cmbKind);
        DDX_Control(pDX, 1030, m_lstItems);
        DDX_Text(pDX, 1001, m_strName);
        DDX_Text(pDX, 1002, m_strNotes);
        DDX_CBString(pDX, 1020, m_strKind);
        if (pDX->m_bSaveAndValidate) m_nPick = m_lstItems.GetCurSel();
        else m_lstItems.SetCurSel(m_nPick);
    }

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();  // the first exchange finds both lists empty
        calls.push_back("init");
        for (const char16_t* k : {u"Alpha", u"Beta", u"Gamma"}) m_cmbKind.Add(k);
        for (int i = 0; i < 3; ++i) {
            const int at = m_lstItems.AddString(u"item" + std::u16string(1, static_cast<char16_t>(u'0' + i)));
            m_lstItems.SetItemData(at, static_cast<DWORD_PTR>(100) + static_cast<DWORD_PTR>(i));
        }
        SendDlgItemMessage(1010, BM_SETCHECK, BST_CHECKED);
        UpdateData(FALSE);
        return TRUE;
    }

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        commands.push_back(wParam);
        return CDialog::OnCommand(wParam, lParam);
    }

    void OnOK() override {
        UpdateData(TRUE);
        if (m_strName.empty()) {
            AfxMessageBox(u"名前を入力してください。", MB_ICONSTOP, 0);
            SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(1001)), TRUE);
            return;
        }
        CDialog::OnOK();
    }

    void OnBrowse() {
        calls.push_back("browse");
        CInnerDlg inner(this);
        inner.m_strValue = m_strName;
        if (inner.DoModal() == IDOK) innerResult = inner.m_strValue;
    }
    void OnRadio() { calls.push_back("radio"); }
    void OnKindChange() { calls.push_back("kind " + std::to_string(m_cmbKind.GetCurSel())); }
    void OnItemChange() { calls.push_back("item " + std::to_string(m_lstItems.GetCurSel())); }
    void OnItemDblClk() { calls.push_back("dblclk"); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
ON_BN_CLICKED(1050, &CTestDlg::OnBrowse)
ON_BN_CLICKED(1010, &CTestDlg::OnRadio)
ON_BN_CLICKED(1011, &CTestDlg::OnRadio)
ON_CBN_SELCHANGE(1020, &CTestDlg::OnKindChange)
ON_LBN_SELCHANGE(1030, &CTestDlg::OnItemChange)
ON_LBN_DBLCLK(1030, &CTestDlg::OnItemDblClk)
END_MESSAGE_MAP()

class DialogTest : public qel::test::DialogTest {
protected:
    qel::test::ScopedResourceScript m_rc{"dialog_test", kScript};
};

TEST_F(DialogTest, ControlsAreMadeFromTheTemplateAndGoWithTheDialog) {
    CTestDlg dlg;
    qel::test::ExpectDialog(100, [](qel::test::DialogUser& u) {
        CDialog& d = u.Dialog();
        EXPECT_EQ(u.Caption(), u"テスト");
        ASSERT_EQ(d.GetControls().size(), 15u);
        EXPECT_TRUE(dynamic_cast<CStatic*>(d.GetControls()[0]));
        EXPECT_EQ(d.GetControls()[0]->GetWindowText(), u"&Name:");
        EXPECT_TRUE(dynamic_cast<CEdit*>(u.Control(1001)));
        EXPECT_TRUE(dynamic_cast<CButton*>(u.Control(1010)));
        EXPECT_TRUE(dynamic_cast<CStatic*>(u.Control(1040)));
        EXPECT_EQ(u.Control(1040)->GetControlKind(), QelControlKind::iconStatic);
        EXPECT_EQ(u.Control(1050)->GetControlKind(), QelControlKind::pushButton);
        EXPECT_EQ(u.Control(IDOK)->GetControlKind(), QelControlKind::defPushButton);
        // Dialog units to pixels with the default 7 x 13 base units, rounded as MulDiv.
        CRect r;
        u.Control(1001)->GetWindowRect(&r);
        EXPECT_EQ(r, (CRect{88, 8, 263, 31}));
        EXPECT_EQ(u.Control(1001)->GetDialogUnitRect(), (CRect{50, 5, 150, 19}));
        u.Ok();
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetDlgItem(1001), nullptr);
    EXPECT_EQ(dlg.m_cmbKind.m_hWnd, nullptr);
    EXPECT_FALSE(dlg.IsOpen());
}

TEST_F(DialogTest, MembersGoToTheControlsAndComeBackAfterOk) {
    CTestDlg dlg;
    qel::test::ExpectDialog(100, [](qel::test::DialogUser& u) {
        EXPECT_EQ(u.Text(1001), u"Taro");
        EXPECT_EQ(u.Text(1002), u"line1\r\nline2");
        EXPECT_EQ(u.CurSel(1020), 1);  // "be" begins "Beta", ignoring case
        EXPECT_EQ(u.Text(1020), u"Beta");
        EXPECT_EQ(u.CurSel(1030), 1);
        EXPECT_EQ(u.ItemData(1030, 2), 102u);
        u.SetText(1001, u"Hanako");
        u.SetText(1002, u"a\nb");  // a typed line break is CR LF in the edit
        u.Select(1020, 2);
        u.Select(1030, 0);
        u.Ok();
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strName, u"Hanako");
    EXPECT_EQ(dlg.m_strNotes, u"a\r\nb");
    EXPECT_EQ(dlg.m_strKind, u"Gamma");
    EXPECT_EQ(dlg.m_nPick, 0);
}

TEST_F(DialogTest, CancelLeavesTheMembersAsTheyWere) {
    CTestDlg dlg;
    qel::test::ExpectDialog(100, [](qel::test::DialogUser& u) {
        u.SetText(1001, u"changed");
        u.Cancel();
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_strName, u"Taro");
}

TEST_F(DialogTest, ComboTextSelectsNothingWhenNoEntryBeginsWithIt) {
    CTestDlg dlg;
    dlg.m_strKind = u"Delta";
    dlg.m_nPick = 7;  // out of range: nothing selected
    qel::test::ExpectDialog(100, [](qel::test::DialogUser& u) {
        EXPECT_EQ(u.CurSel(1020), -1);
        EXPECT_EQ(u.Text(1020), u"");
        EXPECT_EQ(u.CurSel(1030), -1);
        u.Ok();
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strKind, u"");  // nothing selected reads as empty
    EXPECT_EQ(dlg.m_nPick, -1);
}

TEST_F(DialogTest, MessageMapRoutesClicksAndSelectionChanges) {
    CTestDlg dlg;
    qel::test::ExpectDialog(100, [](qel::test::DialogUser& u) {
        u.Select(1020, 0);
        u.Select(1030, 2);
        u.DoubleClick(1030, 1);
        u.Click(1011);
        u.Click(1012);  // no entry in the map: nothing runs
        u.Ok();
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"init", "kind 0", "item 2", "item 1", "dblclk", "radio"}));
    // OnCommand saw every command with the control id low and the code high.
    ASSERT_GE(dlg.commands.size(), 4u);
    EXPECT_EQ(dlg.commands[0], MAKEWPARAM(1020, CBN_SELCHANGE));
    EXPECT_EQ(dlg.commands[1], MAKEWPARAM(1030, LBN_SELCHANGE));
    EXPECT_EQ(dlg.commands.back(), MAKEWPARAM(IDOK, BN_CLICKED));
}

TEST_F(DialogTest, AutoRadioButtonsUncheckOnlyTheirOwnGroup) {
    CTestDlg dlg;
    qel::test::ExpectDialog(100, [](qel::test::DialogUser& u) {
        EXPECT_TRUE(u.Checked(1010));
        u.Click(1012);  // a group of its own
        EXPECT_TRUE(u.Checked(1010));
        EXPECT_TRUE(u.Checked(1012));
        u.Click(1011);
        EXPECT_FALSE(u.Checked(1010));
        EXPECT_TRUE(u.Checked(1011));
        EXPECT_TRUE(u.Checked(1012));
        u.Cancel();
    });
    dlg.DoModal();
}

TEST_F(DialogTest, RefusedOkShowsTheMessageAndSelectsTheEditText) {
    CTestDlg dlg;
    qel::test::ExpectDialog(100, [](qel::test::DialogUser& u) {
        u.SetText(1001, u"");
        u.Ok();
        EXPECT_TRUE(u.IsOpen());
        EXPECT_EQ(u.Focus(), 1001);
        u.SetText(1001, u"abc");
        u.Click(IDCANCEL);
        EXPECT_FALSE(u.IsOpen());
    });
    qel::test::ExpectMessageBox(u"名前を入力してください。", MB_ICONSTOP);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    ASSERT_EQ(qel::test::MessageBoxes().size(), 1u);
    EXPECT_EQ(qel::test::MessageBoxes()[0].activeDialog, 100);
}

TEST_F(DialogTest, FocusMovesToTheEditWithItsWholeTextSelected) {
    CTestDlg dlg;
    qel::test::ExpectDialog(100, [](qel::test::DialogUser& u) {
        // The first tab stop has the focus, its text selected.
        EXPECT_EQ(u.Focus(), 1001);
        EXPECT_EQ(u.EditSel(1001), std::make_pair(0, 4));
        CDialog& d = u.Dialog();
        d.SendMessage(WM_NEXTDLGCTL, 0, FALSE);  // next tab stop (1002)
        EXPECT_EQ(u.Focus(), 1002);
        d.SendMessage(WM_NEXTDLGCTL, 1, FALSE);  // previous
        EXPECT_EQ(u.Focus(), 1001);
        d.SendMessage(WM_NEXTDLGCTL, 1, FALSE);  // wraps to the last tab stop (Help is hidden)
        EXPECT_EQ(u.Focus(), IDCANCEL);
        d.SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(d.GetDlgItem(1002)), TRUE);
        EXPECT_EQ(u.Focus(), 1002);
        EXPECT_EQ(u.EditSel(1002), std::make_pair(0, 12));
        u.Cancel();
    });
    dlg.DoModal();
}

TEST_F(DialogTest, HelpIsHiddenUnlessTheDialogHandlesIt) {
    CTestDlg dlg;
    qel::test::ExpectDialog(100, [](qel::test::DialogUser& u) {
        EXPECT_FALSE(u.Visible(ID_HELP));
        EXPECT_EQ(u.TryClick(ID_HELP), QelUserResult::unavailable);
        u.Click(1050);
        EXPECT_EQ(u.Dialog().GetDlgItem(1050)->GetOwnerDialog(), &u.Dialog());
        u.Ok();
    });
    qel::test::ExpectDialog(101, [](qel::test::DialogUser& u) {
        EXPECT_TRUE(u.Visible(ID_HELP));
        u.Click(ID_HELP);
        EXPECT_EQ(u.As<CInnerDlg>().helpClicks, 1);
        EXPECT_EQ(u.Text(2001), u"Taro");
        u.SetText(2001, u"from inner");
        u.Ok();
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.innerResult, u"from inner");
}

TEST_F(DialogTest, BoundMembersAreTheControlsTheDialogAndDriverSee) {
    CTestDlg dlg;
    qel::test::ExpectDialog(100, [&](qel::test::DialogUser& u) {
        EXPECT_EQ(u.Control(1020), &dlg.m_cmbKind);
        EXPECT_EQ(dlg.m_cmbKind.m_hWnd, &dlg.m_cmbKind);
        EXPECT_EQ(dlg.m_cmbKind.added, 3);
        EXPECT_EQ(dlg.m_cmbKind.GetStyle() & CBS_TYPEMASK, CBS_DROPDOWNLIST);  // taken from the template
        EXPECT_EQ(u.Control(1030), &dlg.m_lstItems);
        EXPECT_EQ(u.Dialog().GetControlIndex(dlg.m_lstItems), 9);
        u.Ok();
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

// Binding a member of a class that does not fit the control is a
// programming error: it throws, and the dialog lets go of everything.
class CWrongBindDlg : public CDialog {
public:
    CWrongBindDlg() : CDialog(100) {}
    CListBox m_wrong;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, 1020, m_wrong); }
};

class CMissingControlDlg : public CDialog {
public:
    CMissingControlDlg() : CDialog(100) {}
    std::u16string m_str;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 4242, m_str); }
};

TEST_F(DialogTest, ExchangeWithAControlThatDoesNotFitThrows) {
    CWrongBindDlg wrong;
    EXPECT_THROW(wrong.DoModal(), CNotSupportedException);
    EXPECT_FALSE(wrong.IsOpen());
    EXPECT_EQ(wrong.m_wrong.m_hWnd, nullptr);
    EXPECT_EQ(AfxGetActiveDialog(), nullptr);
    CMissingControlDlg missing;
    EXPECT_THROW(missing.DoModal(), CNotSupportedException);
}

TEST_F(DialogTest, AMissingTemplateAnswersMinusOne) {
    CDialog dlg(4242);
    EXPECT_EQ(dlg.DoModal(), -1);
    ASSERT_FALSE(qel::test::Diagnostics().empty());
    EXPECT_EQ(qel::test::Diagnostics().back(), "qelfw: dialog template 4242 not found");
}

TEST_F(DialogTest, ADialogThatWasNotExpectedFailsTheTestAndIsCancelled) {
    CTestDlg dlg;
    INT_PTR result = 0;
    EXPECT_NONFATAL_FAILURE(result = dlg.DoModal(), "dialog 100 opened, but the next expectation is none");
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(DialogTest, ADialogThatNeverCameFailsTheTest) {
    qel::test::ExpectDialog(100, nullptr);
    EXPECT_NONFATAL_FAILURE(Driver().VerifyAndClear(), "expected dialog 100, which never opened");
}

// What a GUI back end relies on: every change reaches the observer.
class Recorder : public CDialogObserver {
public:
    std::vector<std::pair<int, QelChange>> seen;
    void OnDialogChanged(CDialog&, CWnd& wnd, QelChange what) override { seen.emplace_back(wnd.GetDlgCtrlID(), what); }
};

TEST_F(DialogTest, TheObserverSeesEveryChange) {
    CTestDlg dlg;
    Recorder rec;
    qel::test::ExpectDialog(100, [&](qel::test::DialogUser& u) {
        u.Dialog().SetObserver(&rec);
        u.SetText(1001, u"x");
        u.Click(1011);
        u.Select(1020, 0);
        u.Control(1050)->EnableWindow(FALSE);
        u.Ok();
    });
    dlg.DoModal();
    auto has = [&](int id, QelChange what) {
        return std::find(rec.seen.begin(), rec.seen.end(), std::make_pair(id, what)) != rec.seen.end();
    };
    EXPECT_TRUE(has(1001, QelChange::text));
    EXPECT_TRUE(has(1001, QelChange::editSelection));
    EXPECT_TRUE(has(1011, QelChange::focus));
    EXPECT_TRUE(has(1010, QelChange::check));
    EXPECT_TRUE(has(1011, QelChange::check));
    EXPECT_TRUE(has(1020, QelChange::selection));
    EXPECT_TRUE(has(1050, QelChange::enabled));
    EXPECT_TRUE(has(100, QelChange::ended));
}

TEST(MulDiv, RoundsHalfAwayFromZero) {
    EXPECT_EQ(MulDiv(50, 7, 4), 88);
    EXPECT_EQ(MulDiv(-50, 7, 4), -88);
    EXPECT_EQ(MulDiv(5, 13, 8), 8);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

}  // namespace
