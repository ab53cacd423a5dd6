// GetFileText: the snippet and detail files of the worked examples byte for
// byte, header lines by version and type, the parts of the MIME body, files
// that are missing or cannot be read, and an independent MIME parser
// (Python's email package) reading what we write.
#include "model/tpjfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "format/base64.h"
#include "format/tpj_writer.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/strings.h"
#include "tests/support/test_support.h"

namespace {

using qel::test::TestData;

std::u16string W(const std::filesystem::path& p) { return qel::framework::PathFromNative(p.string()); }

// The header block: everything before the MIME envelope.
std::u16string Headers(const std::u16string& text) {
    const auto at = text.find(u"\r\nMIME-Version:");
    return at == std::u16string::npos ? text : text.substr(0, at + 2);
}

std::u16string Between(const std::u16string& text, std::u16string_view from, std::u16string_view to) {
    const auto a = text.find(from);
    if (a == std::u16string::npos) return u"<missing " + std::u16string(from) + u">";
    const auto b = text.find(to, a + from.size());
    return text.substr(a, b == std::u16string::npos ? std::u16string::npos : b - a);
}

std::string Random(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

class TpjWriter : public qel::test::TempDirTest {
protected:
    CQelTpjFile rec{TYPE_CARD};
};

TEST_F(TpjWriter, SnippetFileOfTheWorkedExample) {
    CQelTpjFile snip(TYPE_SNIP);
    snip.SetUrl(u"http://www.example.com/toruca_detail.trc");
    // A snippet carries neither the page nor its images.
    snip.m_strHtml = u"<p>not written</p>";
    snip.SetUniqueIcon(W(TestData("writer/icon.gif")), u"Shop");
    snip.AddImage(W(TestData("writer/logo.gif")), u"image1");
    EXPECT_EQ(qel::framework::WideToCp932(qel::format::GetFileText(snip)),
              qel::test::ReadFileBytes(TestData("writer/snippet.trc")));
}

TEST_F(TpjWriter, DetailFileOfTheWorkedExample) {
    rec.SetUrl(u"http://www.example.com/toruca_detail.trc");
    rec.m_strHtml = u"<p>ようこそ、トルカの店へ。</p>\r\n<img src=\"cid:image1\">";
    rec.SetUniqueIcon(W(TestData("writer/icon.gif")), u"Shop");
    rec.AddImage(W(TestData("writer/logo.gif")), u"image1");
    const std::string expected = qel::test::ReadFileBytes(TestData("writer/detail.trc"));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(qel::framework::WideToCp932(qel::format::GetFileText(rec)), expected);
    // The same record gives the same text again.
    EXPECT_EQ(qel::framework::WideToCp932(qel::format::GetFileText(rec)), expected);

    // A project file differs only in its first and Type lines and, with
    // Dist 4, the missing Dist line.
    rec.SetType(TYPE_PROJECT);
    std::string project = expected;
    project.replace(0, 6, "TORUCA_PROJECT_V2");
    project.replace(project.find("Type: CARD"), 10, "Type: PROJECT");
    project.erase(project.find("Dist: 4\r\n"), 9);
    EXPECT_EQ(qel::framework::WideToCp932(qel::format::GetFileText(rec)), project);
}

TEST_F(TpjWriter, HeaderLinesByVersion) {
    const std::u16string common =
        u"ToruCa\r\nVersion: %s\r\nType: CARD\r\n\r\nURL: u\r\n"
        u"Data1: ZGF0YTE=\r\nData2: ZGF0YTI=\r\nData3: ZGF0YTM=\r\nCat: 0100\r\n";
    rec.SetUrl(u"u");
    rec.SetColorId(3);
    rec.SetVersion(u"1.0");
    EXPECT_EQ(Headers(qel::format::GetFileText(rec)), qel::framework::Format(common, u"1.0") + u"\r\n");
    rec.SetVersion(u"1.1");
    EXPECT_EQ(Headers(qel::format::GetFileText(rec)),
              qel::framework::Format(common, u"1.1") +
                  u"IP-ID: 9999\r\nSort-ID: ワン\r\nColor-ID: 3\r\nExpires: 101231\r\n\r\n");
    rec.SetVersion(u"2.0");
    EXPECT_EQ(Headers(qel::format::GetFileText(rec)),
              qel::framework::Format(common, u"2.0") +
                  u"IP-ID: 9999\r\nSort-ID: ワン\r\nDist: 4\r\nColor-ID: 3\r\nExpires: 101231\r\n\r\n");
    rec.SetVersion(u"2.1");
    EXPECT_EQ(
        Headers(qel::format::GetFileText(rec)),
        qel::framework::Format(common, u"2.1") +
            u"IP-ID: 9999\r\nSort-ID: ワン\r\nDist: 4\r\nColor-ID: 3\r\nExpires: 101231\r\nLM: 0808071904\r\n\r\n");
    // Any other version counts as 2.1 and is written as it stands.
    rec.SetVersion(u"3.0 ");
    EXPECT_NE(Headers(qel::format::GetFileText(rec)).find(u"Version: 3.0 \r\n"), std::u16string::npos);
    EXPECT_NE(Headers(qel::format::GetFileText(rec)).find(u"LM: 0808071904\r\n"), std::u16string::npos);
}

TEST_F(TpjWriter, DistAndColorIdRules) {
    struct Case {
        int type;
        int dist;
        int color;
        const char16_t* dist_line;
        const char16_t* color_line;
    };
    const Case cases[] = {
        {TYPE_PROJECT, 4, 1, nullptr, nullptr},          {TYPE_PROJECT, 3, 0, u"Dist: 3\r\n", u"Color-ID: 0\r\n"},
        {TYPE_CARD, 4, 1, u"Dist: 4\r\n", nullptr},      {TYPE_SNIP, 4, 9, u"Dist: 4\r\n", u"Color-ID: 9\r\n"},
        {3, 4, -1, u"Dist: 4\r\n", u"Color-ID: -1\r\n"},
    };
    for (const Case& c : cases) {
        rec.SetType(c.type);
        rec.SetDist(c.dist);
        rec.SetColorId(c.color);
        const std::u16string h = Headers(qel::format::GetFileText(rec));
        EXPECT_EQ(h.find(u"Dist:") != std::u16string::npos, c.dist_line != nullptr) << c.type << " " << c.dist;
        if (c.dist_line) {
            EXPECT_NE(h.find(c.dist_line), std::u16string::npos);
        }
        EXPECT_EQ(h.find(u"Color-ID:") != std::u16string::npos, c.color_line != nullptr) << c.color;
        if (c.color_line) {
            EXPECT_NE(h.find(c.color_line), std::u16string::npos);
        }
    }
}

TEST_F(TpjWriter, CategoryIsPaddedToFourDigits) {
    const std::pair<int, const char16_t*> cases[] = {{0, u"Cat: 0000\r\n"},
                                                     {7, u"Cat: 0007\r\n"},
                                                     {100, u"Cat: 0100\r\n"},
                                                     {12345, u"Cat: 12345\r\n"},
                                                     {-7, u"Cat: -007\r\n"}};
    for (const auto& [cat, line] : cases) {
        rec.SetCategory(cat);
        EXPECT_NE(qel::format::GetFileText(rec).find(line), std::u16string::npos) << cat;
    }
}

TEST_F(TpjWriter, OtherTypesHaveNoMagicOrTypeLineButAMimeBody) {
    for (int type : {0, 3}) {
        rec.SetType(type);
        const std::u16string text = qel::format::GetFileText(rec);
        EXPECT_EQ(text.substr(0, 20), u"Version: 2.1\r\nURL: h") << type;
        EXPECT_EQ(text.find(u"\r\nType:"), std::u16string::npos);
        EXPECT_NE(text.find(u"\r\n\r\nMIME-Version: 1.0\r\n"), std::u16string::npos);
        EXPECT_EQ(text.substr(text.size() - 18), u"\r\n--0000000000--\r\n");
    }
}

TEST_F(TpjWriter, DataLines) {
    rec.m_strData1.clear();
    rec.SetData2(u"とるか\r\n2行目");
    rec.m_strData3 = std::string(58, 'x');
    const std::u16string h = Headers(qel::format::GetFileText(rec));
    EXPECT_NE(h.find(u"\r\nData1: \r\n"), std::u16string::npos);
    // The line break of the field is among the encoded bytes.
    EXPECT_NE(h.find(u"\r\nData2: gsaC6YKpDQoyjXOW2g==\r\n"), std::u16string::npos);
    const std::u16string data3 = Between(h, u"Data3: ", u"\r\n");
    EXPECT_EQ(data3.size(), 7u + 80u);  // one line: the encoder's break is cut
    // The bytes end at a NUL.
    rec.m_strData1 = std::string("ab\0cd", 5);
    EXPECT_NE(qel::format::GetFileText(rec).find(u"\r\nData1: YWI=\r\n"), std::u16string::npos);
}

TEST_F(TpjWriter, IconAndImagePartsThatAreSkippedOrEmpty) {
    const std::u16string gif = W(TestData("writer/logo.gif"));
    rec.SetUniqueIcon(gif, u"");
    rec.AddImage(u"", u"image1");                                  // no path: skipped
    rec.AddImage(gif, u"");                                        // no content id: skipped
    rec.AddImage(u"http://www.example.com/img/a.gif", u"image2");  // a URL: empty body
    rec.AddImage(wpath("missing.jpg"), u"image3");                 // missing: empty body
    const std::u16string text = qel::format::GetFileText(rec);
    EXPECT_NE(text.find(u"Content-Type: application/x-ticon;name=\"logo.gif\";title=\"\"\r\n"
                        u"Content-Transfer-Encoding: base64\r\n\r\nR0lGOD"),
              std::u16string::npos);
    EXPECT_EQ(text.find(u"<image1>"), std::u16string::npos);
    EXPECT_EQ(text.find(u"Content-ID: <>"), std::u16string::npos);
    EXPECT_NE(text.find(u"--0000000000\r\nContent-Type: image/gif;name=\"a.gif\";\r\n"
                        u"Content-Transfer-Encoding: base64\r\nContent-ID: <image2>\r\n\r\n\r\n"
                        u"--0000000000\r\nContent-Type: image/jpeg;name=\"missing.jpg\";\r\n"
                        u"Content-Transfer-Encoding: base64\r\nContent-ID: <image3>\r\n\r\n\r\n"
                        u"--0000000000--\r\n"),
              std::u16string::npos);

    // Without a path there is no icon part at all.
    rec.SetUniqueIcon(u"", u"Shop");
    EXPECT_EQ(qel::format::GetFileText(rec).find(u"x-ticon"), std::u16string::npos);
}

// A reference that names a folder (src="images/") is like a missing file;
// a FIFO is never read (it could block) and fails the text.
TEST_F(TpjWriter, AFolderIsLikeAMissingFileAndAFifoRaises) {
    std::filesystem::create_directory(path("images"));
    rec.AddImage(wpath("images"), u"image1");
    EXPECT_NE(qel::format::GetFileText(rec).find(u"name=\"images\";\r\nContent-Transfer-Encoding: base64\r\n"
                                                 u"Content-ID: <image1>\r\n\r\n\r\n--0000000000--\r\n"),
              std::u16string::npos);

    ASSERT_EQ(::mkfifo(path("pipe.gif").c_str(), 0600), 0);
    rec.AddImage(wpath("pipe.gif"), u"image2");
    EXPECT_THROW(qel::format::GetFileText(rec), CFileException);

    CQelTpjFile icon(TYPE_PROJECT);
    icon.SetUniqueIcon(wpath("pipe.gif"), u"Shop");
    EXPECT_THROW(qel::format::GetFileText(icon), CFileException);
    // A snippet reads no image.
    icon.SetType(TYPE_SNIP);
    EXPECT_NO_THROW(qel::format::GetFileText(icon));
}

TEST_F(TpjWriter, ImageOfOneFullLineIsFollowedByAnEmptyLine) {
    rec.AddImage(WriteFile("full.png", "\x89PNG\r\n\x1A\n" + std::string(49, 'p')), u"image1");
    rec.AddImage(WriteFile("photo.bmp", "BM" + std::string(10, 'b')), u"image2");
    rec.AddImage(WriteFile("movie.swf", "CWS" + std::string(5, 's')), u"image3");
    const std::u16string text = qel::format::GetFileText(rec);
    const std::u16string part = Between(text, u"--0000000000\r\nContent-Type: image/png", u"--0000000000\r\nname=");
    ASSERT_EQ(part.find(u"<missing"), std::u16string::npos);
    const auto body = part.find(u"\r\n\r\n") + 4;
    EXPECT_EQ(part.size() - body, 76u + 4u);
    EXPECT_EQ(part.substr(part.size() - 4), u"\r\n\r\n");
    // A kind the host does not name: only the name piece on the line.
    EXPECT_NE(text.find(u"--0000000000\r\nname=\"photo.bmp\";\r\nContent-Transfer-Encoding: base64\r\n"
                        u"Content-ID: <image2>\r\n\r\nQk1iYmJiYmJiYmJi\r\n"),
              std::u16string::npos);
    EXPECT_NE(text.find(u"Content-Type: application/x-shockwave-flash;name=\"movie.swf\";\r\n"), std::u16string::npos);
}

// Python's email package reads a detail and a project file with an icon and
// images of every kind and finds each part with its headers and bytes.
class TpjWriterMime : public qel::test::TempDirTest {
protected:
    struct Part {
        std::string type, params, encoding, id, defects, body;
    };

    std::vector<Part> ParseWithPython(const std::string& file, std::string& boundary) {
        const std::string cmd =
            "python3 '" + std::string(QEL_SOURCE_DIR) + "/tests/support/read_mime.py' '" + file + "'";
        FILE* p = ::popen(cmd.c_str(), "r");
        std::string out;
        char buf[65536];
        while (std::size_t k = std::fread(buf, 1, sizeof buf, p)) out.append(buf, k);
        EXPECT_EQ(::pclose(p), 0) << out;
        std::vector<Part> parts;
        std::istringstream lines(out);
        std::string line;
        while (std::getline(lines, line)) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
            if (f.size() == 2 && f[0] == "boundary") {
                boundary = f[1];
                continue;
            }
            f.resize(6);
            std::string bytes;
            for (std::size_t i = 0; i + 1 < f[5].size(); i += 2)
                bytes += static_cast<char>(std::stoi(f[5].substr(i, 2), nullptr, 16));
            parts.push_back({f[0], f[1], f[2], f[3], f[4], bytes});
        }
        return parts;
    }
};

TEST_F(TpjWriterMime, PythonFindsEveryPartWithItsBytes) {
    const std::string icon = qel::test::ReadFileBytes(TestData("writer/icon.gif"));
    const std::string gif = qel::test::ReadFileBytes(TestData("writer/logo.gif"));
    const std::string jpeg = "\xFF\xD8\xFF\xE0" + Random(1000, 1);
    const std::string png = "\x89PNG\r\n\x1A\n" + Random(57 * 3 - 8, 2);  // ends with a full line
    const std::string flash = "FWS" + Random(300, 3);
    const std::string other = Random(200, 4);
    const std::u16string html = u"<html><body>\r\n<p>トルカ</p><img src=\"cid:image1\">\r\n</body></html>\r\n";

    for (int type : {TYPE_CARD, TYPE_PROJECT}) {
        CQelTpjFile r(type);
        r.m_strHtml = html;
        r.SetUniqueIcon(W(TestData("writer/icon.gif")), u"Shop");
        r.AddImage(W(TestData("writer/logo.gif")), u"image1");
        r.AddImage(WriteFile("photo.jpg", jpeg), u"image2");
        r.AddImage(WriteFile("pic.png", png), u"image3");
        r.AddImage(WriteFile("anim.swf", flash), u"image4");
        r.AddImage(WriteFile("data.bin", other), u"image5");
        r.AddImage(WriteFile("second.gif", gif), u"image6");
        WriteFile("out.trc", qel::framework::WideToCp932(qel::format::GetFileText(r)));

        std::string boundary;
        const std::vector<Part> parts = ParseWithPython(path("out.trc").string(), boundary);
        EXPECT_EQ(boundary, "0000000000");
        ASSERT_EQ(parts.size(), 8u) << type;
        EXPECT_EQ(parts[0].type, "text/html");
        EXPECT_EQ(parts[0].params, "charset=Shift_JIS");
        EXPECT_EQ(parts[0].encoding, "8bit");
        // The delimiter takes the last CR LF, so two of the three stay.
        EXPECT_EQ(parts[0].body, qel::framework::WideToCp932(html) + "\r\n\r\n");

        EXPECT_EQ(parts[1].type, "application/x-ticon");
        EXPECT_EQ(parts[1].params, "name=icon.gif;title=Shop");
        EXPECT_EQ(parts[1].id, "");
        EXPECT_EQ(parts[1].body, icon);

        const struct {
            const char* type;
            const char* name;
            const std::string* bytes;
        } images[] = {
            {"image/gif", "logo.gif", &gif},
            {"image/jpeg", "photo.jpg", &jpeg},
            {"image/png", "pic.png", &png},
            {"application/x-shockwave-flash", "anim.swf", &flash},
        };
        for (int i = 0; i < 4; ++i) {
            const Part& p = parts[static_cast<std::size_t>(i) + 2];
            EXPECT_EQ(p.type, images[i].type);
            EXPECT_EQ(p.params, std::string("name=") + images[i].name);
            EXPECT_EQ(p.encoding, "base64");
            EXPECT_EQ(p.id, "<image" + std::to_string(i + 1) + ">");
            EXPECT_EQ(p.defects, "");
            EXPECT_EQ(p.body, *images[i].bytes) << images[i].name;
        }
        // A kind the host does not name gives a part whose first header
        // line has no key: a MIME parser sees no headers there, and its
        // body starts with that line. The Base64 after it holds the bytes.
        const Part& p = parts[6];
        EXPECT_EQ(p.defects, "MissingHeaderBodySeparatorDefect");
        const std::string head =
            "name=\"data.bin\";\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <image5>\r\n\r\n";
        ASSERT_EQ(p.body.substr(0, head.size()), head);
        std::vector<unsigned char> decoded(p.body.size());
        std::size_t n = decoded.size();
        ASSERT_TRUE(DecodeBase64(p.body.data() + head.size(), p.body.size() - head.size(), decoded.data(), &n));
        EXPECT_EQ(std::string(decoded.begin(), decoded.begin() + static_cast<long>(n)), other);
        EXPECT_EQ(parts[7].body, gif);
    }
}

// A page with lines that start with "--" and the boundary gets a boundary of
// the same form that none of its lines starts with; "-->" alone changes
// nothing. Python's email package splits lines at a CR alone too.
TEST_F(TpjWriterMime, APageHoldingTheDelimiterGetsAnotherBoundary) {
    CQelTpjFile r(TYPE_CARD);
    r.m_strHtml = u"<!--\r\n-->\r\n<p>x</p>";
    r.AddImage(W(TestData("writer/logo.gif")), u"image1");
    EXPECT_NE(qel::format::GetFileText(r).find(u"<p>x</p>\r\n\r\n\r\n--0000000000\r\nContent-Type: image/gif;"),
              std::u16string::npos);

    r.m_strHtml = u"<!--\r\n-->\r\n--0000000000\r\n--0000000001 x\n--00000000023\rA\r--0000000003\r\n-";
    WriteFile("out.trc", qel::framework::WideToCp932(qel::format::GetFileText(r)));
    std::string boundary;
    const std::vector<Part> parts = ParseWithPython(path("out.trc").string(), boundary);
    EXPECT_EQ(boundary, "0000000004");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].body, qel::framework::WideToCp932(r.m_strHtml) + "\r\n\r\n");
    EXPECT_EQ(parts[1].body, qel::test::ReadFileBytes(TestData("writer/logo.gif")));
    EXPECT_EQ(r.m_strBoundary, u"0000000000");

    // Lines compare as the bytes written: code page 932 has no "😀", which
    // is written "&#128512;".
    r.SetBoundary(u"&#128512;");
    r.m_strHtml = u"--\U0001F600";
    EXPECT_NE(qel::format::GetFileText(r).find(u";boundary=\"0000000000\"\r\n"), std::u16string::npos);
    // A record read from a file without a boundary gets one: "--" alone
    // would delimit nothing.
    r.SetBoundary(u"");
    r.m_strHtml = u"<p>x</p>";
    EXPECT_NE(qel::format::GetFileText(r).find(u";boundary=\"0000000000\"\r\n"), std::u16string::npos);
}

}  // namespace

