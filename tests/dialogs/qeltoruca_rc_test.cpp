// The dialog templates 13650-13653 of dialogs/qeltoruca.rc, as the module
// registers them, checked control by control against the tables of the four
// dialogs: id, kind, text, the styles that make the kind, and the rectangle
// in dialog units, in tab order. The ids are written here as numbers, not
// taken from dialogs/resource.h: the tables check that header too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/codepage.h"
#include "framework/dialog.h"
#include "framework/rcscript.h"
#include "dialogs/module_resources.h"
#include "tests/support/dialog_testing.h"

namespace {

enum Kind {
    kStatic,         // static text, left-aligned, group start
    kGroup,          // group box
    kDropList,       // combo box: drop-down list, vertical scroll bar, tab stop, unsorted
    kEdit,           // edit: border, tab stop, automatic horizontal scrolling
    kReadOnlyEdit,   // the same, read-only
    kMultiLineEdit,  // the same, multi-line without want-return
    kFramedIcon,     // icon static with a border
    kPush,           // push button, tab stop
    kDefPush,        // default push button, tab stop
    kRadioFirst,     // auto radio button, group start, tab stop
    kRadio,          // auto radio button
    kList,           // list box: border, vertical scroll bar, tab stop, notify, no integral height, unsorted
};

struct Rect {
    int x, y, cx, cy;
};

struct ExpectedControl {
    int id;
    Kind kind;
    const char16_t* text;
    Rect rect;
};

// Written from the dialogs' tables.
const ExpectedControl k13650[] = {
    {-1, kStatic, u"トルカバージョン(&V) :", {7, 7, 63, 8}},
    {20003, kDropList, u"", {93, 5, 66, 134}},
    {20031, kReadOnlyEdit, u"", {164, 6, 155, 14}},
    {-1, kStatic, u"トルカ(詳細)取得先URL(&U) :", {7, 26, 84, 8}},
    {20004, kEdit, u"", {93, 24, 226, 14}},
    {-1, kGroup, u"アイコン", {7, 40, 312, 33}},
    {-1, kStatic, u"カテゴリアイコン:", {14, 54, 49, 8}},
    {20013, kFramedIcon, u"", {65, 48, 20, 20}},
    {20015, kPush, u"参照(&R)...", {86, 52, 35, 14}},
    {-1, kStatic, u"独自カテゴリアイコン(&Q) :", {138, 53, 76, 8}},
    {20018, kReadOnlyEdit, u"", {220, 51, 32, 14}},
    {20014, kFramedIcon, u"", {256, 47, 20, 20}},
    {20016, kPush, u"参照(&E)...", {277, 51, 35, 14}},
    {-1, kGroup, u"見出し・紹介文", {7, 77, 125, 102}},
    {-1, kStatic, u"データ1(&1) :", {14, 89, 40, 8}},
    {20005, kEdit, u"", {53, 87, 72, 14}},
    {-1, kStatic, u"データ2(&2) :", {14, 108, 36, 8}},
    {20006, kMultiLineEdit, u"", {53, 106, 72, 48}},
    {-1, kStatic, u"データ3(&3) :", {14, 161, 36, 8}},
    {20007, kEdit, u"", {53, 159, 72, 14}},
    {-1, kGroup, u"内部パラメータ", {138, 77, 181, 102}},
    {-1, kStatic, u"IP-ID(&I) :", {146, 89, 72, 8}},
    {20008, kEdit, u"", {220, 87, 92, 14}},
    {-1, kStatic, u"カナID(&K) :", {146, 108, 71, 8}},
    {20009, kEdit, u"", {220, 106, 92, 14}},
    {-1, kStatic, u"有効期限(&X) :", {146, 126, 72, 8}},
    {20010, kEdit, u"", {220, 124, 92, 14}},
    {-1, kStatic, u"再配布・更新識別子(&D) :", {146, 144, 72, 8}},
    {20011, kDropList, u"", {220, 142, 92, 134}},
    {-1, kStatic, u"最終更新日時(&L) :", {146, 161, 72, 8}},
    {20012, kEdit, u"", {220, 159, 47, 14}},
    {20019, kPush, u"現在日時(&W)", {270, 159, 43, 14}},
    {-1, kGroup, u"デザイン・HTML", {7, 184, 125, 34}},
    {-1, kStatic, u"色ID(&O) :", {13, 198, 29, 8}},
    {20017, kDropList, u"", {53, 196, 74, 136}},
    {1, kDefPush, u"OK", {162, 204, 50, 14}},
    {2, kPush, u"キャンセル", {216, 204, 50, 14}},
    {57670, kPush, u"ヘルプ", {269, 204, 50, 14}},
};
const ExpectedControl k13651[] = {
    {-1, kGroup, u"出力方法", {7, 7, 157, 68}},
    {-1, kStatic, u"出力方法を指定します。", {14, 20, 111, 8}},
    {20000, kRadioFirst, u"TPJファイルを作成する(&P)", {14, 32, 113, 10}},
    {20001, kRadio, u"トルカ(詳細)ファイルを作成する(&D)", {14, 45, 112, 10}},
    {20002, kRadio, u"トルカファイルを作成する(&T)", {14, 59, 109, 10}},
    {1, kDefPush, u"OK", {7, 81, 50, 14}},
    {2, kPush, u"キャンセル", {61, 81, 50, 14}},
    {57670, kPush, u"ヘルプ", {115, 81, 50, 14}},
};
const ExpectedControl k13652[] = {
    {20022, kRadioFirst, u"アイコンを指定する(&I)", {7, 7, 80, 10}},
    {20023, kRadio, u"アイコンを指定しない(&N)", {7, 126, 84, 10}},
    {20026, kStatic, u"ジャンル(&G) :", {17, 23, 39, 8}},
    {20024, kDropList, u"", {58, 20, 171, 134}},
    {20025, kList, u"", {17, 39, 212, 81}},
    {1, kDefPush, u"OK", {71, 140, 50, 14}},
    {2, kPush, u"キャンセル", {122, 140, 50, 14}},
    {57670, kPush, u"ヘルプ", {179, 140, 50, 14}},
};
const ExpectedControl k13653[] = {
    {-1, kGroup, u"独自カテゴリアイコン", {7, 7, 157, 68}},
    {-1, kStatic, u"ファイル(&F):", {14, 22, 34, 8}},
    {20021, kEdit, u"", {55, 20, 101, 14}},
    {20016, kPush, u"参照(&R)...", {122, 37, 35, 14}},
    {-1, kStatic, u"タイトル(&T):", {14, 57, 34, 8}},
    {20020, kEdit, u"", {55, 55, 101, 14}},
    {1, kDefPush, u"OK", {7, 81, 50, 14}},
    {2, kPush, u"キャンセル", {61, 81, 50, 14}},
    {57670, kPush, u"ヘルプ", {115, 81, 50, 14}},
};

struct ExpectedDialog {
    int id;
    const char16_t* caption;
    int cx, cy;
    const ExpectedControl* controls;
    std::size_t count;
};

const ExpectedDialog kDialogs[] = {
    {13650, u"設定", 326, 222, k13650, std::size(k13650)},
    {13651, u"出力方法", 171, 100, k13651, std::size(k13651)},
    {13652, u"アイコン選択", 235, 160, k13652, std::size(k13652)},
    {13653, u"独自カテゴリアイコン", 171, 100, k13653, std::size(k13653)},
};

bool Has(DWORD style, DWORD bits) { return (style & bits) == bits; }

// The style bits that make each kind, and those it must not have.
void CheckKind(const CDialogItemTemplate& c, Kind kind, const std::string& where) {
    const DWORD s = c.style;
    EXPECT_TRUE(Has(s, WS_CHILD | WS_VISIBLE)) << where;
    EXPECT_FALSE(s & WS_DISABLED) << where;
    switch (kind) {
        case kStatic:
            EXPECT_EQ(c.kind, QelControlKind::staticText) << where;
            EXPECT_EQ(s & SS_TYPEMASK, SS_LEFT) << where;
            EXPECT_TRUE(s & WS_GROUP) << where;
            EXPECT_FALSE(s & WS_TABSTOP) << where;
            break;
        case kGroup:
            EXPECT_EQ(c.kind, QelControlKind::groupBox) << where;
            EXPECT_FALSE(s & WS_TABSTOP) << where;
            break;
        case kDropList:
            EXPECT_EQ(c.kind, QelControlKind::comboBox) << where;
            EXPECT_EQ(s & CBS_TYPEMASK, CBS_DROPDOWNLIST) << where;
            EXPECT_TRUE(Has(s, WS_VSCROLL | WS_TABSTOP)) << where;
            EXPECT_FALSE(s & (CBS_SORT | CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) << where;
            break;
        case kEdit:
        case kReadOnlyEdit:
        case kMultiLineEdit:
            EXPECT_EQ(c.kind, QelControlKind::edit) << where;
            EXPECT_TRUE(Has(s, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL)) << where;
            EXPECT_EQ((s & ES_READONLY) != 0, kind == kReadOnlyEdit) << where;
            EXPECT_EQ((s & ES_MULTILINE) != 0, kind == kMultiLineEdit) << where;
            EXPECT_FALSE(s & ES_WANTRETURN) << where;
            break;
        case kFramedIcon:
            EXPECT_EQ(c.kind, QelControlKind::iconStatic) << where;
            EXPECT_TRUE(s & WS_BORDER) << where;
            EXPECT_FALSE(s & WS_TABSTOP) << where;
            break;
        case kPush:
            EXPECT_EQ(c.kind, QelControlKind::pushButton) << where;
            EXPECT_TRUE(s & WS_TABSTOP) << where;
            break;
        case kDefPush:
            EXPECT_EQ(c.kind, QelControlKind::defPushButton) << where;
            EXPECT_TRUE(s & WS_TABSTOP) << where;
            break;
        case kRadioFirst:
            EXPECT_EQ(c.kind, QelControlKind::autoRadioButton) << where;
            EXPECT_TRUE(Has(s, WS_GROUP | WS_TABSTOP)) << where;
            break;
        case kRadio:
            EXPECT_EQ(c.kind, QelControlKind::autoRadioButton) << where;
            EXPECT_FALSE(s & WS_GROUP) << where;  // same group as the one before
            break;
        case kList:
            EXPECT_EQ(c.kind, QelControlKind::listBox) << where;
            EXPECT_TRUE(Has(s, WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT)) << where;
            EXPECT_FALSE(s &
                         (LBS_SORT | LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE | LBS_MULTIPLESEL | LBS_EXTENDEDSEL))
                << where;
            break;
    }
}

class ModuleTemplates : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(qel::dialogs::RegisterModuleResources()); }
    static void TearDownTestSuite() { qel::dialogs::UnregisterModuleResources(); }
};

