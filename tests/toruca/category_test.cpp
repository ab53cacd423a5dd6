// The category table: every code with its genre and list position, the
// genre names, and the filling of a list box.
#include "toruca/category.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The table as published for the icon selection dialog, kept here as text
// so that a slip in the data of category.cpp cannot hide in the test.
struct GenreRow {
    unsigned genre;
    const char16_t* name;
    const char* codes;
};
const GenreRow kExpected[] = {
    {0, u"グルメ", "50, 54, 251, 52, 53, 240, 241, 51, 195, 239, 247"},
    {1, u"生活／サービス",
     "170, 79, 65, 70, 42, 43, 37, 30, 31, 32, 35, 36, 40, 41, 190, 46, 47, 74, 75, 29, 100, 189, 184, 77, 38, 39, "
     "185, 76, 119, 180, 218, 94"},
    {2, u"コンビニ／スーパー／食品", "242, 45, 73, 238, 246, 234, 233, 231"},
    {3, u"レジャー／宿泊／アミューズメント",
     "102, 44, 147, 57, 58, 60, 63, 64, 22, 23, 24, 25, 26, 183, 27, 21, 28, 34, 228, 229, 245, 249, 101, 209, 250, "
     "243, 244, 153, 155, 157, 186"},
    {4, u"ファッション／アクセサリー／雑貨／インテリア",
     "179, 182, 55, 92, 93, 192, 191, 196, 176, 193, 69, 171, 71, 72, 148"},
    {5, u"ビューティ＆リラクゼーション", "56, 181, 204, 216, 84, 85, 91, 150, 162, 203"},
    {6, u"ゲーム／占い", "78, 80, 81, 82, 83, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 86, 87, 88, 154"},
    {7, u"趣味", "140, 61, 146, 167, 33, 194, 187, 68, 62, 232"},
    {8, u"教育／資格", "169, 227, 151, 223, 235"},
    {9, u"その他",
     "136, 137, 138, 139, 113, 141, 142, 143, 144, 197, 198, 199, 200, 201, 202, 205, 206, 207, 208, 210, 211, 248, "
     "252, 172, 237, 230, 236, 103, 1, 2, 3, 4, 5, 6, 7, 8, 48, 49, 59, 89, 90, 104, 145, 156, 225, 226, 66, 67, 95, "
     "96, 97, 98, 99, 105, 106, 107, 110, 188, 177, 178, 116, 117, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, "
     "131, 132, 133, 134, 135, 212, 118, 115, 149, 152, 158, 159, 160, 161, 163, 164, 165, 166, 168, 173, 174, 175, "
     "213, 214, 215, 219, 220, 217, 221, 222, 224"},
};

std::vector<int> ParseCodes(const char* text) {
    std::vector<int> codes;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) codes.push_back(std::stoi(item));
    return codes;
}

// A list box that records what FillCodeList asks of it. Texts listed in
// `refuse` make AddString fail, as a full list box would.
struct FakeListBox {
    struct Item {
        std::u16string text;
        std::uintptr_t data = 0;
    };
    std::vector<Item> items;
    int cursel = -1;
    std::set<std::u16string> refuse;

    void ResetContent() {
        items.clear();
        cursel = -1;
    }
    int AddString(const std::u16string& text) {
        if (refuse.count(text)) return -1;
        items.push_back({text, 0});
        return static_cast<int>(items.size()) - 1;
    }
    void SetItemData(int index, std::uintptr_t data) { items.at(static_cast<std::size_t>(index)).data = data; }
    void SetCurSel(int index) { cursel = index; }
};

TEST(TorucaCategory, EveryCodeHasItsGenreAndPosition) {
    const CQelTorucaCategory cat;
    std::size_t total = 0;
    for (const auto& row : kExpected) {
        SCOPED_TRACE(row.genre);
        const std::vector<int> expected = ParseCodes(row.codes);
        const auto codes = CQelTorucaCategory::GetCodes(row.genre);
        EXPECT_EQ(std::vector<int>(codes.begin(), codes.end()), expected);
        EXPECT_EQ(cat.GetGenreName(row.genre), row.name);
        for (const int code : expected) EXPECT_EQ(cat.GetGenre(code), row.genre) << code;

        FakeListBox list;
        cat.FillCodeList(list, row.genre, 0, true);
        ASSERT_EQ(list.items.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(list.items[i].data, static_cast<std::uintptr_t>(expected[i]));
            char hex[8];
            std::snprintf(hex, sizeof hex, "%04x", expected[i]);
            EXPECT_EQ(list.items[i].text, std::u16string(hex, hex + 4));
        }
        total += expected.size();
    }
    EXPECT_EQ(total, 246u);
}

