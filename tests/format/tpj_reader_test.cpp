// LoadFile: write -> read -> write round trips over every form and version,
// the reading rules of the header block and of the MIME parts, Base64 bodies
// decoded while they are read (compared with the decoder reading the whole
// body at once), attachments with hostile names, and every truncation of a
// valid file.
#include "format/tpj_reader.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "format/attachment_store.h"
#include "format/base64.h"
#include "format/tpj_writer.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/strings.h"
#include "host/report.h"
#include "model/tpjfile.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::u16string W(const fs::path& p) { return qel::framework::PathFromNative(p.string()); }
fs::path P(const std::u16string& p) { return fs::path(qel::framework::PathToNative(p)); }

std::string Random(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// The files under `dir`, by their paths relative to it.
std::multiset<std::string> Files(const fs::path& dir) {
    std::multiset<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files.insert(e.path().lexically_relative(dir).string());
    return files;
}

// The HTML a reader gives back for what was written: its lines with CR LF
// ends (the writer writes a LF alone as CR LF).
std::u16string HtmlAsRead(const std::u16string& html) {
    std::u16string out;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == u'\n' && (i == 0 || html[i - 1] != u'\r')) out += u'\r';
        out += html[i];
    }
    return out;
}

// The reference decoding of a Base64 body: the whole body, every line ended
// by CR LF, decoded in one call.
std::string DecodeWhole(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    std::size_t count = 0;
    const std::unique_ptr<unsigned char[]> bytes = qel::format::DecodeBase64Bytes(text.data(), text.size(), count);
    return std::string(reinterpret_cast<const char*>(bytes.get()), count);
}

// `count` random lines of a Base64 body in one of four styles: 76 digits
// with a padded last group (0), whole groups of any number (1), any number
// of digits with now and then a character outside the alphabet (2, 3).
std::vector<std::string> RandomBodyLines(std::mt19937& rng, std::size_t count, int style) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string noise = std::string("= \t\x81\xFF-*\r\0", 9) + std::string(1, '\0');
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t len = style == 0 ? 76 : style == 1 ? 4 * (rng() % 40) : rng() % 100;
        std::string l;
        for (std::size_t k = 0; k < len; ++k)
            l += (style >= 2 && rng() % 50 == 0) ? noise[rng() % noise.size()] : alphabet[rng() % 64];
        if (style == 0 && i + 1 == count) l.resize(70), l += "AAA=";
        lines.push_back(l);
    }
    return lines;
}

class TpjReader : public qel::test::TempDirTest {
protected:
    // Loads `bytes` written to a file outside the temporary folder into rec.
    bool Load(const std::string& bytes) {
        fs::create_directories(dir() / "in");
        qel::test::WriteFileBytes(dir() / "in" / "file.trc", bytes);
        return qel::format::LoadFile(rec, W(dir() / "in" / "file.trc"));
    }
    // A detail file of `headers` (CR LF after each) and a MIME body with these parts.
    static std::string Detail(const std::string& headers, const std::vector<std::string>& parts, bool closed = true) {
        std::string s = "ToruCa\r\n" + headers +
                        "\r\nMIME-Version: 1.0\r\n"
                        "Content-Type: multipart/mixed;boundary=\"B\"\r\n\r\n";
        for (const auto& p : parts) s += "--B\r\n" + p;
        if (closed) s += "--B--\r\n";
        return s;
    }
    static std::string Attachment(const std::string& headerLines, const std::string& body) {
        return headerLines + "Content-Transfer-Encoding: base64\r\n\r\n" + body + "\r\n";
    }

    CQelTpjFile rec{TYPE_PROJECT};
};

// --- Round trips -----------------------------------------------------------------

