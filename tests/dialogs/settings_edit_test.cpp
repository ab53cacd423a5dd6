// EditSettings end to end: the record's values shown in the
// settings dialog, the values typed there reaching the record after OK (data
// lines as code page 932 bytes), the coded fields' edge values, and Cancel
// leaving the record untouched whatever happened in the dialog.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "dialogs/resource.h"
#include "dialogs/settings_edit.h"
#include "framework/codepage.h"
#include "model/tpjfile.h"
#include "dialogs/module_resources.h"
#include "tests/support/dialog_testing.h"

namespace {

constexpr int kVersion = IDC_VERSION, kUrl = IDC_URL, kData1 = IDC_DATA1, kData2 = IDC_DATA2, kData3 = IDC_DATA3,
              kIpId = IDC_IPID, kSortId = IDC_SORTID, kExpires = IDC_EXPIRES, kDist = IDC_DIST,
              kLastModified = IDC_LASTMODIFIED, kCategoryRef = IDC_CATEGORY_REF, kUniqIconRef = IDC_UNIQICON_REF,
              kColor = IDC_COLOR, kUniqIconTitle = IDC_UNIQICON_TITLE, kNow = IDC_NOW, kVersionText = IDC_VERSION_TEXT;

class SettingsEditTest : public qel::test::DialogTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(qel::dialogs::RegisterModuleResources()); }
    static void TearDownTestSuite() { qel::dialogs::UnregisterModuleResources(); }
};

// Every field of the record, for comparing a record before and after.
std::string Fields(const CQelTpjFile& r) {
    auto u8 = [](const std::u16string& s) { return qel::framework::WideToUtf8(s); };
    return u8(r.m_strVersion) + "|" + u8(r.m_strUrl) + "|" + std::to_string(r.m_nCategory) + "|" +
           std::to_string(r.m_nDist) + "|" + std::to_string(r.m_nColorId) + "|" + u8(r.m_strIpId) + "|" +
           u8(r.m_strSortId) + "|" + u8(r.m_strExpires) + "|" + u8(r.m_strLastModified) + "|" + r.m_strData1 + "|" +
           r.m_strData2 + "|" + r.m_strData3 + "|" + u8(r.m_uniqueIcon.m_strPath) + "|" + u8(r.m_uniqueIcon.m_strId);
}

TEST_F(SettingsEditTest, TheDialogOpensWithTheRecordsValues) {
    CQelTpjFile record(1);
    record.m_strData1 = "\x93\x8c\x8b\x9e";  // 東京 in code page 932
    record.m_strData2 = "a\r\nb";
    record.SetUniqueIcon(u"/icons/own.gif", u"自分");
    qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [](qel::test::DialogUser& u) {
        EXPECT_EQ(u.Text(kVersion), u"2.1");
        EXPECT_EQ(u.CurSel(kVersion), 3);
        EXPECT_EQ(u.Text(kVersionText).substr(0, 8), u"2008年度下期");
        EXPECT_EQ(u.Text(kUrl), kDefaultTorucaUrl);
        EXPECT_EQ(u.Text(kData1), u"東京");
        EXPECT_EQ(u.Text(kData2), u"a\r\nb");
        EXPECT_EQ(u.Text(kData3), u"data3");
        EXPECT_EQ(u.Text(kIpId), u"9999");
        EXPECT_EQ(u.Text(kSortId), u"ワン");
        EXPECT_EQ(u.Text(kExpires), u"101231");
        EXPECT_EQ(u.Text(kLastModified), u"0808071904");
        EXPECT_EQ(u.CurSel(kDist), 3);
        EXPECT_EQ(u.Text(kDist), u"再配布可かつ更新可");
        EXPECT_EQ(u.CurSel(kColor), 1);
        EXPECT_EQ(u.Text(kColor), u"橙");
        EXPECT_EQ(u.Text(kUniqIconTitle), u"自分");
        u.Ok();
    });
    EXPECT_TRUE(qel::dialogs::EditSettings(record, nullptr));
}

TEST_F(SettingsEditTest, EveryValueTypedReachesTheRecordAfterOk) {
    const std::u16string icon = WriteFile("icon.png", "\x89PNG");
    CQelTpjFile record(1);
    qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [&](qel::test::DialogUser& u) {
        u.Select(kVersion, 1);
        u.SetText(kUrl, u"HTTP://Example.COM/card.trc");
        u.SetText(kData1, u"東京");
        u.SetText(kData2, u"一行目\r\n二行目");  // Ctrl+Enter in the multi-line edit
        EXPECT_EQ(u.Text(kData2), u"一行目\r\n二行目");
        u.SetText(kData3, u"ｶﾅ & more");
        u.SetText(kIpId, u"0042");
        u.SetText(kSortId, u"トウキョウ");
        u.SetText(kExpires, u"301231");
        u.SetText(kLastModified, u"2501020304");
        u.Select(kDist, 0);
        u.Select(kColor, 9);
        qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& c) {
            c.Select(IDC_GENRE, 8);
            c.Select(IDC_CODES, 3);  // 00df
            c.Ok();
        });
        u.Click(kCategoryRef);
        qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [&](qel::test::DialogUser& i) {
            i.SetText(IDC_UNIQDLG_FILE, icon);
            i.SetText(IDC_UNIQDLG_TITLE, u"独自アイコン");
            i.Ok();
        });
        u.Click(kUniqIconRef);
        u.Ok();
    });
    ASSERT_TRUE(qel::dialogs::EditSettings(record, nullptr));
    EXPECT_EQ(record.GetVersion(), u"1.1");
    EXPECT_EQ(record.GetUrl(), u"HTTP://Example.COM/card.trc");
    EXPECT_EQ(record.GetData1(), "\x93\x8c\x8b\x9e");
    EXPECT_EQ(record.GetData2(), "\x88\xea\x8d\x73\x96\xda\r\n\x93\xf1\x8d\x73\x96\xda");
    EXPECT_EQ(record.GetData3(), "\xb6\xc5 & more");
    EXPECT_EQ(record.m_nCategory, 223);
    EXPECT_EQ(record.GetIpId(), u"0042");
    EXPECT_EQ(record.GetSortId(), u"トウキョウ");
    EXPECT_EQ(record.GetExpires(), u"301231");
    EXPECT_EQ(record.GetLastModified(), u"2501020304");
    EXPECT_EQ(record.m_nDist, 1);
    EXPECT_EQ(record.m_nColorId, 9);
    std::u16string path, title;
    record.GetUniqueIcon(path, title);
    EXPECT_EQ(path, icon);
    EXPECT_EQ(title, u"独自アイコン");
}