// The card layout written to its two sinks: the code page 932 bytes the
// export streams to its file must be exactly WideToCp932 of GetFileText's
// text, over the worked examples, the example shop page and the awkward
// cases of both conversions (NULs, characters the code page lacks, a
// surrogate pair across a slice, images across block and line ends), in
// small and default blocks.
namespace {

// The bytes of the block sink, and the sizes of the blocks it handed over.
struct Streamed {
    std::string bytes;
    std::vector<std::size_t> blocks;
};

Streamed Stream(const CQelTpjFile& record, std::size_t blockBytes) {
    Streamed s;
    qel::format::Cp932BlockSink sink(
        [&](const char* p, std::size_t n) {
            s.bytes.append(p, n);
            s.blocks.push_back(n);
        },
        blockBytes);
    qel::format::WriteCard(record, sink);
    sink.Flush();
    return s;
}

class CardLayout : public qel::test::TempDirTest {
protected:
    // Both sinks agree, in blocks of every size given, and every block but
    // the last has the size asked for (the file is written in large blocks
    // at multiples of their size).
    void ExpectSinksAgree(CQelTpjFile& record) {
        const std::string expected = qel::framework::WideToCp932(qel::format::GetFileText(record));
        for (std::size_t block :
             {std::size_t{400}, std::size_t{4096}, qel::format::Cp932BlockSink::kDefaultBlockBytes}) {
            const Streamed s = Stream(record, block);
            ASSERT_EQ(s.bytes.size(), expected.size()) << "block " << block;
            ASSERT_TRUE(s.bytes == expected) << "block " << block;
            for (std::size_t i = 0; i + 1 < s.blocks.size(); ++i)
                EXPECT_EQ(s.blocks[i], block) << "block " << block << ", write " << i;
        }
        std::string viaHelper;
        qel::format::WriteCardCp932(record, [&](const char* p, std::size_t n) { viaHelper.append(p, n); });
        EXPECT_TRUE(viaHelper == expected);
    }
};

TEST_F(CardLayout, WorkedExamplesInEveryForm) {
    CQelTpjFile rec(TYPE_CARD);
    rec.SetUrl(u"http://www.example.com/toruca_detail.trc");
    rec.m_strHtml = u"<p>ようこそ、トルカの店へ。</p>\r\n<img src=\"cid:image1\">";
    rec.SetUniqueIcon(W(TestData("writer/icon.gif")), u"Shop");
    rec.AddImage(W(TestData("writer/logo.gif")), u"image1");
    // The golden file itself, through the byte sink.
    EXPECT_TRUE(Stream(rec, 4096).bytes == qel::test::ReadFileBytes(TestData("writer/detail.trc")));
    for (int type : {TYPE_CARD, TYPE_PROJECT, TYPE_SNIP}) {
        rec.SetType(type);
        ExpectSinksAgree(rec);
    }
}

TEST_F(CardLayout, TheExampleShopPage) {
    // The page (Shift_JIS) as the record holds it, with its six images: a
    // JPEG whose name holds a space and Japanese, a PNG twice, a Flash file.
    const std::filesystem::path shop = std::filesystem::path(QEL_SOURCE_DIR) / "examples/shop";
    CQelTpjFile rec(TYPE_CARD);
    rec.m_strHtml = qel::framework::Cp932ToWide(qel::test::ReadFileBytes(shop / "index.html"));
    ASSERT_NE(rec.m_strHtml.find(u"ケーキ"), std::u16string::npos);
    int n = 0;
    for (const char* name : {"bg.gif", "logo.gif", "ケーキ セット.jpg", "star.png", "star.png", "coupon.swf"})
        rec.AddImage(W(shop / "images" / name), u"image" + qel::framework::Utf8ToWide(std::to_string(++n)));
    rec.SetUniqueIcon(W(shop / "images/star.png"), u"Shop");
    for (int type : {TYPE_CARD, TYPE_PROJECT}) {
        rec.SetType(type);
        ExpectSinksAgree(rec);
    }
}

TEST_F(CardLayout, TextThatTheConversionTreatsSpecially) {
    CQelTpjFile rec(TYPE_CARD);
    // A NUL is the byte 0; U+1F600 (no code page 932 form) its reference,
    // here with its surrogate pair straddling the sink's 64 Ki-unit slice;
    // a lone surrogate U+FFFD's reference; pictograms of the user area.
    std::u16string html(65535 - 12, u'a');
    html += u"\r\n--boundary";  // the page holds the record's delimiter
    html += u"\U0001F600";
    html += std::u16string(u"x\0y", 3);
    html += u'\xD800';
    html += u"\uE63E 終わり";
    rec.m_strHtml = html;
    rec.SetBoundary(u"boundary");
    rec.SetSortId(u"ワン\U0001F600");
    rec.m_strData1 = std::string("a\0b", 3);
    ExpectSinksAgree(rec);
}

TEST_F(CardLayout, ImagesAcrossBlockAndLineEnds) {
    // Sizes around one Base64 line, and one beyond the reader's block of
    // 57 * 65536 bytes by a part line, so that the blocks must join up.
    std::mt19937 rng(3);
    CQelTpjFile rec(TYPE_CARD);
    int n = 0;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{56}, std::size_t{57}, std::size_t{58},
                             std::size_t{57} * 65536 + 20}) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        const std::string name = "img" + std::to_string(++n) + ".bin";
        rec.AddImage(WriteFile(name, bytes), u"image" + qel::framework::Utf8ToWide(std::to_string(n)));
    }
    ExpectSinksAgree(rec);
}