TEST_F(TpjReader, RoundTripsEveryFormAndVersion) {
    const fs::path src = dir() / "src";
    fs::create_directories(src);
    const std::string icon = "GIF89a" + Random(300, 1);
    const std::vector<std::pair<std::string, std::string>> images = {
        {"logo.gif", "GIF89a" + Random(51, 2)},  // 57 bytes: ends on a full Base64 line
        {"ケーキ セット.jpg", "\xFF\xD8\xFF" + Random(5000, 3)},
        {"star.png", "\x89PNG\r\n\x1A\n" + Random(58, 4)},
        {"empty.bin", ""},
    };
    qel::test::WriteFileBytes(src / "icon.gif", icon);
    for (const auto& [name, bytes] : images) qel::test::WriteFileBytes(src / name, bytes);

    const std::u16string html =
        u"<html><body bgcolor=\"#ffffff\">\r\n<p>トルカ ～ ∥</p>\n"
        u"<img src=\"cid:image1\">\r<img src=\"cid:image2\"></body></html>";
    int round = 0;
    for (int type : {TYPE_PROJECT, TYPE_SNIP, TYPE_CARD}) {
        for (const char16_t* version : {u"1.0", u"1.1", u"2.0", u"2.1"}) {
            SCOPED_TRACE(::testing::Message() << "type " << type << " version " << qel::framework::WideToUtf8(version));
            CQelTpjFile orig(type);
            orig.SetVersion(version);
            orig.SetUrl(u"http://www.example.com/card.trc");
            orig.SetCategory(round % 2 ? 7 : 12345);
            orig.SetDist(round % 2 ? 4 : 2);
            orig.SetColorId(round % 3);
            orig.SetIpId(u"1234");
            orig.SetSortId(u"トルカ");
            orig.SetExpires(u"201231");
            orig.SetLastModified(u"2012312359");
            orig.SetData1(u"ようこそ\r\n二行目");
            orig.SetData2(u"");
            orig.SetData3(std::u16string(200, u'x'));
            orig.SetBoundary(u"----=_Part_0");
            orig.m_strHtml = html;
            orig.SetUniqueIcon(W(src / "icon.gif"), u"Shop \"A\"");
            int n = 0;
            for (const auto& img : images)
                orig.AddImage(W(src / img.first), u"image" + qel::framework::Widen(std::to_string(++n)));

            // Each round extracts into a folder of its own, so names stay as written.
            const fs::path temp = dir() / ("t" + std::to_string(round++));
            fs::create_directories(temp);
            ::setenv("QELHOST_TEMP_DIR", temp.c_str(), 1);
            const fs::path file = dir() / "in.tpj";
            qel::test::WriteFileBytes(file, qel::framework::WideToCp932(qel::format::GetFileText(orig)));

            CQelTpjFile loaded(TYPE_PROJECT);
            ASSERT_TRUE(qel::format::LoadFile(loaded, W(file)));
            EXPECT_EQ(loaded.GetType(), type);

            // What the loaded record should equal: a snippet carries no page,
            // icon or images; the title is cut at its double quote.
            CQelTpjFile want = orig;
            if (type == TYPE_SNIP) {
                want.m_strHtml.clear();
                want.SetUniqueIcon(u"", u"");
                want.m_arrImages.RemoveAll();
                want.SetBoundary(u"0000000000");
            } else {
                want.m_strHtml = HtmlAsRead(html);
                want.SetUniqueIcon(W(src / "icon.gif"), u"Shop ");
                ASSERT_EQ(loaded.m_arrImages.GetSize(), static_cast<int>(images.size()));
                std::u16string path, title;
                loaded.GetUniqueIcon(path, title);
                EXPECT_EQ(title, u"Shop ");
                EXPECT_EQ(P(path).parent_path(), temp);
                EXPECT_EQ(qel::test::ReadFileBytes(P(path)), icon);
                for (int i = 0; i < loaded.m_arrImages.GetSize(); ++i) {
                    const CQelTpjImgFile& e = loaded.m_arrImages[i];
                    EXPECT_EQ(e.m_strId, u"image" + qel::framework::Widen(std::to_string(i + 1)));
                    EXPECT_EQ(P(e.m_strPath).parent_path(), temp);
                    EXPECT_EQ(qel::test::ReadFileBytes(P(e.m_strPath)), images[static_cast<std::size_t>(i)].second)
                        << i;
                }
            }
            for (int form : {TYPE_PROJECT, TYPE_SNIP, TYPE_CARD}) {
                loaded.SetType(form);
                want.SetType(form);
                EXPECT_EQ(qel::framework::WideToCp932(qel::format::GetFileText(loaded)),
                          qel::framework::WideToCp932(qel::format::GetFileText(want)))
                    << "written as " << form;
            }
            // The originals were only read.
            EXPECT_EQ(qel::test::ReadFileBytes(src / "icon.gif"), icon);
        }
    }
}

TEST_F(TpjReader, LfOnlyFileReadsLikeCrLf) {
    const std::string crlf =
        Detail("Version: 2.1\r\nURL: http://a/\r\nData1: ZGF0YTE=\r\nCat: 0042",
               {"Content-Type: text/html;charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                "<p>a</p>\r\n<p>b</p>\r\n",
                Attachment("Content-Type: image/gif;name=\"a.gif\";\r\nContent-ID: <image1>\r\n", "R0lGODlh")});
    std::string lf;
    for (char c : crlf)
        if (c != '\r') lf += c;
    ASSERT_TRUE(Load(lf));
    EXPECT_EQ(rec.GetUrl(), u"http://a/");
    EXPECT_EQ(rec.m_nCategory, 42);
    EXPECT_EQ(rec.m_strHtml, u"<p>a</p>\r\n<p>b</p>");
    ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
    EXPECT_EQ(qel::test::ReadFileBytes(P(rec.m_arrImages[0].m_strPath)), "GIF89a");
    EXPECT_EQ(rec.GetType(), TYPE_CARD);
}

