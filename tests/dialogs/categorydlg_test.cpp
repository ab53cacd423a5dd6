// CQelTorucaCategoryDlg driven as a user would: the genre and entry selected
// for the opening code (0, a listed code, an unlisted one), the radio buttons
// enabling and disabling the genre controls, refilling on a genre change, and
// the code that OK answers.
#include "dialogs/categorydlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/module_resources.h"
#include "tests/support/dialog_testing.h"

namespace {

constexpr int kIcon = IDC_ICON, kNoIcon = IDC_NO_ICON, kGenre = IDC_GENRE, kList = IDC_CODES, kLabel = IDC_GENRE_LABEL;

class CategoryDlgTest : public qel::test::DialogTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(qel::dialogs::RegisterModuleResources()); }
    static void TearDownTestSuite() { qel::dialogs::UnregisterModuleResources(); }

    static void ExpectGenreControlsEnabled(qel::test::DialogUser& u, bool enabled) {
        for (int id : {kLabel, kGenre, kList}) EXPECT_EQ(u.Enabled(id), enabled) << "control " << id;
    }
    // The list shows every code, genre 0 first, with nothing selected.
    static void ExpectAllCodesNoneSelected(qel::test::DialogUser& u) {
        ASSERT_EQ(u.Count(kList), 246);
        EXPECT_EQ(u.ItemText(kList, 0), u"0032");
        EXPECT_EQ(u.ItemData(kList, 0), 50u);
        EXPECT_EQ(u.ItemText(kList, 245), u"00e0");
        EXPECT_EQ(u.ItemData(kList, 245), 224u);
        EXPECT_EQ(u.CurSel(kList), -1);
    }
};

TEST_F(CategoryDlgTest, GenreComboListsTheElevenGenresAllLast) {
    qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& u) {
        const std::vector<std::u16string> expected = {u"グルメ",
                                                      u"生活／サービス",
                                                      u"コンビニ／スーパー／食品",
                                                      u"レジャー／宿泊／アミューズメント",
                                                      u"ファッション／アクセサリー／雑貨／インテリア",
                                                      u"ビューティ＆リラクゼーション",
                                                      u"ゲーム／占い",
                                                      u"趣味",
                                                      u"教育／資格",
                                                      u"その他",
                                                      u"全て"};
        EXPECT_EQ(u.Items(kGenre), expected);
        u.Ok();
    });
    CQelTorucaCategoryDlg dlg(100, nullptr);
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST_F(CategoryDlgTest, OpenedWithNoIconShowsAllCodesDisabledAndAnswersZero) {
    qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& u) {
        EXPECT_TRUE(u.Checked(kNoIcon));
        EXPECT_FALSE(u.Checked(kIcon));
        ExpectGenreControlsEnabled(u, false);
        EXPECT_EQ(u.CurSel(kGenre), 10);
        EXPECT_EQ(u.Text(kGenre), u"全て");
        ExpectAllCodesNoneSelected(u);
        u.Ok();
    });
    CQelTorucaCategoryDlg dlg(0, nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetCategory(), 0);
}

TEST_F(CategoryDlgTest, OpenedWithAListedCodeSelectsItsGenreAndEntry) {
    qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& u) {
        EXPECT_TRUE(u.Checked(kIcon));
        EXPECT_FALSE(u.Checked(kNoIcon));
        ExpectGenreControlsEnabled(u, true);
        EXPECT_EQ(u.CurSel(kGenre), 1);
        EXPECT_EQ(u.Text(kGenre), u"生活／サービス");
        ASSERT_EQ(u.Count(kList), 32);
        EXPECT_EQ(u.ItemText(kList, 0), u"00aa");  // 170
        const int sel = u.CurSel(kList);
        ASSERT_GE(sel, 0);
        EXPECT_EQ(u.ItemText(kList, sel), u"0064");  // hex of 100
        EXPECT_EQ(u.ItemData(kList, sel), 100u);
        u.Ok();
    });
    CQelTorucaCategoryDlg dlg(100, nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetCategory(), 100);
}

