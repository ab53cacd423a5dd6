// The reading of a card's MIME parts: content ids, icons and parts without
// a delimiter, the page part and delimiter look-alikes, files that cannot be
// read, and Base64 bodies decoded as they are read (compared with the
// decoder reading the whole body at once).
#include "tests/format/reader_testing.h"

namespace {

using namespace qel::test::reader;

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
    // A closing delimiter that is the file's last line, ended by nothing or
    // by a CR alone, still ends the last part.
    for (const std::string end : {"", "\r"}) {
        ASSERT_TRUE(Load(Detail("", {Attachment("Content-Type: image/gif;name=\"a.gif\"\r\n", "UE5H")}, false) +
                         "--B--" + end));
        EXPECT_EQ(rec.m_arrImages.GetSize(), 1) << end.size();
    }
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

}  // namespace