TEST_F(CardLayout, AnImageThatCannotBeReadWholeStopsTheWriting) {
    // A FIFO is there but is never read (it could block or never end). Files
    // of the kernel's own stand in for an image whose size changes while it
    // is read: their size is given as 0 (/proc) or 4096 (/sys) whatever
    // they hold.
    ASSERT_EQ(::mkfifo(path("pipe.gif").c_str(), 0600), 0);
    const struct {
        std::u16string image;
        std::u16string why;
    } cases[] = {
        {wpath("pipe.gif"), u""},
        {u"/proc/self/stat", u"grew while it was read"},
        {u"/sys/devices/system/cpu/online", u"shrank while it was read"},
    };
    for (const auto& c : cases) {
        if (::access(qel::framework::PathToNative(c.image).c_str(), F_OK) != 0) continue;  // no sysfs here
        CQelTpjFile rec(TYPE_CARD);
        rec.AddImage(W(TestData("writer/logo.gif")), u"image1");
        rec.AddImage(c.image, u"image2");
        std::string written;
        try {
            qel::format::Cp932BlockSink sink([&](const char* p, std::size_t n) { written.append(p, n); }, 400);
            qel::format::WriteCard(rec, sink);
            ADD_FAILURE() << "no error for " << qel::framework::WideToUtf8(c.image);
        } catch (const CFileException& e) {
            EXPECT_EQ(e.m_strFileName, c.image);
            EXPECT_EQ(e.m_strDescription, c.why) << qel::framework::WideToUtf8(c.image);
        }
        // Never the end of the card: the caller sees a failure, not a file.
        EXPECT_EQ(written.find("--0000000000--"), std::string::npos);
    }
}

}  // namespace
