// Code page 932 and UTF-8 conversions: Japanese text, pictograms in the
// user-defined area, the characters where Shift_JIS and Windows-31J differ,
// characters code page 932 cannot hold, and invalid bytes.
#include "framework/codepage.h"

#include <gtest/gtest.h>

namespace {

using qel::framework::Cp932ToWide;
using qel::framework::WideToCp932;

TEST(Cp932, AsciiIsCopiedAndBackslashStaysBackslash) {
    EXPECT_EQ(WideToCp932(u"Data1: ZGF0YTE=\r\n\\~"), "Data1: ZGF0YTE=\r\n\\~");
    EXPECT_EQ(Cp932ToWide("a\\b~"), u"a\\b~");
}

TEST(Cp932, JapaneseTextBothWays) {
    const std::u16string text = u"トルカ(詳細)ファイルを作成する";
    const std::string bytes = WideToCp932(text);
    EXPECT_EQ(bytes.substr(0, 6), "\x83\x67\x83\x8b\x83\x4a");  // ト ル カ
    EXPECT_EQ(Cp932ToWide(bytes), text);
    EXPECT_EQ(WideToCp932(u"ワン"), "\x83\x8f\x83\x93");
}

TEST(Cp932, WindowsMappingsThatShiftJisLacks) {
    // U+FF5E, U+2225, U+FF0D, U+2460 exist only in Windows-31J's table.
    EXPECT_EQ(WideToCp932(u"～∥－①"), "\x81\x60\x81\x61\x81\x7c\x87\x40");
    EXPECT_EQ(Cp932ToWide("\x81\x60\x81\x61\x81\x7c\x87\x40"), u"～∥－①");
    EXPECT_EQ(Cp932ToWide("\xb1\xdf"), u"ｱﾟ");  // half-width katakana
}

TEST(Cp932, UserDefinedAreaHoldsPictograms) {
    EXPECT_EQ(WideToCp932(u"\uE000"), "\xF0\x40");
    EXPECT_EQ(WideToCp932(u"\uE03F"), "\xF0\x80");  // the trail byte skips 0x7F
    EXPECT_EQ(WideToCp932(u"\uE757"), "\xF9\xFC");
    EXPECT_EQ(Cp932ToWide("\xF0\x40\xF0\x80\xF9\xFC"), u"\uE000\uE03F\uE757");
}

TEST(Cp932, UnrepresentableCharactersBecomeReferences) {
    EXPECT_EQ(WideToCp932(u"a😀b"), "a&#128512;b");
    EXPECT_EQ(WideToCp932(u"\u00e9"), "&#233;");
    EXPECT_EQ(WideToCp932(std::u16string(u"x") + char16_t(0xD800) + u"y"), "x&#65533;y");
}

TEST(Cp932, NulIsConvertedLikeAnyCharacter) {
    const std::u16string text(u"ab\0cd", 5);
    EXPECT_EQ(WideToCp932(text), std::string("ab\0cd", 5));
    EXPECT_EQ(Cp932ToWide(WideToCp932(text)), text);
}

TEST(Cp932, InvalidBytesReadAsReplacement) {
    EXPECT_EQ(Cp932ToWide(std::string("\x80", 1)), u"\uFFFD");
    EXPECT_EQ(Cp932ToWide("\x81"), u"\uFFFD");      // lead byte at the end
    EXPECT_EQ(Cp932ToWide("\x81\n"), u"\uFFFD\n");  // lead byte, then no trail byte
    EXPECT_EQ(Cp932ToWide("\x81"
                          "A"),
              u"、");                                   // 0x41 is a trail byte
    EXPECT_EQ(Cp932ToWide("\x81\x7F"), u"\uFFFD\x7F");  // 0x7F is not: it stays a character
    EXPECT_EQ(Cp932ToWide("\x85\x40"
                          "z"),
              u"\uFFFD"
              "z");  // unassigned pair
    EXPECT_EQ(Cp932ToWide(std::string("\0a", 2)), std::u16string(u"\0a", 2));
}

TEST(Cp932, EveryPairSurvivesARoundTripWhereDefined) {
    // Each valid double-byte code decodes to a character that encodes back to
    // a valid code of the same character (NEC/IBM duplicates may change code).
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string w = Cp932ToWide(std::string(pair, 2));
            ASSERT_EQ(w.size(), 1u);
            if (w[0] == 0xFFFD) continue;
            EXPECT_EQ(Cp932ToWide(WideToCp932(w)), w) << std::hex << lead << " " << trail;
            ++checked;
        }
    }
    EXPECT_GT(checked, 9000);
}

