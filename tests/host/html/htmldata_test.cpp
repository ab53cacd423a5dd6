// The HTML loader on page files: which encoding a page is read in, and
// files that give no page.
#include "host/html/htmldata.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "framework/codepage.h"
#include "host/html/dom.h"
#include "host/html/htmlsource.h"
#include "tests/support/test_support.h"

namespace {

// 日本語のページ in each encoding, and as UTF-16.
const std::string kSjis = "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x79\x81\x5B\x83\x57";
const std::string kEucJp = "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xA5\xDA\xA1\xBC\xA5\xB8";
const std::string kIso2022Jp = "\x1B$BF|K\\8l$N%Z!<%8\x1B(B";
const std::string kUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x9A\xE3\x83\xBC\xE3\x82\xB8";
const std::u16string kWide = u"\u65E5\u672C\u8A9E\u306E\u30DA\u30FC\u30B8";

class HtmlDataTest : public qel::test::TempDirTest {
protected:
    // Loads dir()/name holding `bytes`; the page's text, or "<none>" when no Document.
    std::u16string Load(const std::string& name, const std::string& bytes) { return LoadPath(WriteFile(name, bytes)); }
    std::u16string LoadPath(const std::u16string& path) {
        CQelHtmlData loader(u"HTML");
        const bool ok = loader.CreateNodeData(path);
        auto* doc = dynamic_cast<Document*>(loader.m_pRootNode);
        EXPECT_EQ(ok, doc != nullptr);
        if (!doc) return u"<none>";
        std::u16string text = doc->getHTMLText();
        loader.DestroyNodeData();
        return text;
    }
};

TEST_F(HtmlDataTest, DeclaredShiftJisReadsAsCodePage932) {
    // ～ (0x8160) and ① (0x8740) exist in code page 932 only, not in JIS Shift_JIS.
    const std::string body = "<p>" + kSjis + "\x81\x60\x87\x40</p>";
    const std::u16string wide = u"<p>" + kWide + u"\uFF5E\u2460</p>";
    for (const char* meta : {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">",
                             "<META HTTP-EQUIV=content-type CONTENT='text/html;charset=\"x-sjis\"'>",
                             "<meta charset=windows-31j>", "<meta charset=\" MS932 \">"}) {
        const std::string head = std::string("<html><head>") + meta + "</head>";
        EXPECT_EQ(Load("sjis.html", head + body), qel::framework::Utf8ToWide(head) + wide) << meta;
    }
}

// The example shop page, read and written back untouched, gives its own
// bytes: Shift_JIS text, CR LF line ends, comment, doctype and all.
TEST_F(HtmlDataTest, TheExamplePageComesBackByteForByte) {
    const std::string path = std::string(QEL_SOURCE_DIR) + "/examples/shop/index.html";
    const std::string bytes = qel::test::ReadFileBytes(path);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(qel::framework::WideToCp932(LoadPath(qel::framework::PathFromNative(path))), bytes);
}

TEST_F(HtmlDataTest, DeclaredEucJpAndIso2022JpReadThroughIconv) {
    const std::string euc = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\"><p>";
    EXPECT_EQ(Load("euc.html", euc + kEucJp + "</p>"), qel::framework::Utf8ToWide(euc) + kWide + u"</p>");
    // A byte pair that EUC-JP does not have reads as U+FFFD, and reading goes on.
    EXPECT_EQ(Load("bad-euc.html", euc + "\x8E\xFF" + kEucJp),
              qel::framework::Utf8ToWide(euc) + u"\uFFFD\uFFFD" + kWide);

    const std::string jis = "<meta charset=iso-2022-jp><p>";
    EXPECT_EQ(Load("jis.html", jis + kIso2022Jp + "</p>"), qel::framework::Utf8ToWide(jis) + kWide + u"</p>");
}

TEST_F(HtmlDataTest, ByteOrderMarkWinsAndIsNotPartOfTheText) {
    const std::string meta = "<meta charset=shift_jis>";
    EXPECT_EQ(Load("bom8.html", "\xEF\xBB\xBF" + meta + kUtf8), qel::framework::Utf8ToWide(meta) + kWide);

    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (char16_t c : u"<p>" + kWide) {
        le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    }
    EXPECT_EQ(Load("le.html", le), u"<p>" + kWide);
    EXPECT_EQ(Load("be.html", be), u"<p>" + kWide);
    EXPECT_EQ(Load("odd.html", le + "x"), u"<p>" + kWide + u"\uFFFD");
}

TEST_F(HtmlDataTest, UndeclaredPagesByContent) {
    // UTF-8 without a declaration.
    EXPECT_EQ(Load("utf8.html", "<p>" + kUtf8 + "</p>"), u"<p>" + kWide + u"</p>");
    // A short Shift_JIS snippet: uchardet may guess anything; code page 932 reads it.
    EXPECT_EQ(Load("short.html", "<p>\x93\xFA\x96\x7B</p>"), u"<p>\u65E5\u672C</p>");
    // 日本語 in EUC-JP is too short for uchardet and no valid Shift_JIS: EUC-JP.
    EXPECT_EQ(Load("short-euc.html", "<p>" + kEucJp.substr(0, 6) + "</p>"), u"<p>" + kWide.substr(0, 3) + u"</p>");
    // Half-width katakana in Shift_JIS are valid EUC-JP too (ｱｲｳｴ reads as two
    // kanji there); a page that both read stays Shift_JIS, as before.
    EXPECT_EQ(Load("kana.html", "<p>\xB1\xB2\xB3\xB4</p>"), u"<p>\uFF71\uFF72\uFF73\uFF74</p>");
    // ISO-2022-JP is valid UTF-8 byte for byte; its escapes give it away.
    EXPECT_EQ(Load("jis.html", "<p>" + kIso2022Jp + "</p>"), u"<p>" + kWide + u"</p>");
    // A declaration inside a comment declares nothing.
    EXPECT_EQ(Load("comment.html", "<!-- <meta charset=euc-jp> --><p>" + kUtf8),
              u"<!-- <meta charset=euc-jp> --><p>" + kWide);
    // A declaration after the first 1024 bytes is not looked for.
    const std::string late = std::string(1100, ' ') + "<meta charset=euc-jp><p>" + kUtf8;
    EXPECT_EQ(Load("late.html", late), qel::framework::Utf8ToWide(late));
    // An unknown label is passed over.
    EXPECT_EQ(Load("unknown.html", "<meta charset=no-such-charset><p>" + kUtf8),
              u"<meta charset=no-such-charset><p>" + kWide);
}

// UTF-16 without a byte-order mark: the zero bytes of its ASCII characters
// show the byte order. A stray NUL in an eight-bit page is no such pattern.
TEST_F(HtmlDataTest, Utf16WithoutByteOrderMarkByItsZeroBytes) {
    std::string le, be;
    for (char16_t c : u"<html><body><p>" + kWide + u"</p></body></html>") {
        le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    }
    const std::u16string want = u"<html><body><p>" + kWide + u"</p></body></html>";
    EXPECT_EQ(Load("le.html", le), want);
    EXPECT_EQ(Load("be.html", be), want);
    EXPECT_EQ(qel::host::DecodeHtmlBytes(le).encoding, "UTF-16LE");
    EXPECT_EQ(qel::host::DecodeHtmlBytes(be).encoding, "UTF-16BE");

    using namespace std::string_literals;
    EXPECT_EQ(qel::host::DecodeHtmlBytes("<p>a\0b</p><p>"s + kUtf8 + "</p>").encoding, "UTF-8");
    EXPECT_EQ(qel::host::DecodeHtmlBytes("<p>\0\0</p>"s).encoding, "UTF-8");
    // Zeros on both sides of the pairs are no byte order either.
    EXPECT_EQ(qel::host::DecodeHtmlBytes("<p>"s + std::string(16, '\0') + "</p>").encoding, "UTF-8");
}

TEST_F(HtmlDataTest, LongerEucJpWithoutDeclarationIsRecognised) {
    std::string page = "<html><body>";
    for (int i = 0; i < 20; ++i) page += "<p>" + kEucJp + "</p>\n";
    const qel::host::DecodedHtml decoded = qel::host::DecodeHtmlBytes(page);
    EXPECT_EQ(decoded.encoding, "EUC-JP");
    EXPECT_EQ(decoded.text.substr(15, kWide.size()), kWide);
}

TEST(HtmlDecodeTest, LabelsNameTheirDecoders) {
    EXPECT_EQ(qel::host::EncodingOfLabel("Shift_JIS"), "CP932");
    EXPECT_EQ(qel::host::EncodingOfLabel(" x-sjis "), "CP932");
    EXPECT_EQ(qel::host::EncodingOfLabel("MS932"), "CP932");
    EXPECT_EQ(qel::host::EncodingOfLabel("x-euc-jp"), "EUC-JP");
    EXPECT_EQ(qel::host::EncodingOfLabel("ISO-2022-JP"), "ISO-2022-JP");
    EXPECT_EQ(qel::host::EncodingOfLabel("utf-16"), "UTF-8");
    EXPECT_EQ(qel::host::EncodingOfLabel("iso-8859-1"), "WINDOWS-1252");
    EXPECT_EQ(qel::host::EncodingOfLabel("koi8-r"), "KOI8-R");
    EXPECT_EQ(qel::host::EncodingOfLabel("utf-8//IGNORE"), "");
    EXPECT_EQ(qel::host::EncodingOfLabel(""), "");
    EXPECT_EQ(qel::host::DeclaredEncoding("<meta content='text/html; charset = euc-jp' http-equiv=\"CONTENT-TYPE\">"),
              "EUC-JP");
    EXPECT_EQ(qel::host::DeclaredEncoding("<meta content='text/html; charset=euc-jp'>"), "");
    EXPECT_EQ(qel::host::DeclaredEncoding("<meta charset=bogus><meta charset=sjis>"), "CP932");
    EXPECT_EQ(qel::host::DecodeHtmlBytes("\xE9t\xE9").encoding, "CP932");  // not Japanese, not UTF-8
}

TEST_F(HtmlDataTest, FilesThatGiveNoPage) {
    EXPECT_EQ(LoadPath(wpath("missing.html")), u"<none>");
    EXPECT_EQ(LoadPath(wdir()), u"<none>");
    EXPECT_EQ(LoadPath(u""), u"<none>");
    std::filesystem::create_directory(path("folder.html"));
    EXPECT_EQ(LoadPath(wpath("folder.html")), u"<none>");
    EXPECT_EQ(LoadPath(u"/dev/null"), u"<none>");  // a device, not a page file
    if (::geteuid() != 0) {                        // root reads any file
        const std::u16string locked = WriteFile("locked.html", "<p>x");
        std::filesystem::permissions(path("locked.html"), std::filesystem::perms::none);
        EXPECT_EQ(LoadPath(locked), u"<none>");
    }
    // An empty file is an empty page, with the tree the parser makes of it.
    CQelHtmlData loader(u"HTML");
    ASSERT_TRUE(loader.CreateNodeData(WriteFile("empty.html", "")));
    auto* doc = dynamic_cast<Document*>(loader.m_pRootNode);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->getHTMLText(), u"");
    EXPECT_EQ(doc->getElementsByTagName(u"body").length(), 1u);
    // A failed load leaves no Document from before.
    EXPECT_FALSE(loader.CreateNodeData(wpath("missing.html")));
    EXPECT_EQ(loader.m_pRootNode, nullptr);
}

}  // namespace
