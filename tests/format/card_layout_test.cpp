// The card layout written to its two sinks: the code page 932 bytes the
// export streams to its file must be exactly WideToCp932 of GetFileText's
// text, over the worked examples, the example shop page and the awkward
// cases of both conversions (NULs, characters the code page lacks, a
// surrogate pair across a slice, images across block and line ends), in
// small and default blocks.
#include "format/card_layout.h"
#include "format/tpj_writer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "model/tpjfile.h"
#include "tests/support/test_support.h"

namespace {

using qel::test::TestData;

std::u16string W(const std::filesystem::path& p) { return qel::framework::PathFromNative(p.string()); }

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
    // Both sinks agree, in blocks of every size given, and no block but
    // the last is far from the size asked for (a block sink that wrote in
    // dribs would defeat its purpose).
    void ExpectSinksAgree(CQelTpjFile& record) {
        const std::string expected = qel::framework::WideToCp932(qel::format::GetFileText(record));
        for (std::size_t block :
             {std::size_t{400}, std::size_t{4096}, qel::format::Cp932BlockSink::kDefaultBlockBytes}) {
            const Streamed s = Stream(record, block);
            ASSERT_EQ(s.bytes.size(), expected.size()) << "block " << block;
            ASSERT_TRUE(s.bytes == expected) << "block " << block;
            for (std::size_t i = 0; i + 1 < s.blocks.size(); ++i)
                EXPECT_GE(s.blocks[i], block / 2) << "block " << block << ", write " << i;
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
