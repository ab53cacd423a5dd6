// CQelTorucaSetDlg driven as a user would: the lists and selections after
// initialisation, the version description, the URL check with its message
// and focus, the clock button, and the nested icon dialogs. Round trips
// through a record are in settings_edit_test.cpp.
#include "dialogs/setdlg.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "framework/codepage.h"
#include "dialogs/module_resources.h"
#include "tests/support/dialog_testing.h"
#include "toruca/torucautil.h"

namespace {

constexpr int kVersion = IDC_VERSION, kUrl = IDC_URL, kData1 = IDC_DATA1, kIpId = IDC_IPID, kExpires = IDC_EXPIRES,
              kDist = IDC_DIST, kLastModified = IDC_LASTMODIFIED, kCategoryRef = IDC_CATEGORY_REF,
              kUniqIconRef = IDC_UNIQICON_REF, kColor = IDC_COLOR, kUniqIconTitle = IDC_UNIQICON_TITLE, kNow = IDC_NOW,
              kVersionText = IDC_VERSION_TEXT;

const std::u16string kDescriptions[] = {
    u"FOMA902iシリーズ以降のトルカ対応端末で利用可能なトルカデータのバージョンです。",
    u"FOMA902iシリーズ以降のトルカ対応端末で利用可能なトルカデータのバージョンです。 Ver "
    u"1.0で指定可能な内容に加えて、IP-ID, カナＩＤ，色ＩＤ，有効期限の指定が可能です。",
    u"FOMA903iシリーズ以降のトルカ対応端末で利用可能なトルカデータのバージョンです。 Ver "
    u"1.1で指定可能な内容に加えて、独自カテゴリアイコン，再配布・更新識別子の指定が可能です。",
    u"2008年度下期モデル以降のトルカ対応端末で利用可能なトルカデータのバージョンです。 Ver "
    u"2.0で指定可能な内容に加えて、最終更新日時の指定が可能です。",
};
const std::u16string kBadUrl = u"URLは「http://」で始まる半角英数字記号です。";

class SetDlgTest : public qel::test::DialogTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(qel::dialogs::RegisterModuleResources()); }
    static void TearDownTestSuite() { qel::dialogs::UnregisterModuleResources(); }
};

// A dialog run without EditSettings opens with its own defaults: version
// "1.0", colour 1, no Dist entry (index 4) and category 64.
TEST_F(SetDlgTest, DefaultsOfADialogRunOnItsOwn) {
    qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [](qel::test::DialogUser& u) {
        EXPECT_EQ(u.Items(kVersion), (std::vector<std::u16string>{u"1.0", u"1.1", u"2.0", u"2.1"}));
        EXPECT_EQ(u.Items(kColor),
                  (std::vector<std::u16string>{u"赤", u"橙", u"黄", u"緑", u"水", u"青", u"紫", u"桃", u"茶", u"黒"}));
        EXPECT_EQ(u.Items(kDist), (std::vector<std::u16string>{u"再配布不可かつ更新不可", u"再配布不可かつ更新可",
                                                               u"再配布可かつ更新不可", u"再配布可かつ更新可"}));
        EXPECT_EQ(u.CurSel(kVersion), 0);
        EXPECT_EQ(u.Text(kVersionText), kDescriptions[0]);
        EXPECT_EQ(u.CurSel(kColor), 1);
        EXPECT_EQ(u.CurSel(kDist), -1);  // index 4 is past the four labels
        qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& c) {
            ASSERT_GE(c.CurSel(IDC_CODES), 0);
            EXPECT_EQ(c.ItemText(IDC_CODES, c.CurSel(IDC_CODES)), u"0040");  // code 64
            c.Cancel();
        });
        u.Click(kCategoryRef);
        u.Ok();
    });
    CQelTorucaSetDlg dlg(nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strVersion, u"1.0");
    EXPECT_EQ(dlg.m_nColorIndex, 1);
    EXPECT_EQ(dlg.m_nDistIndex, -1);
    EXPECT_EQ(dlg.m_nCategory, 64);
}