// A round trip changes nothing: write -> read gives the page back as it was
// written (a LF alone is written, and so read, as CR LF), read -> write the
// same bytes, and a part of any kind keeps its name.
TEST_F(TpjReader, ARoundTripIsAFixedPoint) {
    const std::vector<std::pair<std::string, std::string>> images = {
        {"pic.bmp", "BM" + Random(40, 5)},
        {"fav.ico", std::string("\0\0\1\0", 4) + Random(20, 6)},
        {"pic.webp", std::string("RIFF\x10\0\0\0WEBPVP8 ", 16) + Random(20, 7)},
        {"data.bin", Random(30, 8)},
    };
    const std::vector<std::string> types = {"image/bmp", "image/x-icon", "image/webp", "application/octet-stream"};
    int round = 0;
    for (const char16_t* page :
         {u"", u"test", u"test\r\n", u"a\r\n\r\n\r\n\r\n", u"\r\n", u"<p>a</p>\n<p>b</p>\n", u"<p>\n\n</p>"}) {
        SCOPED_TRACE(qel::framework::WideToUtf8(page));
        const fs::path temp = dir() / ("t" + std::to_string(round++));
        fs::create_directories(temp);
        ::setenv("QELHOST_TEMP_DIR", temp.c_str(), 1);
        CQelTpjFile orig(TYPE_CARD);
        orig.m_strHtml = page;
        for (std::size_t i = 0; i < images.size(); ++i)
            orig.AddImage(WriteFile("src" + std::to_string(round) + images[i].first, images[i].second),
                          u"image" + qel::framework::Widen(std::to_string(i + 1)));
        const std::string first = qel::framework::WideToCp932(qel::format::GetFileText(orig));
        for (std::size_t i = 0; i < images.size(); ++i)
            EXPECT_NE(first.find("\r\nContent-Type: " + types[i] + ";name=\"src" + std::to_string(round) +
                                 images[i].first + "\";\r\n"),
                      std::string::npos)
                << images[i].first;
        ASSERT_TRUE(Load(first));
        EXPECT_EQ(rec.GetType(), TYPE_CARD);
        EXPECT_EQ(rec.m_strHtml, HtmlAsRead(page));
        ASSERT_EQ(rec.m_arrImages.GetSize(), static_cast<int>(images.size()));
        for (int i = 0; i < rec.m_arrImages.GetSize(); ++i)
            EXPECT_EQ(P(rec.m_arrImages[i].m_strPath).filename().string(),
                      "src" + std::to_string(round) + images[static_cast<std::size_t>(i)].first);
        const std::string second = qel::framework::WideToCp932(qel::format::GetFileText(rec));
        EXPECT_EQ(second, first);
        // Read again into the same folder, where every name is now taken.
        ASSERT_TRUE(Load(first));
        EXPECT_EQ(qel::framework::WideToCp932(qel::format::GetFileText(rec)), first);
    }
    // A part whose header line is only its name piece, as older cards have
    // it, is still an image.
    ASSERT_TRUE(Load(Detail("", {Attachment("name=\"pic.bmp\";\r\nContent-ID: <image1>\r\n", "Qk0=")})));
    ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
    EXPECT_EQ(qel::test::ReadFileBytes(P(rec.m_arrImages[0].m_strPath)), "BM");
}

// Cards of other tools: the boundary parameter as MIME writes it (blanks
// around, any case, a token or a quoted string) and blanks after a delimiter
// (transport padding). The page's "-->" line, which the lenient rule would
// take for a delimiter, stays in the page.
TEST_F(TpjReader, BoundaryAsMimeWritesItAndTransportPadding) {
    const std::string page = "<!--\r\nx\r\n-->\r\n<p>a</p>";
    const std::vector<std::pair<std::string, std::string>> cases = {
        // the Content-Type value, padding
        {"multipart/mixed; boundary=\"b7\"", ""},
        {"multipart/mixed;boundary=b7", ""},
        {"Multipart/Mixed; Boundary = \"b7\" ; charset=x", ""},
        {"multipart/mixed;\tBOUNDARY=b7", ""},
        {"multipart/mixed; x=\"a;boundary=no\"; boundary=\"b\\7\"", ""},
        {"multipart/mixed;boundary=\"b7\"", " \t "},
    };
    for (const auto& [type, padding] : cases) {
        SCOPED_TRACE(type + "|" + padding);
        const std::string delimiter = "--b7" + padding + "\r\n";
        ASSERT_TRUE(Load("ToruCa\r\nType: CARD\r\nMIME-Version: 1.0\r\nContent-Type: " + type + "\r\n\r\n" + delimiter +
                         "Content-Type: text/html\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + page + "\r\n" +
                         delimiter +
                         Attachment("Content-Type: image/gif; name=\"a.gif\"\r\nContent-ID: <image1>\r\n", "R0lGODlh") +
                         "--b7--" + padding + "\r\n"));
        EXPECT_EQ(rec.m_strBoundary, u"b7");
        EXPECT_EQ(rec.m_strHtml, qel::framework::Widen(page));
        ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
        EXPECT_EQ(qel::test::ReadFileBytes(P(rec.m_arrImages[0].m_strPath)), "GIF89a");
    }
}

// A NUL in a header value or in the page is a character like any other: the
// file is written whole and reads back as it was.
TEST_F(TpjReader, ValuesAndPageHoldingNulComeBackWhole) {
    const std::u16string url(u"http://a/\0b", 11), sortId(u"ソ\0ト", 3);
    const std::u16string html(u"<p>a\0b</p>\r\n<img src=\"cid:image1\">", 34);
    CQelTpjFile orig(TYPE_PROJECT);
    orig.SetUrl(url);
    orig.SetSortId(sortId);
    orig.m_strHtml = html;
    orig.AddImage(WriteFile("a.gif", "GIF89a"), u"image1");
    const std::string bytes = qel::framework::WideToCp932(qel::format::GetFileText(orig));
    EXPECT_EQ(bytes.substr(bytes.size() - 18), "\r\n--0000000000--\r\n");

    ASSERT_TRUE(Load(bytes));
    EXPECT_EQ(rec.GetUrl(), url);
    EXPECT_EQ(rec.GetSortId(), sortId);
    EXPECT_EQ(rec.m_strHtml, HtmlAsRead(html));
    ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
    EXPECT_EQ(qel::test::ReadFileBytes(P(rec.m_arrImages[0].m_strPath)), "GIF89a");
}

// --- The header block --------------------------------------------------------------

