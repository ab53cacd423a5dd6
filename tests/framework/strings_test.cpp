#include "framework/strings.h"

#include <gtest/gtest.h>

namespace {

TEST(Strings, CaseInsensitiveComparisonIsAsciiOnly) {
    EXPECT_TRUE(qel::framework::EqualsNoCase(u"TPJ", u"tpj"));
    EXPECT_TRUE(qel::framework::EqualsNoCase(u"Trc", u"tRC"));
    EXPECT_TRUE(qel::framework::EqualsNoCase(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ", u"abcdefghijklmnopqrstuvwxyz"));
    EXPECT_FALSE(qel::framework::EqualsNoCase(u"@[", u"`{"));  // the neighbours of the alphabet
    EXPECT_FALSE(qel::framework::EqualsNoCase(u"tpj", u"tpj "));
    EXPECT_FALSE(qel::framework::EqualsNoCase(u"Ａ", u"ａ"));  // full-width letters are not folded
    EXPECT_TRUE(qel::framework::StartsWithNoCase(u"HTTP://x", u"http://"));
    EXPECT_FALSE(qel::framework::StartsWithNoCase(u"http:/", u"http://"));
    EXPECT_LT(qel::framework::CompareNoCase(u"a", u"B"), 0);
}

TEST(Strings, Trim) {
    EXPECT_EQ(qel::framework::Trim(u" \t2.0 \r\n"), u"2.0");
    EXPECT_EQ(qel::framework::Trim(u"\u3000x\u3000"), u"\u3000x\u3000");
    EXPECT_EQ(qel::framework::TrimRight(u"  a "), u"  a");
}

TEST(Strings, FormatConversions) {
    EXPECT_EQ(qel::framework::Format(u"Cat: %04d", 100), u"Cat: 0100");
    EXPECT_EQ(qel::framework::Format(u"Cat: %04d", 12345), u"Cat: 12345");
    EXPECT_EQ(qel::framework::Format(u"Cat: %04d", -7), u"Cat: -007");
    EXPECT_EQ(qel::framework::Format(u"%04x", 251), u"00fb");
    EXPECT_EQ(qel::framework::Format(u"image%d", 12), u"image12");
    EXPECT_EQ(qel::framework::Format(u"Dist: %d", -1), u"Dist: -1");
    EXPECT_EQ(qel::framework::Format(u"--%s--", std::u16string(u"0000000000")), u"--0000000000--");
    EXPECT_EQ(qel::framework::Format(u"100%% %s", u"x"), u"100% x");
    EXPECT_EQ(qel::framework::Format(u"a%sb"), u"ab");  // a missing argument writes nothing
    EXPECT_EQ(qel::framework::Format(u"[%3d]", 7), u"[  7]");
    // An unknown conversion stays as written and leaves its argument to the
    // next one; an argument of the wrong kind is used up and writes nothing.
    EXPECT_EQ(qel::framework::Format(u"%q %d", 5), u"%q 5");
    EXPECT_EQ(qel::framework::Format(u"%d|%s", u"x", u"y"), u"|y");
    EXPECT_EQ(qel::framework::Format(u"ends in %05", 1), u"ends in %05");
}

}  // namespace