// Each version shows its description and changes nothing else: every
// control stays enabled.
TEST_F(SetDlgTest, EachVersionShowsItsDescriptionOnly) {
    qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [](qel::test::DialogUser& u) {
        EXPECT_EQ(u.Text(kVersionText), kDescriptions[3]);
        for (int i : {0, 1, 2, 3, 0}) {
            u.Select(kVersion, i);
            EXPECT_EQ(u.Text(kVersionText), kDescriptions[i]) << "version index " << i;
            for (int id : {kIpId, IDC_SORTID, kExpires, kDist, kLastModified, kNow, kColor, kUniqIconRef, kCategoryRef})
                EXPECT_TRUE(u.Enabled(id)) << "control " << id;
        }
        u.Ok();
    });
    CQelTorucaSetDlg dlg(nullptr);
    dlg.m_strVersion = u"2.1";
    dlg.m_strLastModified = u"0808071904";
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strVersion, u"1.0");
    EXPECT_EQ(dlg.m_strLastModified, u"0808071904");
}

TEST_F(SetDlgTest, TheUrlMustBeEmptyOrBeginWithHttp) {
    struct Case {
        std::u16string url;
        bool accepted;
    };
    const Case cases[] = {
        {u"", true},
        {u"http://", true},
        {u"HTTP://EXAMPLE.COM/", true},
        {u"hTtP://x", true},
        {u"https://example.com/", false},
        {u"http:/", false},
        {u"www.example.com", false},
        {u" http://example.com/", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qel::framework::WideToUtf8(c.url));
        qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [&](qel::test::DialogUser& u) {
            u.Click(kNow);  // the focus elsewhere, so that the move shows
            u.SetText(kUrl, c.url);
            if (c.accepted) {
                u.Ok();
                EXPECT_FALSE(u.IsOpen());
                return;
            }
            qel::test::ExpectMessageBox(kBadUrl, 0x10u);
            u.Ok();
            ASSERT_TRUE(u.IsOpen());
            EXPECT_EQ(u.Focus(), kUrl);
            EXPECT_EQ(u.EditSel(kUrl), (std::pair<int, int>(0, static_cast<int>(c.url.size()))));
            u.SetText(kUrl, u"http://example.com/fixed");
            u.Ok();
        });
        CQelTorucaSetDlg dlg(nullptr);
        ASSERT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(dlg.m_strUrl, c.accepted ? c.url : u"http://example.com/fixed");
    }
    for (const qel::test::SeenMessageBox& box : qel::test::MessageBoxes())
        EXPECT_EQ(box.activeDialog, IDD_TORUCA_SETTINGS);
}

// "現在日時(&W)" puts the stamp of the current time into the LM edit and
// keeps what was typed into the other edits.
TEST_F(SetDlgTest, NowReplacesOnlyTheLastModifiedEdit) {
    std::u16string before, after;
    qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [&](qel::test::DialogUser& u) {
        u.SetText(kIpId, u"5555");
        u.SetText(kData1, u"見出し");
        u.SetText(kExpires, u"991231");
        u.SetText(kLastModified, u"typed");
        u.Select(kColor, 7);
        before = CQelTorucaUtil().GetDateStamp(std::time(nullptr));
        u.Click(kNow);
        after = CQelTorucaUtil().GetDateStamp(std::time(nullptr));
        const std::u16string stamp = u.Text(kLastModified);
        EXPECT_EQ(stamp.size(), 10u);
        EXPECT_TRUE(stamp == before || stamp == after);
        EXPECT_EQ(u.Text(kIpId), u"5555");
        EXPECT_EQ(u.Text(kData1), u"見出し");
        EXPECT_EQ(u.Text(kExpires), u"991231");
        EXPECT_EQ(u.CurSel(kColor), 7);
        EXPECT_EQ(u.CurSel(kVersion), 2);
        u.Ok();
    });
    CQelTorucaSetDlg dlg(nullptr);
    dlg.m_strVersion = u"2.0";
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(dlg.m_strLastModified == before || dlg.m_strLastModified == after);
    EXPECT_EQ(dlg.m_strIpId, u"5555");
    EXPECT_EQ(dlg.m_nColorIndex, 7);
}

