// Wide to code page 932 over long texts: the converter works in chunks, so
// characters that straddle a chunk's end (surrogate pairs, character
// references, double-byte characters) must come out as they do one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "framework/codepage.h"

namespace {

TEST(CodePageChunks, LongMixedTextEqualsCharacterByCharacter) {
    const std::vector<std::u16string> pool = {u"a",
                                              u"<p>",
                                              u"\r\n",
                                              u"あ",
                                              u"ｱ",
                                              u"\U0001F600",
                                              std::u16string(1, char16_t(0xD800)),
                                              u"\uE000",
                                              u"\u00A0",
                                              u"\u2225",
                                              u"～",
                                              std::u16string(37, u'x'),
                                              std::u16string(2100, u'y')};
    std::mt19937 rng(3);
    for (int round = 0; round < 20; ++round) {
        std::u16string text;
        std::string expected;
        while (text.size() < 20000) {
            const std::u16string& piece = pool[rng() % pool.size()];
            text += piece;
            expected += qel::framework::WideToCp932(piece);
        }
        // (A lone high surrogate is followed by no low one in the pool, so
        // the pieces convert alone as they do together.)
        const std::string actual = qel::framework::WideToCp932(text);
        const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
        ASSERT_TRUE(actual == expected) << "round " << round << ", first difference at byte "
                                        << (diff.first - actual.begin());
        std::string appended = "head";
        qel::framework::AppendWideAsCp932(appended, text);
        ASSERT_TRUE(appended == "head" + expected);
    }
    // Each kind of character at every place around the first chunk's end.
    for (const std::u16string piece : {u"\U0001F600", u"\u00A0", u"あ", u"\uE000"})
        for (std::size_t at = 2040; at <= 2050; ++at) {
            const std::u16string text = std::u16string(at, u'x') + piece + u"tail";
            EXPECT_TRUE(qel::framework::WideToCp932(text) ==
                        std::string(at, 'x') + qel::framework::WideToCp932(piece) + "tail")
                << at;
        }
    // A NUL is written as the byte 0 and the text goes on, in any chunk.
    std::u16string withNul(5000, u'z');
    withNul[4500] = u'\0';
    withNul[4501] = u'あ';
    std::string expected(5000, 'z');
    expected[4500] = '\0';
    expected.replace(4501, 1, "\x82\xA0");
    EXPECT_EQ(qel::framework::WideToCp932(withNul), expected);
}

}  // namespace
