// Cards as other MIME writers make them: the page part in every transfer
// encoding, folded header lines, the names other writers give their parts,
// and Python's email package writing the MIME body.
#include <cstdlib>
#include <map>

#include "tests/format/reader_testing.h"

namespace {

using namespace qel::test::reader;

// The text the reader gives for page bytes: code page 932, every LF a CR LF.
std::u16string PageAsRead(const std::string& page) { return HtmlAsRead(qel::framework::Cp932ToWide(page)); }

// Python's email package with policy.default: the message's Content-Type
// folded before its boundary, the Shift_JIS page in the transfer encoding
// asked for (quoted-printable with soft line breaks in the long line), the
// image's file name in a folded Content-Disposition.
TEST_F(TpjReader, CardsThatPythonsEmailPackageWritesReadWhole) {
    const std::string longLine = std::string(150, 'x') + " a=b\n";
    const std::string japanese = "<html><body>\x83\x50\x81\x5B\x83\x4C<img src=\"cid:image1\">\n--not a delimiter\n" +
                                 longLine + "</body></html>\n";
    const std::string ascii = "<html><body>=3D stays\n--x\n" + longLine + "</body></html>\n";
    const std::string image = std::string("GIF89a\0\x01\xFF", 9) + Random(300, 7);
    const std::string imageName = "a_star_whose_name_is_long_enough_to_fold_its_header_line.gif";
    fs::create_directories(dir() / "in");
    qel::test::WriteFileBytes(dir() / "in" / imageName, image);
    struct Case {
        const char* cte;
        const std::string& page;
        std::u16string want;
    };
    // A page that says 8bit is read as the original's cards are: the empty
    // lines at its end are the writer's padding.
    const std::string japaneseWithoutEnd = japanese.substr(0, japanese.size() - 1);
    const Case cases[] = {
        {"base64", japanese, PageAsRead(japanese)},         {"quoted-printable", japanese, PageAsRead(japanese)},
        {"8bit", japanese, PageAsRead(japaneseWithoutEnd)}, {"7bit", ascii, PageAsRead(ascii)},
        {"quoted-printable", ascii, PageAsRead(ascii)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cte);
        qel::test::WriteFileBytes(dir() / "in" / "page.html", c.page);
        const fs::path card = dir() / "in" / "python.trc";
        const std::string command = "python3 '" + std::string(QEL_SOURCE_DIR) + "/tests/support/write_mime.py' '" +
                                    card.string() + "' " + c.cte + " '" + (dir() / "in" / "page.html").string() +
                                    "' '" + (dir() / "in" / imageName).string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        ASSERT_TRUE(qel::format::LoadFile(rec, W(card)));
        EXPECT_EQ(rec.m_nType, TYPE_CARD);
        EXPECT_EQ(rec.m_strHtml, c.want);
        ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
        EXPECT_EQ(rec.m_arrImages[0].m_strId, u"image1");
        EXPECT_EQ(P(rec.m_arrImages[0].m_strPath).filename(), imageName);
        EXPECT_EQ(qel::test::ReadFileBytes(P(rec.m_arrImages[0].m_strPath)), image);
    }
}

// Which part is the page, and how its body is read, by its headers.
TEST_F(TpjReader, ThePagePartIsReadInEveryTransferEncoding) {
    const std::string body = "<p>a=3D\r\n--b\r\n";
    struct Case {
        std::string headers;
        std::u16string page;  // empty: the part is not the page
    } const cases[] = {
        {"Content-Type: text/html\r\n", u"<p>a=3D\r\n--b"},
        {"Content-Type: TEXT/HTML ; charset=Shift_JIS\r\nContent-Transfer-Encoding: 7bit\r\n", u"<p>a=3D\r\n--b"},
        {"Content-Type: text/html\r\nContent-Transfer-Encoding: binary\r\n", u"<p>a=3D\r\n--b"},
        {"Content-Type: text/html\r\nContent-Transfer-Encoding: Quoted-Printable\r\n", u"<p>a=\r\n--b"},
        {"Content-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n", u"caf\u00e9\r\n"},
        {"Content-Type: text/html;\r\n charset=\"euc-jp\"\r\nContent-Transfer-Encoding: base64\r\n",
         u"\u30b1\u30fc\u30ad"},
        // Without a type, the first part is the page; a later one is ignored.
        {"", u"<p>a=3D\r\n--b"},
        {"X-First: no\r\n", u"<p>a=3D\r\n--b"},
        {"Content-Type: text/plain\r\n", u""},
    };
    const std::map<std::string, std::string> base64Bodies = {{"utf-8", "Y2Fmw6kK\r\n"}, {"euc-jp", "pbGhvKWt\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.headers);
        std::string partBody = body;
        for (const auto& [charset, encoded] : base64Bodies)
            if (c.headers.find(charset) != std::string::npos) partBody = encoded;
        ASSERT_TRUE(Load(Detail("", {c.headers + "\r\n" + partBody})));
        EXPECT_EQ(rec.m_strHtml, c.page);
    }
    // A part without a type after the first is no page.
    ASSERT_TRUE(Load(Detail("", {"Content-Type: text/html\r\n\r\nfirst\r\n", "\r\nsecond\r\n"})));
    EXPECT_EQ(rec.m_strHtml, u"first");
}

TEST_F(TpjReader, FoldedHeaderLinesAndTheNameLineOfTheOriginal) {
    // The message's Content-Type folded before its boundary: the page's
    // "--" lines are no delimiters. A top line of the card's own is not
    // joined with a line that starts with a blank.
    const std::string page = "<p>\r\n--not a part\r\n";
    ASSERT_TRUE(
        Load("ToruCa\r\nURL: http://a/\r\n x\r\n\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n"
             "\tboundary=\"abc\"\r\n\r\n--abc\r\nContent-Type: text/html;\r\n charset=Shift_JIS\r\n"
             "Content-Transfer-Encoding:\r\n 8bit\r\n\r\n" +
             page +
             "--abc\r\nContent-Type: image/gif;\r\n name=\"f.gif\"\r\n"
             "Content-Transfer-Encoding: base64\r\nContent-ID:\r\n <image1>\r\n\r\nR0lG\r\n--abc--\r\n"));
    EXPECT_EQ(rec.GetUrl(), u"http://a/");
    EXPECT_EQ(rec.m_strBoundary, u"abc");
    EXPECT_EQ(rec.m_strHtml, qel::framework::Widen(page.substr(0, page.size() - 2)));
    ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
    EXPECT_EQ(rec.m_arrImages[0].m_strId, u"image1");
    EXPECT_EQ(P(rec.m_arrImages[0].m_strPath).filename(), "f.gif");

    // The original wrote a part of another kind with a first header line
    // that is only its name; only the first line names the part.
    ASSERT_TRUE(Load(Detail("", {"Content-Transfer-Encoding: 8bit\r\n\r\n<p>\r\n",
                                 Attachment("name=\"photo.bmp\";\r\nContent-ID: <image1>\r\n", "Qk0="),
                                 Attachment("Content-ID: <image2>\r\nname=\"late.bmp\";\r\n", "Qk0="),
                                 Attachment("Content-Type: image/bmp; name=\"typed.bmp\"\r\n", "Qk0=")})));
    ASSERT_EQ(rec.m_arrImages.GetSize(), 3);
    EXPECT_EQ(P(rec.m_arrImages[0].m_strPath).filename(), "photo.bmp");
    EXPECT_EQ(P(rec.m_arrImages[1].m_strPath).filename(), "file");
    EXPECT_EQ(P(rec.m_arrImages[2].m_strPath).filename(), "typed.bmp");
    EXPECT_EQ(qel::test::ReadFileBytes(P(rec.m_arrImages[0].m_strPath)), "BM");
}

}  // namespace
