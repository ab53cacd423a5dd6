// CQelTorucaUniqIconDlg driven as a user would: OK with an empty, a missing
// and an existing file; browsing with the host file dialog, where each browse
// starts and what a choice or a cancel leaves in the file edit.
#include "dialogs/uniqicondlg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "framework/codepage.h"
#include "dialogs/module_resources.h"
#include "tests/support/dialog_testing.h"

namespace {

constexpr int kFile = IDC_UNIQDLG_FILE, kTitle = IDC_UNIQDLG_TITLE, kBrowse = IDC_UNIQICON_REF;

class UniqIconDlgTest : public qel::test::DialogTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(qel::dialogs::RegisterModuleResources()); }
    static void TearDownTestSuite() { qel::dialogs::UnregisterModuleResources(); }

    // Creates dir()/name (and its folders) and answers its canonical wide path.
    std::u16string MakeFile(const std::string& name) const {
        std::filesystem::create_directories(path(name).parent_path());
        WriteFile(name, "GIF89a");
        return qel::framework::PathFromNative(std::filesystem::canonical(path(name)).string());
    }
    std::u16string Folder(const std::string& name) const {
        return qel::framework::PathFromNative(std::filesystem::canonical(path(name)).parent_path().string());
    }
};

TEST_F(UniqIconDlgTest, AnEmptyFileRemovesTheIconTitleIncluded) {
    qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [](qel::test::DialogUser& u) {
        EXPECT_EQ(u.Text(kTitle), u"old title");
        u.SetText(kFile, u"");
        u.Ok();
    });
    CQelTorucaUniqIconDlg dlg(nullptr);
    dlg.m_strFile = u"/no/such/icon.gif";
    dlg.m_strTitle = u"old title";
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strFile, u"");
    EXPECT_EQ(dlg.m_strTitle, u"");
}

TEST_F(UniqIconDlgTest, AMissingFileIsRefusedWithTheFileEditSelected) {
    const std::u16string icon = MakeFile("icon.gif");
    const std::u16string missing = wpath("missing.gif");
    qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [&](qel::test::DialogUser& u) {
        u.SetText(kFile, missing);
        u.SetText(kTitle, u"タイトル");
        qel::test::ExpectMessageBox(u"ファイルがありません。", 0x10u);
        u.Ok();
        ASSERT_TRUE(u.IsOpen());
        EXPECT_EQ(u.Focus(), kFile);
        EXPECT_EQ(u.EditSel(kFile), (std::pair<int, int>(0, static_cast<int>(missing.size()))));
        u.SetText(kFile, icon);
        u.Ok();
    });
    CQelTorucaUniqIconDlg dlg(nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strFile, icon);
    EXPECT_EQ(dlg.m_strTitle, u"タイトル");
    ASSERT_EQ(qel::test::MessageBoxes().size(), 1u);
    EXPECT_EQ(qel::test::MessageBoxes()[0].activeDialog, IDD_TORUCA_UNIQICON);
}

TEST_F(UniqIconDlgTest, AnExistingFileWithAnEmptyTitleIsAccepted) {
    const std::u16string icon = MakeFile("icon.gif");
    qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [](qel::test::DialogUser& u) { u.Ok(); });
    CQelTorucaUniqIconDlg dlg(nullptr);
    dlg.m_strFile = icon;
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strFile, icon);
    EXPECT_EQ(dlg.m_strTitle, u"");
}

// The first browse starts in the opening file's folder; after a choice the
// next one starts in the chosen file's folder, even when another path was
// typed meanwhile. A cancelled browse keeps the typed path.
TEST_F(UniqIconDlgTest, EachBrowseStartsWhereTheLastChoiceWas) {
    const std::u16string first = MakeFile("a/first.gif");
    const std::u16string chosen = MakeFile("b/chosen.png");
    const std::u16string typed = wpath("c/typed.gif");
    qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [&](qel::test::DialogUser& u) {
        qel::test::ExpectFileDialog([&](qel::test::FileDialogUser& f) {
            EXPECT_EQ(f.InitialDir(), Folder("a/first.gif"));
            EXPECT_TRUE(f.Dialog().m_bOpenFileDialog);
            EXPECT_EQ(f.Dialog().m_dwFlags, 0x801800u);
            f.SetText(u"../b/chosen.png");
            f.Ok();
        });
        u.Click(kBrowse);
        EXPECT_EQ(u.Text(kFile), chosen);
        EXPECT_EQ(u.Text(kTitle), u"title");

        u.SetText(kFile, typed);
        qel::test::ExpectFileDialog([&](qel::test::FileDialogUser& f) {
            EXPECT_EQ(f.InitialDir(), Folder("b/chosen.png"));
            f.Cancel();
        });
        u.Click(kBrowse);
        EXPECT_EQ(u.Text(kFile), typed);
        u.Cancel();
    });
    CQelTorucaUniqIconDlg dlg(nullptr);
    dlg.m_strFile = first;
    dlg.m_strTitle = u"title";
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(UniqIconDlgTest, AFirstBrowseWithoutFileStartsWithoutFolder) {
    const std::u16string icon = MakeFile("icon.gif");
    qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [&](qel::test::DialogUser& u) {
        qel::test::ExpectFileDialog([&](qel::test::FileDialogUser& f) {
            EXPECT_EQ(f.InitialDir(), u"");
            f.SetText(icon);
            f.Ok();
        });
        u.Click(kBrowse);
        u.Ok();
    });
    CQelTorucaUniqIconDlg dlg(nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strFile, icon);
    EXPECT_EQ(dlg.m_strFolder, Folder("icon.gif"));
}

// A chosen path longer than the long-path buffer is kept whole, not cut.
TEST_F(UniqIconDlgTest, AChosenPathLongerThanTheBufferIsKeptWhole) {
    std::string name;
    for (int i = 0; i < 5; ++i) name += std::string(220, static_cast<char>('a' + i)) + "/";
    name += "icon.gif";
    const std::u16string icon = MakeFile(name);
    ASSERT_GT(icon.size(), 1024u);
    qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [&](qel::test::DialogUser& u) {
        qel::test::ExpectFileDialog([&](qel::test::FileDialogUser& f) {
            f.SetText(icon);
            f.Ok();
        });
        u.Click(kBrowse);
        u.Ok();
    });
    CQelTorucaUniqIconDlg dlg(nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strFile, icon);
}

}  // namespace