TEST_F(TpjReader, FirstLineAndTypeLineDecideTheType) {
    const std::string html = "Content-Transfer-Encoding: 8bit\r\n\r\n<p>x</p>\r\n";
    struct Case {
        const char* file;
        int before, after;
    } cases[] = {
        {"ToruCa\r\nVersion: 2.1\r\n", TYPE_PROJECT, TYPE_SNIP},  // no body: snippet
        {"toruca\r\n", TYPE_PROJECT, TYPE_SNIP},                  // case is ignored
        {"ToruCa \r\n", 7, 7},                                    // not the whole line
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

// --- The MIME parts ----------------------------------------------------------------

TEST_F(TpjReader, ContentIdsIconsAndPartsWithoutDelimiter) {
    const std::string gif = "Content-Type: image/gif;name=\"a.gif\";\r\n";
    ASSERT_TRUE(Load(Detail(
        "Version: 2.1",
        {
            Attachment(gif + "Content-ID: <image1>\r\n", "QQ=="),
            Attachment(gif + "Content-ID: image2\r\n", "Qg=="),
            Attachment(gif, "Qw=="),
            Attachment(gif + "content-id: <>x\r\nContent-ID: <a>b>\r\n", "RA=="),  // the last one wins
            Attachment(gif + "Content-ID: <>x\r\n", "RQ=="),
            Attachment("Content-Type: application/x-ticon;name=\"i.gif\";title=\"One\"\r\n", "SQ=="),
            Attachment("Content-Type: application/x-ticon;name=\"i.gif\";title=\"Two\"\r\n", "Sg=="),
            Attachment("Content-Type: Application/X-Ticon;name=\"p.gif\"\r\n", "Sw=="),  // not the icon: case counts
            "Content-Type: image/gif;name=\"q.gif\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\nTA==\r\n",
            "Content-Type: image/gif;name=\"r.gif\"\r\n\r\nTQ==\r\n",
        })));
    const std::vector<std::pair<std::u16string, std::string>> want = {{u"image1", "A"}, {u"image2", "B"}, {u"", "C"},
                                                                      {u"a", "D"},      {u">x", "E"},     {u"", "K"}};
    ASSERT_EQ(rec.m_arrImages.GetSize(), static_cast<int>(want.size()));
    for (int i = 0; i < rec.m_arrImages.GetSize(); ++i) {
        const auto& [id, bytes] = want[static_cast<std::size_t>(i)];
        EXPECT_EQ(rec.m_arrImages[i].m_strId, id) << i;
        EXPECT_EQ(qel::test::ReadFileBytes(P(rec.m_arrImages[i].m_strPath)), bytes) << i;
    }
    std::u16string path, title;
    rec.GetUniqueIcon(path, title);
    EXPECT_EQ(title, u"Two");
    EXPECT_EQ(qel::test::ReadFileBytes(P(path)), "J");
    // Both icons were written, each file under the name its part gives it;
    // parts that are not Base64 write nothing.
    std::multiset<std::string> names;
    for (const auto& file : Files(dir())) names.insert(fs::path(file).filename().string());
    EXPECT_EQ(names, (std::multiset<std::string>{"a.gif", "a.gif", "a.gif", "a.gif", "a.gif", "i.gif", "i.gif", "p.gif",
                                                 "file.trc"}));

    // Without the closing delimiter the last part is lost, and so is its file.
    CQelTpjFile other(TYPE_CARD);
    fs::create_directories(dir() / "in");
    qel::test::WriteFileBytes(
        dir() / "in" / "open.trc",
        Detail("",
               {Attachment(gif, "QQ=="),
                Attachment("Content-Type: image/gif;name=\"big.gif\"\r\n", std::string(3 << 20, 'A'))},
               false));
    const auto before = Listing(dir());
    ASSERT_TRUE(qel::format::LoadFile(other, W(dir() / "in" / "open.trc")));
    EXPECT_EQ(other.m_arrImages.GetSize(), 1);
    auto after = Listing(dir());
    after.erase(fs::path(*P(other.m_arrImages[0].m_strPath).lexically_relative(dir()).begin()).string());
    EXPECT_EQ(after, before);
}

TEST_F(TpjReader, HtmlPartAndDelimiterLookalikes) {
    const std::string page =
        "second\r\n<!--\r\n-->\r\n--not a new part--\r\n--B x\r\n--Bx\r\n--B-\r\n--B---\r\nafter\r\n";
    ASSERT_TRUE(Load(Detail(
        "",
        {
            "Content-Type: text/html\r\nContent-Transfer-Encoding: 8BIT\r\n\r\n<p>\r\n\r\n</p>\r\n",
            "Content-Transfer-Encoding: 8bit\r\nX: y\r\n\r\n" + page,
            "Content-Type: x;name=\"i.gif\"\r\nContent-ID: <i>\r\nContent-Transfer-Encoding: base64\r\n\r\nUE5H\r\n",
        })));
    // The second HTML part wins. The body declares its boundary "B": only
    // "--B" and "--B--" delimit, other lines that start with hyphens are text.
    // The last line end is the delimiter's.
    EXPECT_EQ(rec.m_strHtml, qel::framework::Widen(page.substr(0, page.size() - 2)));
    ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
    EXPECT_EQ(qel::test::ReadFileBytes(P(rec.m_arrImages[0].m_strPath)), "PNG");
    // A file that declares no boundary keeps the lenient rule: two hyphens
    // start a part, and "--…--" closes the body; after it, lines are
    // headers again.
    ASSERT_TRUE(Load("ToruCa\r\n--B\r\nContent-Transfer-Encoding: 8bit\r\n\r\nx\r\n-----\r\nURL: http://after/\r\n"));
    EXPECT_EQ(rec.GetUrl(), u"http://after/");
    EXPECT_EQ(rec.m_strHtml, u"x");
    // "----" is too short to close: it opens a part.
    ASSERT_TRUE(Load("ToruCa\r\n----\r\nContent-Transfer-Encoding: 8bit\r\n\r\ny\r\n--\r\n"));
    EXPECT_EQ(rec.m_strHtml, u"y");
}

TEST_F(TpjReader, EmptyFileAndFilesThatCannotBeRead) {
    rec.m_strHtml = u"old";
    rec.AddImage(u"/x", u"image1");
    rec.SetUniqueIcon(u"/icon.gif", u"Icon");
    rec.SetUrl(u"http://keep/");
    ASSERT_TRUE(Load(""));
    EXPECT_EQ(rec.m_strHtml, u"");
    EXPECT_EQ(rec.m_arrImages.GetSize(), 0);
    std::u16string path, title;
    rec.GetUniqueIcon(path, title);
    EXPECT_EQ(path, u"/icon.gif");
    EXPECT_EQ(rec.GetUrl(), u"http://keep/");
    EXPECT_EQ(rec.GetType(), TYPE_PROJECT);

    rec.m_strHtml = u"old";
    EXPECT_FALSE(qel::format::LoadFile(rec, W(dir() / "missing.tpj")));
    EXPECT_EQ(rec.m_strHtml, u"");
    EXPECT_FALSE(qel::format::LoadFile(rec, wdir()));  // a folder
    EXPECT_FALSE(qel::format::LoadFile(rec, u""));
    // Neither a pipe (no writer: it would block) nor an endless device is read.
    ASSERT_EQ(::mkfifo((dir() / "pipe.trc").c_str(), 0600), 0);
    EXPECT_FALSE(qel::format::LoadFile(rec, W(dir() / "pipe.trc")));
    EXPECT_FALSE(qel::format::LoadFile(rec, u"/dev/zero"));
}

// Header lines are short; one longer than 1 MiB is a damaged file, refused
// before the line is held. Body lines may be of any length (see below).
TEST_F(TpjReader, OverlongHeaderLineIsADamagedFile) {
    const std::string mib(1u << 20, 'u');
    EXPECT_TRUE(Load(Detail("URL: " + mib.substr(5), {})));  // exactly 1 MiB, ends in CR LF
    EXPECT_FALSE(Load(Detail("URL: " + mib, {})));
    EXPECT_FALSE(Load("ToruCa" + mib + "\r\n"));
    EXPECT_FALSE(Load(Detail("", {Attachment("Content-Type: image/gif;name=\"" + mib + "\"\r\n", "QQ==")})));
    EXPECT_EQ(Listing(dir()), std::set<std::string>{"in"});  // no attachment left behind
}

TEST_F(TpjReader, BytesThatAreNotCodePage932AndVeryLongLines) {
    const std::string longHtml(5 << 20, 'h');
    const std::string image = Random(3 << 20, 9);
    std::u16string b64;
    qel::format::AppendBase64(b64, reinterpret_cast<const unsigned char*>(image.data()), image.size(),
                              BASE64_NO_LINE_BREAKS);
    const std::string oneLine = qel::framework::WideToCp932(b64);
    ASSERT_TRUE(Load(Detail("URL: http://\x81\xFF\x80/\r\nSort-ID: \x82\r\nData1: \x82\xA0YWJj\xFF",
                            {"Content-Transfer-Encoding: 8bit\r\n\r\n\x81\r\n" + longHtml + "\r\n",
                             Attachment("Content-Type: image/gif;name=\"\x81\x7F\xFF.gif\"\r\n", "\xFF" + oneLine)})));
    EXPECT_EQ(rec.GetUrl(), u"http://\uFFFD\uFFFD\uFFFD/");
    EXPECT_EQ(rec.GetSortId(), u"\uFFFD");
    EXPECT_EQ(rec.GetData1(), "abc");  // foreign bytes are skipped, not turned into text
    EXPECT_EQ(rec.m_strHtml, u"\uFFFD\r\n" + qel::framework::Widen(longHtml));
    ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
    EXPECT_TRUE(qel::test::ReadFileBytes(P(rec.m_arrImages[0].m_strPath)) == image);
}

// Base64 bodies are decoded as they are read; whatever their lines look like,
// the bytes are those of the decoder reading the whole body at once.
TEST_F(TpjReader, Base64BodiesDecodeAsOneText) {
    std::mt19937 rng(7);
    std::vector<std::vector<std::string>> bodies = {
        {},
        {""},
        {"QUJD", "", "REVG"},
        {"QUJD", std::string("\0REVG", 5)},  // a NUL after a whole group inside the text: skipped
        {std::string("\0QUJD", 5), "REVG"},  // a NUL where the text starts: nothing
        {"QUJD", std::string("RA\0==", 5), "RUZH"},
        {"QUJ", "DREVG"},  // groups across lines
        {"QUJDRA==QUJD"},
    };
    for (int b = 0; b < 40; ++b) {
        const std::size_t count = b < 4 ? 20000 + rng() % 30000 : rng() % 200;  // some over the 1 MiB buffer
        std::vector<std::string> lines = RandomBodyLines(rng, count, b % 4);
        if (b == 5)
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lines.size() / 2), std::string(3 << 20, 'Q'));
        bodies.push_back(lines);
    }
    int n = 0;
    for (const auto& lines : bodies) {
        SCOPED_TRACE(n);
        std::string body;
        for (const auto& l : lines) body += l + "\r\n";
        const std::string name = "b" + std::to_string(n++) + ".bin";
        ASSERT_TRUE(Load(Detail("", {"Content-Type: x;name=\"" + name +
                                     "\"\r\nContent-ID: <x>\r\nContent-Transfer-Encoding: base64\r\n\r\n" + body})));
        ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
        EXPECT_TRUE(qel::test::ReadFileBytes(P(rec.m_arrImages[0].m_strPath)) == DecodeWhole(lines));
    }
}