TEST_F(CategoryDlgTest, OpenedWithAnUnlistedCodeShowsAllAndKeepsTheCode) {
    for (int code : {108, 253, -1}) {
        SCOPED_TRACE(code);
        qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& u) {
            EXPECT_TRUE(u.Checked(kIcon));
            ExpectGenreControlsEnabled(u, true);
            EXPECT_EQ(u.CurSel(kGenre), 10);
            ExpectAllCodesNoneSelected(u);
            u.Ok();
        });
        CQelTorucaCategoryDlg dlg(code, nullptr);
        ASSERT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(dlg.GetCategory(), code);
    }
}

TEST_F(CategoryDlgTest, NoIconDisablesTheGenreControlsAndWinsOverTheList) {
    qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& u) {
        u.Click(kNoIcon);
        ExpectGenreControlsEnabled(u, false);
        EXPECT_GE(u.CurSel(kList), 0);  // the entry stays selected, disabled
        u.Click(kIcon);
        ExpectGenreControlsEnabled(u, true);
        u.Click(kNoIcon);
        u.Ok();
    });
    CQelTorucaCategoryDlg dlg(100, nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetCategory(), 0);
}

TEST_F(CategoryDlgTest, ChoosingAnIconAfterOpeningWithNone) {
    qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& u) {
        u.Click(kIcon);
        EXPECT_TRUE(u.Enabled(kList));
        u.Select(kGenre, 0);  // グルメ: 50, 54, 251, ...
        ASSERT_EQ(u.Count(kList), 11);
        EXPECT_EQ(u.ItemText(kList, 2), u"00fb");
        u.Select(kList, 2);
        u.Ok();
    });
    CQelTorucaCategoryDlg dlg(0, nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetCategory(), 251);
}

TEST_F(CategoryDlgTest, AGenreChangeRefillsAndReselectsOnlyTheOpeningCode) {
    qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& u) {
        u.Select(kGenre, 8);  // 教育／資格: 169, 227, 151, 223, 235
        EXPECT_EQ(u.Items(kList), (std::vector<std::u16string>{u"00a9", u"00e3", u"0097", u"00df", u"00eb"}));
        EXPECT_EQ(u.CurSel(kList), -1);
        u.Select(kList, 3);
        // Back in the opening genre the opening code is selected again, not
        // the entry clicked meanwhile.
        u.Select(kGenre, 1);
        ASSERT_GE(u.CurSel(kList), 0);
        EXPECT_EQ(u.ItemData(kList, u.CurSel(kList)), 100u);
        // "全て" holds the opening code too.
        u.Select(kGenre, 10);
        EXPECT_EQ(u.Count(kList), 246);
        EXPECT_EQ(u.ItemText(kList, u.CurSel(kList)), u"0064");
        u.Select(kGenre, 8);
        u.Select(kList, 3);
        u.Ok();
    });
    CQelTorucaCategoryDlg dlg(100, nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetCategory(), 223);
}

// A change notification with no genre selected falls back to "全て".
TEST_F(CategoryDlgTest, AGenreChangeWithoutSelectionShowsAll) {
    qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& u) {
        auto& dlg = u.As<CQelTorucaCategoryDlg>();
        dlg.m_cmbGenre.SetCurSel(-1);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(kGenre, CBN_SELCHANGE), reinterpret_cast<LPARAM>(&dlg.m_cmbGenre));
        EXPECT_EQ(u.CurSel(kGenre), 10);
        EXPECT_EQ(u.Count(kList), 246);
        u.Ok();
    });
    CQelTorucaCategoryDlg dlg(100, nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetCategory(), 100);
}

TEST_F(CategoryDlgTest, CancelEndsWithIdCancel) {
    qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& u) {
        u.Click(kNoIcon);
        u.Cancel();
    });
    CQelTorucaCategoryDlg dlg(100, nullptr);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

}  // namespace
