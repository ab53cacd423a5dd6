// LoadFile's reading of the header block: the first line and the Type line,
// keys, values and integers, and GetParam's rules.
#include "tests/format/reader_testing.h"

namespace {

using namespace qel::test::reader;

TEST_F(TpjReader, FirstLineAndTypeLineDecideTheType) {
    const std::string html = "Content-Transfer-Encoding: 8bit\r\n\r\n<p>x</p>\r\n";
    struct Case {
        const char* file;
        int before, after;
    } cases[] = {
        {"ToruCa\r\nVersion: 2.1\r\n", TYPE_PROJECT, TYPE_SNIP},  // no body: snippet
        {"toruca\r\n", TYPE_PROJECT, TYPE_SNIP},                  // case is ignored
        {"ToruCa \r\n", 7, 7},                                    // not the whole line
        {"ToruCa\r", 7, 7},                                       // a CR that no LF follows stays
        {"TORUCA_PROJECT_V2\r\nType: SNIP\r\n", TYPE_CARD, TYPE_SNIP},
        {"torUca_project_v2\r\n", TYPE_CARD, TYPE_PROJECT},
        {"ToruCa\r\nType: project\r\n", TYPE_PROJECT, TYPE_SNIP},  // PROJECT changes nothing
        {"ToruCa\r\nType: card\r\n", TYPE_PROJECT, TYPE_CARD},
        {"Hello\r\nType: PROJECT\r\n", 3, 3},
        {"Hello\r\nType: Snip\r\n", 3, TYPE_SNIP},
        {"Type: CARD\r\nType: SNIP\r\n", 3, TYPE_SNIP},  // the first line is only the magic line
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        rec.SetType(c.before);
        ASSERT_TRUE(Load(c.file));
        EXPECT_EQ(rec.GetType(), c.after);
    }
    // "ToruCa" with an HTML part: a detail file, also when the Type line says PROJECT.
    rec.SetType(TYPE_PROJECT);
    ASSERT_TRUE(Load("ToruCa\r\nType: PROJECT\r\n\r\n--B\r\n" + html + "--B--\r\n"));
    EXPECT_EQ(rec.GetType(), TYPE_CARD);
    ASSERT_TRUE(Load("ToruCa\r\n\r\n--B\r\nContent-Transfer-Encoding: 8bit\r\n\r\n--B--\r\n"));
    EXPECT_EQ(rec.GetType(), TYPE_SNIP);  // the HTML part left an empty text
}

TEST_F(TpjReader, HeaderKeysValuesAndIntegers) {
    ASSERT_TRUE(
        Load("ToruCa\r\n"
             "version: 2.0\r\n"
             "Version : 1.0\r\n"           // the key is not trimmed: ignored
             "URL:   http://x/ a  \t\r\n"  // the value is trimmed at both ends
             ": no key\r\n"
             "no colon at all\r\n"
             "X-Other: 1\r\n"
             "Cat: 12abc\r\n"
             "Dist: abc\r\n"
             "COLOR-ID:  -3\r\n"
             "ip-id: 42\r\nSORT-ID: " +
             qel::framework::WideToCp932(u"ソート") +
             "\r\n"
             "expires: 991231\r\nlm: 9912312359\r\n"
             "Data1: gqCCog==\r\n"  // あい in code page 932
             "Data2: YQBi\r\n"      // "a", NUL, "b": cut at the NUL
             "Data3:\r\n"
             "MIME-Version: 1.1\r\n"
             "Content-Type: multipart/mixed;boundary=\"xyz\"\r\n"));
    EXPECT_EQ(rec.GetVersion(), u"2.0");
    EXPECT_EQ(rec.GetUrl(), u"http://x/ a");
    EXPECT_EQ(rec.m_nCategory, 12);
    EXPECT_EQ(rec.m_nDist, 0);
    EXPECT_EQ(rec.m_nColorId, -3);
    EXPECT_EQ(rec.GetIpId(), u"42");
    EXPECT_EQ(rec.GetSortId(), u"ソート");
    EXPECT_EQ(rec.GetExpires(), u"991231");
    EXPECT_EQ(rec.GetLastModified(), u"9912312359");
    EXPECT_EQ(rec.GetData1(), "\x82\xA0\x82\xA2");
    EXPECT_EQ(rec.GetData2(), "a");
    EXPECT_EQ(rec.GetData3(), "");
    EXPECT_EQ(rec.m_strMimeVersion, u"1.1");
    EXPECT_EQ(rec.m_strBoundary, u"xyz");

    // No boundary parameter: none.
    rec.SetBoundary(u"keep");
    ASSERT_TRUE(Load("ToruCa\r\nContent-Type: multipart/mixed\r\n"));
    EXPECT_EQ(rec.m_strBoundary, u"");
}

TEST(TpjReaderToInt, LenientLikeTheRuntime) {
    EXPECT_EQ(qel::format::ToInt(u"12abc"), 12);
    EXPECT_EQ(qel::format::ToInt(u"abc"), 0);
    EXPECT_EQ(qel::format::ToInt(u""), 0);
    EXPECT_EQ(qel::format::ToInt(u" \t-0042x"), -42);
    EXPECT_EQ(qel::format::ToInt(u"+7"), 7);
    EXPECT_EQ(qel::format::ToInt(u"- 7"), 0);
    EXPECT_EQ(qel::format::ToInt(u"\u30007"), 0);  // the ideographic space is text
    EXPECT_EQ(qel::format::ToInt(u"99999999999"), 2147483647);
    EXPECT_EQ(qel::format::ToInt(u"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(qel::format::ToInt(u"-99999999999"), -2147483647 - 1);
}

TEST_F(TpjReader, GetParamRules) {
    auto g = [](const char16_t* v, const char16_t* n) { return qel::format::GetParam(v, n); };
    EXPECT_EQ(g(u"image/gif;name=\"a.gif\";", u"name"), u"a.gif");
    EXPECT_EQ(g(u"application/x-ticon;name=\"i.gif\";title=\"Shop\"", u"title"), u"Shop");
    EXPECT_EQ(g(u"IMAGE/GIF;name=\"a.gif\"", u"name"), u"a.gif");
    EXPECT_EQ(g(u"image/gif; name=\"a.gif\"", u"name"), u"");  // pieces are not trimmed at the front
    EXPECT_EQ(g(u"image/gif;Name=\"a.gif\"", u"name"), u"");   // the name compares exactly
    EXPECT_EQ(g(u"name=\"\";name=\"b\"", u"name"), u"b");      // an empty value does not count
    EXPECT_EQ(g(u"name=\"a\"b\"", u"name"), u"a");             // cut at the first quote
    EXPECT_EQ(g(u"name=\"open", u"name"), u"");
    EXPECT_EQ(g(u"x;  ;name=\"a\"  ", u"name"), u"a");
    EXPECT_EQ(g(u"", u"name"), u"");
}

}  // namespace
