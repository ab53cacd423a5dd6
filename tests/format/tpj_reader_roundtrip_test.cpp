// LoadFile's round trips: write -> read -> write over every form and
// version, LF-only files, fixed points, and values that hold a NUL.
#include "tests/format/reader_testing.h"

namespace {

using namespace qel::test::reader;

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
        {"clip.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + Random(20, 9)},  // RIFF, but no WebP
    };
    const std::vector<std::string> types = {"image/bmp", "image/x-icon", "image/webp", "application/octet-stream",
                                            "application/octet-stream"};
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
        {"multipart/mixed; boundary=\"b7\"", ""},    {"multipart/mixed;boundary=b7", ""},
        {"multipart/mixed; boundary=b7 ; x=y", ""},  {"Multipart/Mixed; Boundary = \"b7\" ; charset=x", ""},
        {"multipart/mixed;\tBOUNDARY=b7", ""},       {"multipart/mixed; x=\"a;boundary=no\"; boundary=\"b\\7\"", ""},
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

}  // namespace