TEST_F(ModuleTemplates, TheResourceScriptParsesWithoutError) {
    HINSTANCE module = qel::dialogs::ModuleInstance();
    QelResourceScript script;
    QelRcError error;
    ASSERT_TRUE(qel::framework::ParseResourceScript(std::string_view(module->script, module->scriptLength), script,
                                                    error, std::span(module->includes, module->includeCount)))
        << "line " << error.line << ": " << error.message;
    EXPECT_EQ(script.dialogs.size(), 4u);
}

TEST_F(ModuleTemplates, EachTemplateMatchesItsTableControlForControl) {
    for (const ExpectedDialog& d : kDialogs) {
        SCOPED_TRACE("dialog " + std::to_string(d.id));
        auto tpl = AfxFindDialogTemplate(d.id);
        ASSERT_TRUE(tpl);
        EXPECT_EQ(qel::framework::WideToUtf8(tpl->caption), qel::framework::WideToUtf8(d.caption));
        EXPECT_EQ(tpl->cx, d.cx);
        EXPECT_EQ(tpl->cy, d.cy);
        EXPECT_EQ(tpl->style, 0x80C800C0u);  // popup, caption, system menu, modal frame, set-font
        EXPECT_EQ(qel::framework::WideToUtf8(tpl->font.face), "ＭＳ Ｐゴシック");
        EXPECT_EQ(tpl->font.pointSize, 9);
        EXPECT_EQ(tpl->language, 1041);
        ASSERT_EQ(tpl->items.size(), d.count);
        for (std::size_t i = 0; i < d.count; ++i) {
            const ExpectedControl& e = d.controls[i];
            const CDialogItemTemplate& c = tpl->items[i];
            const std::string where = "control #" + std::to_string(i) + " (id " + std::to_string(e.id) + ")";
            EXPECT_EQ(c.id, e.id) << where;
            EXPECT_EQ(qel::framework::WideToUtf8(c.text), qel::framework::WideToUtf8(e.text)) << where;
            EXPECT_EQ(c.x, e.rect.x) << where;
            EXPECT_EQ(c.y, e.rect.y) << where;
            EXPECT_EQ(c.cx, e.rect.cx) << where;
            EXPECT_EQ(c.cy, e.rect.cy) << where;
            CheckKind(c, e.kind, where);
        }
    }
}

class ModuleTemplatesOpen : public qel::test::DialogTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(qel::dialogs::RegisterModuleResources()); }
    static void TearDownTestSuite() { qel::dialogs::UnregisterModuleResources(); }
};

// Every template opens as a framework dialog; the unhandled Help button is
// hidden and OK, Cancel end it as usual.
TEST_F(ModuleTemplatesOpen, EveryTemplateOpensWithHelpHidden) {
    for (const ExpectedDialog& d : kDialogs) {
        SCOPED_TRACE("dialog " + std::to_string(d.id));
        qel::test::ExpectDialog(d.id, [&](qel::test::DialogUser& u) {
            EXPECT_EQ(u.Caption(), d.caption);
            EXPECT_EQ(u.Dialog().GetControls().size(), d.count);
            EXPECT_FALSE(u.Visible(ID_HELP));
            EXPECT_TRUE(u.Visible(IDOK));
            u.Ok();
        });
        CDialog dlg(static_cast<UINT>(d.id));
        EXPECT_EQ(dlg.DoModal(), IDOK);
    }
}

}  // namespace
