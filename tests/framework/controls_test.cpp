// The controls on their own: entries, selection and item data of combo and
// list boxes (sorted and not, through member functions and messages), the
// edit's selection range and the button's check state.
#include "framework/controls.h"

#include <gtest/gtest.h>

namespace {

TEST(ComboBox, SelectionFollowsInsertedEntries) {
    CComboBox c;
    EXPECT_EQ(c.AddString(u"a"), 0);
    EXPECT_EQ(c.AddString(u"b"), 1);
    EXPECT_EQ(c.SetCurSel(1), 1);
    EXPECT_EQ(c.InsertString(0, u"z"), 0);  // InsertString puts it where asked
    EXPECT_EQ(c.GetCurSel(), 2);
    EXPECT_EQ(c.InsertString(9, u"x"), CB_ERR);
    EXPECT_EQ(c.SetCurSel(7), CB_ERR);
    EXPECT_EQ(c.GetCurSel(), -1);
    c.ResetContent();
    EXPECT_EQ(c.GetCount(), 0);
    c.AddString(u"a");
    c.SetCurSel(0);
    c.InsertString(0, u"z");  // at the selected entry: the selection moves with it
    EXPECT_EQ(c.GetCurSel(), 1);
}

TEST(ComboBox, FindStringIgnoresCaseAndWrapsAfterTheStart) {
    CComboBox c;
    for (const char16_t* s : {u"Apple", u"apricot", u"Banana", u"APPLE"}) c.AddString(s);
    EXPECT_EQ(c.FindString(-1, u"ap"), 0);
    EXPECT_EQ(c.FindString(0, u"ap"), 1);
    EXPECT_EQ(c.FindString(3, u"ap"), 0);  // wraps round
    EXPECT_EQ(c.FindString(-1, u"cherry"), CB_ERR);
    EXPECT_EQ(c.FindString(-1, u""), 0);  // every entry begins with nothing
}

TEST(ComboBox, ADropDownListShowsItsSelectionAsItsText) {
    CComboBox c;
    c.ModifyStyle(0, CBS_DROPDOWNLIST);
    c.AddString(u"one");
    c.SetWindowText(u"ignored");
    EXPECT_EQ(c.GetWindowText(), u"");
    c.SetCurSel(0);
    EXPECT_EQ(c.GetWindowText(), u"one");
    c.SetCurSel(-1);
    EXPECT_EQ(c.GetWindowText(), u"");
}

TEST(SortedLists, AddStringKeepsOrderIgnoringCaseButInsertStringDoesNot) {
    CComboBox c;
    c.ModifyStyle(0, CBS_SORT);
    for (const char16_t* s : {u"pear", u"Apple", u"orange"}) c.AddString(s);
    EXPECT_EQ(c.GetLBText(0), u"Apple");
    EXPECT_EQ(c.GetLBText(2), u"pear");
    EXPECT_EQ(c.InsertString(0, u"zz"), 0);
    CListBox l;
    l.ModifyStyle(0, LBS_SORT);
    l.AddString(u"b");
    EXPECT_EQ(l.AddString(u"A"), 0);
}

TEST(ListBox, EntriesItemDataAndSelection) {
    CListBox l;
    EXPECT_EQ(l.AddString(u"0064"), 0);
    EXPECT_EQ(l.AddString(u"0065"), 1);
    EXPECT_EQ(l.SetItemData(1, 101), 0);
    EXPECT_EQ(l.GetItemData(1), 101u);
    EXPECT_EQ(l.SetItemData(2, 1), LB_ERR);
    EXPECT_EQ(l.GetItemData(2), static_cast<DWORD_PTR>(LB_ERR));
    EXPECT_EQ(l.SetCurSel(1), 1);
    EXPECT_EQ(l.SetCurSel(-1), -1);  // clearing is not an error in a list box
    EXPECT_EQ(l.SetCurSel(2), LB_ERR);
    l.ResetContent();
    EXPECT_EQ(l.GetCount(), 0);
    EXPECT_EQ(l.GetCurSel(), -1);
}

TEST(Edit, SelectionIsClampedAndSetTextPutsTheCaretAtTheStart) {
    CEdit e;
    e.SetWindowText(u"hello");
    int s = -9, t = -9;
    e.SetSel(0, -1);
    e.GetSel(s, t);
    EXPECT_EQ(std::make_pair(s, t), std::make_pair(0, 5));
    e.SetSel(4, 2);
    e.GetSel(s, t);
    EXPECT_EQ(std::make_pair(s, t), std::make_pair(2, 4));
    e.SetSel(-1, 0);  // no selection; the caret stays at the end of the old one
    e.GetSel(s, t);
    EXPECT_EQ(std::make_pair(s, t), std::make_pair(4, 4));
    e.SendMessage(EM_SETSEL, 1, 99);
    EXPECT_EQ(e.SendMessage(EM_GETSEL), static_cast<LRESULT>(1 | (5 << 16)));
    e.SetWindowText(u"hi");
    e.GetSel(s, t);
    EXPECT_EQ(std::make_pair(s, t), std::make_pair(0, 0));
}

TEST(Button, CheckStateAndWindowBits) {
    CButton b;
    EXPECT_EQ(b.SendMessage(BM_GETCHECK), BST_UNCHECKED);
    b.SendMessage(BM_SETCHECK, BST_CHECKED);
    EXPECT_EQ(b.GetCheck(), BST_CHECKED);
    EXPECT_FALSE(b.EnableWindow(FALSE));  // was enabled
    EXPECT_TRUE(b.EnableWindow(TRUE));    // was disabled
    EXPECT_TRUE(b.ShowWindow(SW_HIDE));   // was visible
    EXPECT_FALSE(b.IsWindowVisible());
}

}  // namespace