// --- Attachments and the temporary folder -----------------------------------------------------

TEST_F(TpjReader, AttachmentNamesNeverLeadOutOfTheFolder) {
    // The temporary folder is a subfolder, so that its parent can be watched.
    const fs::path temp = dir() / "temp";
    fs::create_directories(temp);
    ::setenv("QELHOST_TEMP_DIR", temp.c_str(), 1);
    qel::test::WriteFileBytes(temp / "x.gif", "keep me");
    qel::test::WriteFileBytes(dir() / "in.trc", "");
    const auto parentBefore = Listing(dir());
    const char* names[] = {"../../x.gif", "/etc/passwd", "a/b.gif", "..\\\\x.gif",          "..\\x.gif", "",
                           "..",          ".",           "x.gif",   "tab\tand\001bell.gif", "/"};
    std::vector<std::string> parts;
    for (const char* name : names)
        parts.push_back(
            Attachment(std::string("Content-Type: image/gif;name=\"") + name + "\"\r\nContent-ID: <i>\r\n", "UE5H"));
    qel::test::WriteFileBytes(dir() / "in.trc", Detail("", parts));
    ASSERT_TRUE(qel::format::LoadFile(rec, W(dir() / "in.trc")));
    EXPECT_EQ(Listing(dir()), parentBefore);
    EXPECT_EQ(qel::test::ReadFileBytes(temp / "x.gif"), "keep me");
    ASSERT_EQ(rec.m_arrImages.GetSize(), static_cast<int>(std::size(names)));
    std::set<std::u16string> paths;
    for (int i = 0; i < rec.m_arrImages.GetSize(); ++i) {
        const fs::path p = P(rec.m_arrImages[i].m_strPath);
        EXPECT_TRUE(p.parent_path() == temp || p.parent_path().parent_path() == temp) << p;
        EXPECT_EQ(qel::test::ReadFileBytes(p), "PNG") << p;
        paths.insert(rec.m_arrImages[i].m_strPath);
    }
    EXPECT_EQ(paths.size(), std::size(names));  // every attachment has a file of its own
    EXPECT_EQ(Listing(temp).size(), std::size(names) + 1);
}