// A version that no entry begins with stays unselected through the
// handlers' exchanges (the clock, the unique icon), so it comes back empty.
TEST_F(SetDlgTest, AnUnknownVersionStaysUnselectedThroughTheHandlers) {
    qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [](qel::test::DialogUser& u) {
        EXPECT_EQ(u.CurSel(kVersion), -1);
        EXPECT_EQ(u.Text(kVersionText), u"");
        u.Click(kNow);
        EXPECT_EQ(u.CurSel(kVersion), -1);
        qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [](qel::test::DialogUser& i) { i.Ok(); });
        u.Click(kUniqIconRef);
        EXPECT_EQ(u.CurSel(kVersion), -1);
        EXPECT_EQ(u.Text(kVersionText), u"");
        u.Ok();
    });
    CQelTorucaSetDlg dlg(nullptr);
    dlg.m_strVersion = u"3.0";
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strVersion, u"");
}

// The unique icon dialog opens with the members and, after OK, its title
// shows in the read-only edit; after Cancel nothing changes.
TEST_F(SetDlgTest, TheUniqueIconDialogWorksOnTheMembers) {
    const std::u16string icon = WriteFile("icon.gif", "GIF89a");
    qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [&](qel::test::DialogUser& u) {
        EXPECT_EQ(u.Text(kUniqIconTitle), u"");
        u.SetText(kIpId, u"1234");
        qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [&](qel::test::DialogUser& i) {
            EXPECT_EQ(i.Text(IDC_UNIQDLG_FILE), u"");
            i.SetText(IDC_UNIQDLG_FILE, icon);
            i.SetText(IDC_UNIQDLG_TITLE, u"独自");
            i.Ok();
        });
        u.Click(kUniqIconRef);
        EXPECT_EQ(u.Text(kUniqIconTitle), u"独自");
        EXPECT_EQ(u.Text(kIpId), u"1234");
        qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [&](qel::test::DialogUser& i) {
            EXPECT_EQ(i.Text(IDC_UNIQDLG_FILE), icon);
            EXPECT_EQ(i.Text(IDC_UNIQDLG_TITLE), u"独自");
            i.SetText(IDC_UNIQDLG_FILE, u"");
            i.Cancel();
        });
        u.Click(kUniqIconRef);
        EXPECT_EQ(u.Text(kUniqIconTitle), u"独自");
        u.Ok();
    });
    CQelTorucaSetDlg dlg(nullptr);
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strUniqIconFile, icon);
    EXPECT_EQ(dlg.m_strUniqIconTitle, u"独自");
    EXPECT_EQ(dlg.m_strIpId, u"1234");
}

TEST_F(SetDlgTest, TheCategoryDialogChangesTheCategoryOnlyAfterOk) {
    qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [](qel::test::DialogUser& u) {
        qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& c) {
            c.Click(IDC_NO_ICON);
            c.Cancel();
        });
        u.Click(kCategoryRef);
        EXPECT_EQ(u.As<CQelTorucaSetDlg>().m_nCategory, 251);
        qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& c) {
            EXPECT_EQ(c.CurSel(IDC_GENRE), 0);  // グルメ
            c.Click(IDC_NO_ICON);
            c.Ok();
        });
        u.Click(kCategoryRef);
        u.Ok();
    });
    CQelTorucaSetDlg dlg(nullptr);
    dlg.m_nCategory = 251;
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_nCategory, 0);
}

}  // namespace