// Out-of-range colour and Dist open with nothing selected and, unless the
// user chooses, come back as -1 and 0. Dist at the bottom of the int range
// takes the same road.
TEST_F(SettingsEditTest, OutOfRangeColourAndDistComeBackAsMinusOneAndZero) {
    for (auto [color, dist] : {std::pair{10, 5}, std::pair{-3, 0}, std::pair{INT_MAX, INT_MIN}}) {
        SCOPED_TRACE(std::to_string(color) + " " + std::to_string(dist));
        CQelTpjFile record(1);
        record.SetColorId(color);
        record.SetDist(dist);
        qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [](qel::test::DialogUser& u) {
            EXPECT_EQ(u.CurSel(kColor), -1);
            EXPECT_EQ(u.CurSel(kDist), -1);
            u.Ok();
        });
        ASSERT_TRUE(qel::dialogs::EditSettings(record, nullptr));
        EXPECT_EQ(record.m_nColorId, -1);
        EXPECT_EQ(record.m_nDist, 0);
    }
}

// A version that only begins an entry selects that entry and comes back as
// its full text; one that begins none comes back empty.
TEST_F(SettingsEditTest, TheVersionIsTakenAsAPrefixOfTheEntries) {
    struct Case {
        std::u16string version;
        int selected;
        std::u16string after;
    };
    for (const Case& c : {Case{u"2", 2, u"2.0"}, Case{u"1.1", 1, u"1.1"}, Case{u"3.0", -1, u""}}) {
        SCOPED_TRACE(qel::framework::WideToUtf8(c.version));
        CQelTpjFile record(1);
        record.SetVersion(c.version);
        qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [&](qel::test::DialogUser& u) {
            EXPECT_EQ(u.CurSel(kVersion), c.selected);
            if (c.selected < 0) {
                EXPECT_EQ(u.Text(kVersionText), u"");
            }
            u.Ok();
        });
        ASSERT_TRUE(qel::dialogs::EditSettings(record, nullptr));
        EXPECT_EQ(record.GetVersion(), c.after);
    }
}

TEST_F(SettingsEditTest, CancelLeavesTheRecordUntouchedAfterNestedDialogsAndTheClock) {
    const std::u16string icon = WriteFile("icon.gif", "GIF89a");
    CQelTpjFile record(1);
    record.SetData2(u"二行目");
    const std::string before = Fields(record);
    qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [&](qel::test::DialogUser& u) {
        u.Select(kVersion, 0);
        u.SetText(kUrl, u"http://changed.example/");
        u.SetText(kData2, u"changed");
        u.Select(kColor, 5);
        u.Select(kDist, 1);
        qel::test::ExpectDialog(IDD_TORUCA_CATEGORY, [](qel::test::DialogUser& c) {
            c.Click(IDC_NO_ICON);
            c.Ok();
        });
        u.Click(kCategoryRef);
        qel::test::ExpectDialog(IDD_TORUCA_UNIQICON, [&](qel::test::DialogUser& i) {
            i.SetText(IDC_UNIQDLG_FILE, icon);
            i.SetText(IDC_UNIQDLG_TITLE, u"t");
            i.Ok();
        });
        u.Click(kUniqIconRef);
        u.Click(kNow);
        u.Cancel();
    });
    EXPECT_FALSE(qel::dialogs::EditSettings(record, nullptr));
    EXPECT_EQ(Fields(record), before);
}

// A refused URL keeps the dialog open; the record changes only with the
// final OK.
TEST_F(SettingsEditTest, ARefusedUrlThenCancelChangesNothing) {
    CQelTpjFile record(1);
    const std::string before = Fields(record);
    qel::test::ExpectDialog(IDD_TORUCA_SETTINGS, [](qel::test::DialogUser& u) {
        u.SetText(kUrl, u"ftp://example.com/");
        u.SetText(kIpId, u"1");
        qel::test::ExpectMessageBox(u"URLは「http://」で始まる半角英数字記号です。", 0x10u);
        u.Ok();
        EXPECT_EQ(u.Focus(), kUrl);
        u.Cancel();
    });
    EXPECT_FALSE(qel::dialogs::EditSettings(record, nullptr));
    EXPECT_EQ(Fields(record), before);
}

}  // namespace