TEST_F(TpjReader, ALinkAtTheNameIsNeverFollowed) {
    const fs::path temp = dir() / "temp";
    fs::create_directories(temp);
    ::setenv("QELHOST_TEMP_DIR", temp.c_str(), 1);
    qel::test::WriteFileBytes(dir() / "target", "keep me");
    fs::create_symlink(dir() / "target", temp / "a.gif");
    fs::create_symlink(dir() / "nowhere", temp / "b.gif");
    ASSERT_TRUE(Load(Detail("", {Attachment("Content-Type: image/gif;name=\"a.gif\"\r\n", "UE5H"),
                                 Attachment("Content-Type: image/gif;name=\"b.gif\"\r\n", "UE5H")})));
    EXPECT_EQ(qel::test::ReadFileBytes(dir() / "target"), "keep me");
    EXPECT_FALSE(fs::exists(dir() / "nowhere"));
    ASSERT_EQ(rec.m_arrImages.GetSize(), 2);
    // Each file keeps its name, in a folder of its own beside the links.
    for (int i = 0; i < 2; ++i) {
        const fs::path p = P(rec.m_arrImages[i].m_strPath);
        EXPECT_EQ(p.filename(), i == 0 ? "a.gif" : "b.gif");
        EXPECT_EQ(p.parent_path().parent_path(), temp);
        EXPECT_EQ(qel::test::ReadFileBytes(p), "PNG");
    }
}

TEST_F(TpjReader, AnAttachmentThatCannotBeWrittenWholeFailsTheLoadAndLeavesNoFile) {
    // No folder to write to: the card would refer to an image that is not there.
    ::setenv("QELHOST_TEMP_DIR", (dir() / "no" / "such").c_str(), 1);
    qel::test::WriteFileBytes(dir() / "no", "a file where the folder should be");
    qel::host::BeginExportReport();
    EXPECT_FALSE(Load(Detail("URL: http://u/", {"Content-Transfer-Encoding: 8bit\r\n\r\nh\r\n",
                                                Attachment("Content-Type: image/gif;name=\"a.gif\"\r\n", "UE5H")})));
    EXPECT_EQ(rec.m_arrImages.GetSize(), 0);
    EXPECT_EQ(qel::host::TakeExportReport().why.rfind(u"attachment " + W(dir() / "no" / "such" / "a.gif"), 0), 0u);

    // The disk fills up (the file size limit stands in for it) in the third
    // attachment, large enough to be written behind the decoding: the files
    // of the first two go as well.
    const fs::path temp = dir() / "temp";
    fs::create_directories(temp);
    ::setenv("QELHOST_TEMP_DIR", temp.c_str(), 1);
    const std::string icon = "Content-Type: application/x-ticon;name=\"i.gif\";title=\"T\"\r\n";
    qel::test::WriteFileBytes(
        dir() / "in.trc",
        Detail("", {Attachment(icon, "UE5H"),
                    Attachment("Content-Type: image/gif;name=\"a.gif\"\r\nContent-ID: <a>\r\n", "UE5H"),
                    Attachment("Content-Type: image/gif;name=\"b.gif\"\r\nContent-ID: <b>\r\n",
                               std::string(400000, 'Q'))}));
    rec.SetUniqueIcon(u"/kept/icon.gif", u"kept");
    qel::host::BeginExportReport();
    bool loaded = true;
    {
        const qel::test::FileSizeLimit limit(1000);
        loaded = qel::format::LoadFile(rec, W(dir() / "in.trc"));
    }
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(fs::is_empty(temp)) << *Listing(temp).begin();
    EXPECT_EQ(rec.m_arrImages.GetSize(), 0);
    EXPECT_EQ(rec.m_uniqueIcon.m_strPath, u"/kept/icon.gif") << "the record names no removed file";
    EXPECT_EQ(qel::host::TakeExportReport().why,
              u"attachment " + W(temp / "b.gif") + u" cannot be written: File too large");
}

