// User actions on a dialog: what each kind of control takes, what it
// refuses, and the notifications it sends.
#include "framework/useraction.h"

#include <gtest/gtest.h>

#include "tests/support/dialog_testing.h"

namespace {

const char kScript[] = R"rc(
70 DIALOGEX 0, 0, 100, 100
BEGIN
    GROUPBOX "g",IDC_STATIC,0,0,1,1
    AUTOCHECKBOX "check",701,0,0,1,1
    CHECKBOX "plain",702,0,0,1,1
    EDITTEXT 703,0,0,1,1,ES_MULTILINE
    COMBOBOX 704,0,0,1,1,CBS_DROPDOWNLIST
    LISTBOX 705,0,0,1,1,NOT LBS_NOTIFY
    PUSHBUTTON "hidden",706,0,0,1,1,NOT WS_VISIBLE
END
)rc";

class CActionsDlg : public CDialog {
public:
    CActionsDlg() : CDialog(70) {}
    std::vector<WPARAM> commands;

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        commands.push_back(wParam);
        return CDialog::OnCommand(wParam, lParam);
    }
};

class UserAction : public qel::test::DialogTest {
protected:
    qel::test::ScopedResourceScript m_rc{"useraction_test", kScript};
};

TEST_F(UserAction, EachKindTakesItsOwnActions) {
    CActionsDlg dlg;
    qel::test::ExpectDialog(70, [&](qel::test::DialogUser& u) {
        CDialog& d = u.Dialog();
        EXPECT_EQ(qel::framework::UserClick(d, *d.GetControls()[0]), QelUserResult::wrongKind);  // a group box
        u.Click(701);
        EXPECT_TRUE(u.Checked(701));
        u.Click(701);
        EXPECT_FALSE(u.Checked(701));
        u.Click(702);  // a plain check box only tells its owner
        EXPECT_FALSE(u.Checked(702));
        EXPECT_EQ(u.TryClick(706), QelUserResult::unavailable);
        EXPECT_EQ(u.TryClick(999), QelUserResult::noSuchControl);
        EXPECT_EQ(u.TrySetText(704, u"x"), QelUserResult::wrongKind);
        u.SetText(703, u"a\r\nb\nc");  // line breaks already CR LF stay as they are
        EXPECT_EQ(u.Text(703), u"a\r\nb\r\nc");
        EXPECT_EQ(u.EditSel(703), std::make_pair(7, 7));
        EXPECT_EQ(qel::framework::UserChoose(d, 704, u"On"), QelUserResult::noSuchEntry);  // exact text only
        EXPECT_EQ(u.TrySelect(705, 0), QelUserResult::noSuchEntry);
        u.Ok();
        EXPECT_EQ(qel::framework::UserOk(d), QelUserResult::unavailable);
        EXPECT_EQ(u.TryClick(701), QelUserResult::unavailable);
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.commands, (std::vector<WPARAM>{MAKEWPARAM(701, BN_CLICKED), MAKEWPARAM(701, BN_CLICKED),
                                                 MAKEWPARAM(702, BN_CLICKED), MAKEWPARAM(703, EN_CHANGE),
                                                 MAKEWPARAM(IDOK, BN_CLICKED)}));
}

TEST_F(UserAction, AListBoxWithoutNotifyStaysSilent) {
    CActionsDlg dlg;
    qel::test::ExpectDialog(70, [&](qel::test::DialogUser& u) {
        auto* list = static_cast<CListBox*>(u.Control(705));
        list->AddString(u"one");
        u.DoubleClick(705, 0);
        EXPECT_EQ(u.CurSel(705), 0);
        EXPECT_EQ(u.Focus(), 705);
        u.Cancel();
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.commands, (std::vector<WPARAM>{MAKEWPARAM(IDCANCEL, BN_CLICKED)}));
}

}  // namespace
