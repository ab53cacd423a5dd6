// The host's combo box: AddString with its item data and flags, the
// drop-down width that fits the longest entry, and binding to a template
// combo as the module's dialogs do.
#include "host/combobox.h"

#include <gtest/gtest.h>

#include "tests/support/dialog_testing.h"

namespace {

TEST(QelComboBoxEx, AddStringAnswersTheIndexAndKeepsItemData) {
    CQelComboBoxEx box(false, false);
    EXPECT_EQ(box.AddString(u"1.0", 0, 0), 0);
    EXPECT_EQ(box.AddString(u"1.1", 7, 0), 1);
    EXPECT_EQ(box.AddString(u"1.0", 0, 0), 2);  // duplicates are allowed by default
    EXPECT_EQ(box.GetItemData(1), 7u);
    CQelComboBoxEx unique(false, true);
    EXPECT_EQ(unique.AddString(u"a", 0, 0), 0);
    EXPECT_LT(unique.AddString(u"a", 0, 0), 0);
    EXPECT_EQ(unique.GetCount(), 1);
}

TEST(QelComboBoxEx, DroppedWidthFitsTheLongestEntry) {
    CQelComboBoxEx box(false, false);
    // Unbound: the default base units (7 x 13); the box itself is 0 wide.
    box.AdjustDroppedWidth();
    EXPECT_EQ(box.GetDroppedWidth(), 0);
    box.AddString(u"abc", 0, 0);
    box.AddString(u"全て", 0, 0);  // two full-width characters: 4 base units
    EXPECT_EQ(box.EstimateTextWidth(u"abc"), 21);
    EXPECT_EQ(box.EstimateTextWidth(u"全て"), 28);
    EXPECT_EQ(box.EstimateTextWidth(u"ｱﾟ"), 14);  // half-width katakana
    box.AdjustDroppedWidth();
    EXPECT_EQ(box.GetDroppedWidth(), 28 + 17 + 14);
    CQelComboBoxEx automatic(true, false);
    automatic.AddString(u"abcdef", 0, 0);
    EXPECT_EQ(automatic.GetDroppedWidth(), 42 + 17 + 14);
}

const char kScript[] = R"rc(
80 DIALOGEX 0, 0, 100, 100
BEGIN
    COMBOBOX 801,5,5,60,100,CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP
END
)rc";

class CComboDlg : public CDialog {
public:
    CComboDlg() : CDialog(80), m_cmb(false, false) {}
    CQelComboBoxEx m_cmb;
    std::u16string m_str = u"l";

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, 801, m_cmb);
        DDX_CBString(pDX, 801, m_str);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_cmb.ResetContent();
        m_cmb.AddString(u"short", 0, 0);
        m_cmb.AddString(u"a much longer entry", 0, 0);
        m_cmb.AdjustDroppedWidth();
        UpdateData(FALSE);
        return TRUE;
    }
};

class QelComboBoxExBound : public qel::test::DialogTest {
protected:
    qel::test::ScopedResourceScript m_rc{"combobox_test", kScript};
};

TEST_F(QelComboBoxExBound, TheHostClassTakesTheTemplateCombosPlace) {
    CComboDlg dlg;
    qel::test::ExpectDialog(80, [&](qel::test::DialogUser& u) {
        EXPECT_EQ(u.Control(801), &dlg.m_cmb);
        EXPECT_EQ(u.Items(801), (std::vector<std::u16string>{u"short", u"a much longer entry"}));
        EXPECT_EQ(u.CurSel(801), -1);  // no entry begins with "l"
        // 19 half-width characters, 7 pixels each, plus the margin; wider than the box (105 px).
        EXPECT_EQ(dlg.m_cmb.GetDroppedWidth(), 19 * 7 + 17 + 14);
        u.Choose(801, u"short");
        u.Ok();
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_str, u"short");
}

}  // namespace