// Every prefix of a valid file loads; what its complete lines say is read,
// and the only files left are those the record names.
TEST_F(TpjReader, EveryTruncationLoads) {
    const fs::path src = dir() / "src";
    fs::create_directories(src);
    qel::test::WriteFileBytes(src / "i.gif", "GIF89a" + Random(60, 5));
    qel::test::WriteFileBytes(src / "p.png", "\x89PNG\r\n\x1A\n" + Random(130, 6));
    CQelTpjFile orig(TYPE_CARD);
    orig.SetUrl(u"http://www.example.com/");
    orig.SetCategory(3);
    orig.SetColorId(5);
    orig.m_strHtml = u"<p>カード</p>\r\n<img src=\"cid:image1\">";
    orig.SetUniqueIcon(W(src / "i.gif"), u"T");
    orig.AddImage(W(src / "p.png"), u"image1");
    orig.AddImage(W(src / "i.gif"), u"image2");
    const std::string full = qel::framework::WideToCp932(qel::format::GetFileText(orig));
    const fs::path temp = dir() / "temp";
    ::setenv("QELHOST_TEMP_DIR", temp.c_str(), 1);

    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::string prefix = full.substr(0, cut);
        fs::remove_all(temp);
        fs::create_directories(temp);
        CQelTpjFile r(TYPE_PROJECT);
        qel::test::WriteFileBytes(dir() / "cut.trc", prefix);
        ASSERT_TRUE(qel::format::LoadFile(r, W(dir() / "cut.trc")));
        if (prefix.find("URL: http://www.example.com/\r\n") != std::string::npos) {
            EXPECT_EQ(r.GetUrl(), u"http://www.example.com/");
        }
        if (prefix.find("Cat: 0003\r\n") != std::string::npos) {
            EXPECT_EQ(r.m_nCategory, 3);
        }
        if (prefix.find("Color-ID: 5\r\n") != std::string::npos) {
            EXPECT_EQ(r.m_nColorId, 5);
        }
        if (cut == full.size()) {
            EXPECT_EQ(r.m_arrImages.GetSize(), 2);
            EXPECT_EQ(r.GetType(), TYPE_CARD);
        }
        std::multiset<std::string> named;
        for (int i = 0; i < r.m_arrImages.GetSize(); ++i)
            named.insert(P(r.m_arrImages[i].m_strPath).lexically_relative(temp).string());
        std::u16string path, title;
        r.GetUniqueIcon(path, title);
        if (!path.empty()) named.insert(P(path).lexically_relative(temp).string());
        EXPECT_EQ(Files(temp), named);
    }
}

}  // namespace

// The reader against a store of its own: Base64 bodies of every shape decode
// as the whole body read as one text would (lines gathered into runs must
// never change a byte), large attachments reach the store in large blocks,
// and the store sees exactly the parts that are taken.
namespace {

// Attachments in memory; every call is recorded.
class MemoryStore final : public qel::format::AttachmentStore {
public:
    struct Item {
        std::u16string name;
        std::string bytes;
        std::vector<std::size_t> writes;
    };
    void Create(const std::u16string& name) override {
        EXPECT_FALSE(open) << "one attachment at a time";
        open = true;
        current = Item{name, {}, {}};
    }
    void Write(const unsigned char* bytes, std::size_t count) override {
        EXPECT_TRUE(open);
        if (failAfter != std::string::npos && current.bytes.size() + count > failAfter)
            throw CFileException(CFileException::diskFull, 28, u"/mem/" + current.name);
        current.bytes.append(reinterpret_cast<const char*>(bytes), count);
        if (count > 0) current.writes.push_back(count);
    }
    std::u16string Commit() override {
        EXPECT_TRUE(open);
        open = false;
        committed.push_back(current);
        return u"/mem/" + qel::framework::Utf8ToWide(std::to_string(committed.size()));
    }
    void Discard() noexcept override {
        if (open) ++discarded;
        open = false;
    }
    void RemoveCommitted() noexcept override { removed = committed.size(); }

    bool open = false;
    Item current;
    std::vector<Item> committed;
    int discarded = 0;
    std::size_t removed = 0;
    std::size_t failAfter = std::string::npos;
};

std::string Card(const std::vector<std::string>& bodies, bool closed = true) {
    std::string s =
        "ToruCa\r\nVersion: 2.1\r\nType: CARD\r\n\r\nURL: u\r\n\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed;boundary=\"b\"\r\n\r\n";
    int n = 0;
    for (const std::string& body : bodies) {
        ++n;
        s += "--b\r\nContent-Type: image/gif;name=\"i" + std::to_string(n) +
             ".gif\"\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <image" + std::to_string(n) + ">\r\n\r\n";
        s += body;
    }
    if (closed) s += "--b--\r\n";
    return s;
}

// What a body decodes to, read as one text with a line end after each line.
std::string AsOneText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    std::string out(text.size() + 1, '\0');
    std::size_t n = text.size();
    EXPECT_TRUE(DecodeBase64(text.data(), text.size(), reinterpret_cast<unsigned char*>(out.data()), &n));
    out.resize(n);
    return out;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\r\n";
    return s;
}