TEST(Utf8, RoundTripAndInvalidInput) {
    const std::u16string text = u"画像/写真 😀.jpg";
    EXPECT_EQ(qel::framework::Utf8ToWide(qel::framework::WideToUtf8(text)), text);
    EXPECT_EQ(qel::framework::Utf8ToWide("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong
    EXPECT_EQ(qel::framework::Utf8ToWide("\xE0\x80\xAF"
                                         "\xF0\x80\x80\xAF"),
              u"\uFFFD\uFFFD");                                        // overlong '/'
    EXPECT_EQ(qel::framework::Utf8ToWide("\xED\xA0\x80"), u"\uFFFD");  // an encoded surrogate
    EXPECT_EQ(qel::framework::Utf8ToWide("a\xE3\x81"), u"a\uFFFD");    // cut short
    EXPECT_TRUE(qel::framework::IsValidUtf8("日本語"));
    EXPECT_FALSE(qel::framework::IsValidUtf8("\x93\xfa\x96\x7b"));  // Shift_JIS bytes
}

// Long texts take ASCII in runs: wherever a run ends, a long text converts
// as its characters one by one do, invalid bytes and lone surrogates too.
TEST(Utf8, LongTextsConvertAsTheirCharacters) {
    const std::string pieces[] = {"a", "\xE5\x86\x99", "\xF0\x9F\x98\x80", "\xC0", "\xE3\x81", "\x7F", "\xC3\xA9"};
    const std::u16string lone[] = {std::u16string(1, char16_t{0xD800}), std::u16string(1, char16_t{0xDC00}) + u"x"};
    const std::u16string widePieces[] = {u"b", lone[0], u"\u5199", u"\U0001F600", lone[1], u"\u00E9"};
    for (int shift = 0; shift < 9; ++shift) {
        std::string utf8(static_cast<std::size_t>(shift), 'x');
        std::u16string wide(static_cast<std::size_t>(shift), u'x'), expectedWide = wide;
        std::string expectedUtf8 = utf8;
        for (int i = 0; i < 40; ++i) {
            const std::string& p = pieces[(i * 3 + shift) % 7];
            const std::string run(static_cast<std::size_t>(i % 11), 'y');
            utf8 += run + p;
            expectedWide += qel::framework::Utf8ToWide(run) + qel::framework::Utf8ToWide(p);
            const std::u16string& w = widePieces[(i + shift) % 6];
            const std::u16string wideRun(static_cast<std::size_t>(i % 13), u'z');
            wide += wideRun + w;
            expectedUtf8 += qel::framework::WideToUtf8(wideRun) + qel::framework::WideToUtf8(w);
        }
        EXPECT_EQ(qel::framework::Utf8ToWide(utf8), expectedWide) << shift;
        EXPECT_EQ(qel::framework::WideToUtf8(wide), expectedUtf8) << shift;
        std::u16string whole = u"<";
        qel::framework::AppendWholeWide(whole, wide);
        EXPECT_EQ(whole, u"<" + qel::framework::Utf8ToWide(expectedUtf8)) << shift;
    }
}

}  // namespace

namespace {

// Paths are bytes: every byte string comes back unchanged, a byte that is
// not part of valid UTF-8 (even inside a broken sequence) is its own escape,
// and a person sees it as \xNN.
TEST(Paths, AnyBytesComeBackAndShowEscaped) {
    using qel::framework::PathForDisplay;
    using qel::framework::PathFromNative;
    using qel::framework::PathToNative;
    struct Case {
        std::string native;
        std::u16string wide;
        std::string shown;
    } const cases[] = {
        {"/tmp/caf\xC3\xA9", u"/tmp/caf\u00e9", "/tmp/caf\xC3\xA9"},
        {"/tmp/caf\xE9", u"/tmp/caf\xdce9", "/tmp/caf\\xE9"},
        {"\x83\x65\x83\x58", u"\xdc83\x65\xdc83\x58", "\\x83e\\x83X"},
        // A lead byte whose sequence breaks off: each byte escaped, the
        // next character read anew.
        {"\xE3\x81/\xF0\x9F\x98\x80", u"\xdce3\xdc81/\U0001F600", "\\xE3\\x81/\xF0\x9F\x98\x80"},
        {"\xED\xB2\x80\x80\xFF", u"\xdced\xdcb2\xdc80\xdc80\xdcff", "\\xED\\xB2\\x80\\x80\\xFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(PathFromNative(c.native), c.wide);
        EXPECT_EQ(PathToNative(c.wide), c.native);
        EXPECT_EQ(PathForDisplay(c.wide), c.shown);
    }
    // Text conversions keep their rule: the escape is no character.
    EXPECT_EQ(qel::framework::Utf8ToWide("caf\xE9"), u"caf\ufffd");
    EXPECT_EQ(qel::framework::WideToUtf8(u"caf\xdce9"), "caf\xEF\xBF\xBD");
}

}  // namespace