TEST(TorucaCategory, CodesAreOneToTwoHundredFiftyTwoButSixGaps) {
    std::multiset<int> all;
    for (unsigned g = 0; g < CQelTorucaCategory::GENRE_COUNT; ++g)
        for (const int code : CQelTorucaCategory::GetCodes(g)) all.insert(code);
    std::multiset<int> expected;
    const std::set<int> gaps = {108, 109, 111, 112, 114, 120};
    for (int code = 1; code <= 252; ++code)
        if (!gaps.count(code)) expected.insert(code);
    EXPECT_EQ(all, expected);  // a multiset: a code listed twice shows up here
}

TEST(TorucaCategory, GenreOfCodesOutsideTheTableIsAll) {
    const CQelTorucaCategory cat;
    EXPECT_EQ(cat.GetGenre(100), 1u);
    EXPECT_EQ(cat.GetGenre(251), 0u);
    EXPECT_EQ(cat.GetGenre(1), 9u);
    for (const int code : {0, 108, 109, 111, 112, 114, 120, 253, -1, INT32_MIN, INT32_MAX})
        EXPECT_EQ(cat.GetGenre(code), CQelTorucaCategory::GENRE_ALL) << code;
}

TEST(TorucaCategory, GenreNamesEndAfterAll) {
    const CQelTorucaCategory cat;
    EXPECT_EQ(cat.GetGenreName(7), u"趣味");
    EXPECT_EQ(cat.GetGenreName(CQelTorucaCategory::GENRE_ALL), u"全て");
    EXPECT_EQ(cat.GetGenreName(11), u"");
    EXPECT_EQ(cat.GetGenreName(UINT32_MAX), u"");
    unsigned count = 0;
    while (!cat.GetGenreName(count).empty()) ++count;
    EXPECT_EQ(count, 11u);  // the dialog's genre list
    EXPECT_TRUE(CQelTorucaCategory::GetCodes(CQelTorucaCategory::GENRE_ALL).empty());
}

TEST(TorucaCategory, FillSelectsTheGivenCode) {
    const CQelTorucaCategory cat;
    FakeListBox list;
    list.items.push_back({u"old", 1});
    cat.FillCodeList(list, 8, 223, true);
    ASSERT_EQ(list.items.size(), 5u);
    const char16_t* texts[] = {u"00a9", u"00e3", u"0097", u"00df", u"00eb"};
    const std::uintptr_t data[] = {169, 227, 151, 223, 235};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(list.items[i].text, texts[i]);
        EXPECT_EQ(list.items[i].data, data[i]);
    }
    EXPECT_EQ(list.cursel, 3);
}

TEST(TorucaCategory, FillAllListsEveryGenreInOrder) {
    const CQelTorucaCategory cat;
    FakeListBox list;
    cat.FillCodeList(list, CQelTorucaCategory::GENRE_ALL, 224, true);
    ASSERT_EQ(list.items.size(), 246u);
    EXPECT_EQ(list.items.front().text, u"0032");
    EXPECT_EQ(list.items.front().data, 50u);
    EXPECT_EQ(list.items.back().text, u"00e0");
    EXPECT_EQ(list.items.back().data, 224u);
    EXPECT_EQ(list.cursel, 245);
    EXPECT_EQ(list.items[11].data, 170u);  // genre 1 follows genre 0's eleven codes
}

TEST(TorucaCategory, FillAppendsWithoutResetAndUnknownGenreAddsNothing) {
    const CQelTorucaCategory cat;
    FakeListBox list;
    cat.FillCodeList(list, 8, 223, true);
    cat.FillCodeList(list, 2, 0, false);  // code 0 selects nothing; the selection stays
    ASSERT_EQ(list.items.size(), 13u);
    EXPECT_EQ(list.items[5].text, u"00f2");  // 242, first of genre 2
    EXPECT_EQ(list.cursel, 3);

    cat.FillCodeList(list, 11, 50, false);
    EXPECT_EQ(list.items.size(), 13u);
    EXPECT_EQ(list.cursel, 3);

    cat.FillCodeList(list, 11, 50, true);
    EXPECT_TRUE(list.items.empty());
    EXPECT_EQ(list.cursel, -1);
}

TEST(TorucaCategory, RefusedItemIsSkipped) {
    const CQelTorucaCategory cat;
    FakeListBox list;
    list.refuse = {u"00e3"};
    cat.FillCodeList(list, 8, 227, true);  // the refused item is also the selected one
    ASSERT_EQ(list.items.size(), 4u);
    EXPECT_EQ(list.items[1].text, u"0097");
    EXPECT_EQ(list.items[1].data, 151u);
    EXPECT_EQ(list.cursel, -1);
}

}  // namespace