std::string Encoded(const std::string& bytes) {
    std::string out(Base64RequiredLength(bytes.size(), 0), '\0');
    std::size_t n = out.size();
    EncodeBase64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data(), &n, 0);
    out.resize(n);
    return out;
}

class CardReader : public qel::test::TempDirTest {
protected:
    bool Read(const std::string& file, MemoryStore& store) {
        const std::u16string path = WriteFile("card.trc", file);
        return qel::format::ReadCard(rec, path, store);
    }
    CQelTpjFile rec{TYPE_PROJECT};
};

TEST_F(CardReader, BodiesDecodeAsOneTextWhateverTheirLines) {
    std::mt19937 rng(5);
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    // Clean lines of whole groups, with now and then a line of another
    // length, a pad, a blank, a NUL (at a line's start or inside it), a
    // byte of 0x80 or more, or an empty line; some bodies long enough to
    // fill several runs.
    const std::string digits76 = alphabet + alphabet.substr(0, 12);
    const std::vector<std::vector<std::string>> fixed = {
        // A NUL where the body starts ends it; one after a line end does not.
        {std::string(1, '\0') + digits76.substr(1), digits76, digits76},
        {digits76, std::string(1, '\0') + digits76.substr(1), digits76},
        {digits76.substr(0, 72) + "====", digits76},
    };
    for (std::size_t round = 0; round < 40 + fixed.size(); ++round) {
        std::vector<std::string> lines;
        if (round >= 40) {
            lines = fixed[round - 40];
            MemoryStore store;
            ASSERT_TRUE(Read(Card({Joined(lines)}), store));
            ASSERT_EQ(store.committed.size(), 1u);
            ASSERT_TRUE(store.committed[0].bytes == AsOneText(lines)) << "fixed case " << round - 40;
            continue;
        }
        const std::size_t count = round % 8 == 7 ? 40000 + rng() % 2000 : rng() % 60;
        const unsigned long dirtEvery = round % 5 == 0 ? 0 : 1 + rng() % 3000;
        for (std::size_t i = 0; i < count; ++i) {
            std::string line;
            const std::size_t len = 4 * (1 + rng() % 19);
            for (std::size_t k = 0; k < len; ++k) line += alphabet[rng() % 64];
            if (dirtEvery && rng() % dirtEvery == 0) {
                static const char kDirt[] = {'=', ' ', '\0', '\x81', '*'};
                switch (rng() % 4) {
                    case 0: line.insert(rng() % (line.size() + 1), 1, kDirt[rng() % sizeof kDirt]); break;
                    case 1: line.pop_back(); break;
                    case 2: line = std::string(1, '\0') + line; break;
                    default: line.clear(); break;
                }
            }
            lines.push_back(line);
        }
        MemoryStore store;
        ASSERT_TRUE(Read(Card({Joined(lines)}), store));
        ASSERT_EQ(store.committed.size(), 1u);
        ASSERT_TRUE(store.committed[0].bytes == AsOneText(lines)) << "round " << round;
        EXPECT_EQ(store.committed[0].name, u"i1.gif");
    }
}

TEST_F(CardReader, ALargeAttachmentReachesTheStoreInLargeBlocks) {
    std::string image(57 * 110376, '\0');  // whole lines: no pad, one partial block at the end
    std::mt19937 rng(9);
    for (char& c : image) c = static_cast<char>(rng());
    MemoryStore store;
    ASSERT_TRUE(Read(Card({Encoded(image) + "\r\n"}), store));
    ASSERT_EQ(store.committed.size(), 1u);
    EXPECT_TRUE(store.committed[0].bytes == image);
    const auto& writes = store.committed[0].writes;
    ASSERT_GE(writes.size(), 2u);
    for (std::size_t i = 0; i + 1 < writes.size(); ++i) EXPECT_GE(writes[i], std::size_t{1} << 20) << "write " << i;
    ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
    EXPECT_EQ(rec.m_arrImages[0].m_strPath, u"/mem/1");
}

TEST_F(CardReader, TheStoreSeesOnlyTakenPartsAndAFailureTakesAllBack) {
    const std::string small = Encoded("GIF89a small") + "\r\n";
    {
        // The last part has no delimiter after it: it is dropped.
        MemoryStore store;
        ASSERT_TRUE(
            Read(Card({small, small + "--b\r\n" + "Content-Transfer-Encoding: base64\r\n\r\n" + small}, false), store));
        EXPECT_EQ(store.committed.size(), 2u);
        EXPECT_FALSE(store.open);
    }
    {
        // The store refuses the second part's bytes: the load fails, the
        // first part is taken back, and the record lists no image.
        MemoryStore store;
        std::string big(3 << 20, 'x');
        store.failAfter = big.size() - 1;
        EXPECT_FALSE(Read(Card({small, Encoded(big) + "\r\n"}), store));
        EXPECT_EQ(store.committed.size(), 1u);
        EXPECT_EQ(store.removed, 1u);
        EXPECT_FALSE(store.open);
        EXPECT_EQ(rec.m_arrImages.GetSize(), 0);
    }
}

}  // namespace
