// CreateFromHtml: the example shop page from its file and from the host's
// document (image list, cid: references, the page otherwise as written, the
// host's document untouched), the detail file written from it with every
// image's bytes, which references are collected and how they are numbered,
// pages in Japanese encodings, and pages that give no document.
#include "model/tpjfile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <vector>

#include "format/tpj_writer.h"
#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/html/dom.h"
#include "host/html/htmldata.h"
#include "host/tempfile.h"
#include "host/url.h"
#include "html/cid_rewrite.h"
#include "html/html_import.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

std::u16string W(const fs::path& p) { return qel::framework::PathFromNative(p.string()); }
std::u16string U(std::string_view utf8) { return qel::framework::Utf8ToWide(utf8); }

std::vector<std::pair<std::u16string, std::u16string>> Images(const CQelTpjFile& rec) {
    std::vector<std::pair<std::u16string, std::u16string>> out;
    for (int i = 0; i < rec.m_arrImages.GetSize(); ++i)
        out.emplace_back(rec.m_arrImages[i].m_strPath, rec.m_arrImages[i].m_strId);
    return out;
}

class ShopPage : public qel::test::TempDirTest {
protected:
    const fs::path images = fs::path(QEL_SOURCE_DIR) / "examples" / "shop" / "images";
    const std::u16string page = W(images.parent_path() / "index.html");
    CQelTpjFile rec{TYPE_PROJECT};

    std::u16string Source() const {
        return qel::framework::Cp932ToWide(qel::test::ReadFileBytes(qel::framework::PathToNative(page)));
    }

    // The page as written with the value of its i-th collected reference
    // replaced by value(i), and nothing else changed.
    template <typename Value>
    std::u16string Rewritten(Value value) const {
        static const std::u16string refs[] = {
            u"background=\"images/bg.gif\"",
            u"src=\"images/logo.gif\"",
            u"src=\"images/%E3%82%B1%E3%83%BC%E3%82%AD%20%E3%82%BB%E3%83%83%E3%83%88.jpg\"",
            u"src=\"images/star.png\"",
            u"src=\"images/star.png\"",
            u"data=\"images/coupon.swf\""};
        std::u16string text = Source();
        std::size_t pos = 0;
        for (int i = 0; i < 6; ++i) {
            const std::u16string& ref = refs[i];
            const std::u16string to = ref.substr(0, ref.find(u'=') + 2) + value(i) + u"\"";
            pos = text.find(ref, pos);
            if (pos == std::u16string::npos) return u"<reference missing>";
            text.replace(pos, ref.size(), to);
            pos += to.size();
        }
        return text;
    }

    void ExpectShopRecord() {
        const std::vector<std::pair<std::u16string, std::u16string>> expected = {
            {W(images / "bg.gif"), u"image1"},
            {W(images / "logo.gif"), u"image2"},
            {W(images) + U("/ケーキ セット.jpg"), u"image3"},
            {W(images / "star.png"), u"image4"},
            {W(images / "star.png"), u"image5"},
            {W(images / "coupon.swf"), u"image6"}};
        EXPECT_EQ(Images(rec), expected);
        for (const auto& [path, id] : Images(rec))
            EXPECT_TRUE(fs::is_regular_file(qel::framework::PathToNative(path))) << qel::framework::WideToUtf8(id);
        EXPECT_EQ(rec.m_strHtml, Rewritten([](int i) { return qel::framework::Format(u"cid:image%d", i + 1); }));
        EXPECT_NE(rec.m_strHtml.find(u"src=\"http://www.example.com/toruca/banner.gif\""), std::u16string::npos);
    }
};

TEST_F(ShopPage, FromItsFile) {
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, page, nullptr));
    ExpectShopRecord();
}

TEST_F(ShopPage, FromTheHostsDocumentWhichKeepsItsReferences) {
    CQelHtmlData host(u"HTML");
    ASSERT_TRUE(host.CreateNodeData(page));
    auto* doc = dynamic_cast<Document*>(host.m_pRootNode);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->getHTMLText(), Source());

    ASSERT_TRUE(qel::html::CreateFromHtml(rec, page, doc));
    ExpectShopRecord();
    EXPECT_EQ(doc->getHTMLText(), Source());
    EXPECT_EQ(dynamic_cast<Element*>(doc->getElementsByTagName(u"img").item(0))->getAttribute(u"src"),
              u"images/logo.gif");
}

TEST_F(ShopPage, GetHtmlNamesTheFilesAgain) {
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, page, nullptr));
    const std::u16string stored = rec.m_strHtml;
    std::u16string urls[6];
    for (int i = 0; i < 6; ++i) SIFUtil::PCPathtoURL(urls[i], rec.m_arrImages[i].m_strPath);
    EXPECT_EQ(urls[2], qel::framework::PathFromNative("file://" + images.string()) +
                           u"/%E3%82%B1%E3%83%BC%E3%82%AD%20%E3%82%BB%E3%83%83%E3%83%88.jpg");
    EXPECT_EQ(qel::html::GetHtml(rec, true), Rewritten([&](int i) { return urls[i]; }));
    EXPECT_EQ(qel::html::GetHtml(rec, false), stored);
    EXPECT_EQ(rec.m_strHtml, stored);
}

// The detail file as an independent MIME reader (Python's email package)
// sees it: the page part, then one part per image carrying its exact bytes.
TEST_F(ShopPage, DetailFileCarriesEveryImagesBytes) {
    if (std::system("python3 -c 'import email' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 not available";
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, page, nullptr));
    rec.SetType(TYPE_CARD);
    const std::string file = (dir() / "toruca_detail.trc").string();
    qel::test::WriteFileBytes(file, qel::framework::WideToCp932(qel::format::GetFileText(rec)));

    const std::string cmd = "python3 '" + std::string(QEL_SOURCE_DIR) + "/tests/support/read_mime.py' '" + file + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ASSERT_EQ(::pclose(p), 0) << out;

    // One line per part: type, encoding, Content-ID, defects, body in hex (the
    // parameters, the writer's concern, are left out).
    std::string parts;
    std::istringstream lines(out.substr(out.find('\n') + 1));
    for (std::string line; std::getline(lines, line);) {
        const auto a = line.find('\t'), b = line.find('\t', a + 1);
        parts += line.substr(0, a) + line.substr(b) + "\n";
    }
    auto hex = [](const std::string& bytes) {
        std::string h;
        for (const char byte : bytes) {
            const auto c = static_cast<unsigned char>(byte);
            h += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
        }
        return h;
    };
    const char* types[] = {"image/gif", "image/gif", "image/jpeg",
                           "image/png", "image/png", "application/x-shockwave-flash"};
    std::string expected =
        "text/html\t8bit\t\t\t" + hex(qel::framework::WideToCp932(rec.m_strHtml) + "\r\n\r\n") + "\n";
    for (int i = 0; i < 6; ++i) {
        const std::string bytes = qel::test::ReadFileBytes(qel::framework::PathToNative(rec.m_arrImages[i].m_strPath));
        ASSERT_FALSE(bytes.empty());
        expected += std::string(types[i]) + "\tbase64\t<image" + std::to_string(i + 1) + ">\t\t" + hex(bytes) + "\n";
    }
    EXPECT_EQ(parts, expected);
}

class HtmlImport : public qel::test::TempDirTest {
protected:
    CQelTpjFile rec{TYPE_PROJECT};
    std::u16string Local(const std::string& name) const { return wpath(name); }
};

TEST_F(HtmlImport, ReferencesInOrderSkipsAndNumbers) {
    // The object comes first in the page but its list is visited after the
    // img list; web images, missing and empty sources take no number; other
    // schemes and cid: values are collected; a reference shown twice is two
    // entries. No other element or attribute is looked at.
    const std::string html =
        "<html><head><link rel=stylesheet href=s.css></head>\r\n"
        "<body background=\"bg.gif\" bgcolor=white>\r\n"
        "<object data='movie.swf'></object><table background=t.gif><tr><td background=td.gif>x</table>\r\n"
        "<img src=a.gif><img><img src=\"\"><img src=\"http://example.com/h.gif\">"
        "<IMG SRC=\"HTTPS://example.com/s.gif\"><img src=\"HTTP://example.com/u.gif\">\r\n"
        "<img src=\"sub/../a.gif\"><img src=ftp://host/f.gif><img src=\"cid:old\">"
        "<img src=\"file:///opt/x%20y.gif\"><input type=image src=in.gif><embed src=e.swf>\r\n"
        "</body></html>\r\n";
    const std::u16string page = WriteFile("page.html", html);
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, page, nullptr));
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {
        {Local("bg.gif"), u"image1"},     {Local("a.gif"), u"image2"}, {Local("a.gif"), u"image3"},
        {u"ftp://host/f.gif", u"image4"}, {u"cid:old", u"image5"},     {u"/opt/x y.gif", u"image6"},
        {Local("movie.swf"), u"image7"}};
    EXPECT_EQ(Images(rec), expected);
    const std::u16string want =
        U("<html><head><link rel=stylesheet href=s.css></head>\r\n"
          "<body background=\"cid:image1\" bgcolor=white>\r\n"
          "<object data='cid:image7'></object><table background=t.gif><tr><td background=td.gif>x</table>\r\n"
          "<img src=cid:image2><img><img src=\"\"><img src=\"http://example.com/h.gif\">"
          "<IMG SRC=\"HTTPS://example.com/s.gif\"><img src=\"HTTP://example.com/u.gif\">\r\n"
          "<img src=\"cid:image3\"><img src=cid:image4><img src=\"cid:image5\">"
          "<img src=\"cid:image6\"><input type=image src=in.gif><embed src=e.swf>\r\n"
          "</body></html>\r\n");
    EXPECT_EQ(rec.m_strHtml, want);
}

TEST_F(HtmlImport, NumberingStartsAtOneOnEveryPageWithOrWithoutBody) {
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, WriteFile("one.html", "<img src=a.gif><img src=b.gif>"), nullptr));
    ASSERT_EQ(rec.m_arrImages.GetSize(), 2);
    // No body element: no background read, the first img is image1; the
    // first call's images are gone.
    const std::u16string page = WriteFile("nobody.html", "<title>t</title><img src=c.gif><object data=d.swf>");
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, page, nullptr));
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {{Local("c.gif"), u"image1"},
                                                                             {Local("d.swf"), u"image2"}};
    EXPECT_EQ(Images(rec), expected);
    EXPECT_EQ(rec.m_strHtml, u"<title>t</title><img src=cid:image1><object data=cid:image2>");

    // A relative page path resolves from the current folder.
    const fs::path saved = fs::current_path();
    fs::current_path(dir());
    const bool ok = qel::html::CreateFromHtml(rec, u"nobody.html", nullptr);
    fs::current_path(saved);
    ASSERT_TRUE(ok);
    EXPECT_EQ(Images(rec), expected);
}

TEST_F(HtmlImport, NoDocumentGivesFalseEmptyListAndKeepsTheHtml) {
    fs::create_directory(path("folder.html"));
    CQelHtmlData host(u"HTML");
    host.CreateNodeDataFromData(u"<p>x", 4, nullptr);
    Node* notADocument = dynamic_cast<Document*>(host.m_pRootNode)->getElementsByTagName(u"p").item(0);
    const std::u16string page = WriteFile("page.html", "<img src=a.gif>");
    const std::pair<std::u16string, Node*> inputs[] = {
        {wpath("missing.html"), nullptr}, {wpath("folder.html"), nullptr}, {u"", nullptr}, {page, notADocument}};
    for (const auto& [path, node] : inputs) {
        rec.m_strHtml = u"<p>before</p>";
        rec.AddImage(u"/x.gif", u"image1");
        EXPECT_FALSE(qel::html::CreateFromHtml(rec, path, node)) << qel::framework::WideToUtf8(path);
        EXPECT_EQ(rec.m_arrImages.GetSize(), 0);
        EXPECT_EQ(rec.m_strHtml, u"<p>before</p>");
    }
}

// Pages in the Japanese encodings keep their text; a page that declared
// another character set declares Shift_JIS in the card's markup, and the
// detail file's HTML part reads right as Shift_JIS.
TEST_F(HtmlImport, JapanesePagesKeepTheirTextAndDeclareShiftJis) {
    const std::u16string text = U("日本語のページ～①");
    struct Case {
        const char* name;
        std::string meta;       // as written in the page (ASCII)
        std::string encoded;    // `text` in the page's encoding
        std::string metaAfter;  // the meta element in m_strHtml
    };
    const std::string sjis = qel::framework::WideToCp932(text);
    const std::string utf8 = qel::framework::WideToUtf8(text);
    // EUC-JP has no ～ (U+FF5E) or ①: the page holds the characters EUC-JP has.
    const std::u16string eucText = U("日本語のページ");
    const std::string euc = "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xA5\xDA\xA1\xBC\xA5\xB8";
    const Case cases[] = {
        {"sjis.html", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">", sjis,
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"},
        {"sjis2.html", "<meta charset=x-sjis>", sjis, "<meta charset=x-sjis>"},
        {"euc.html", "<META HTTP-EQUIV=\"content-type\" CONTENT=\"text/html;charset=EUC-JP\">", euc,
         "<META HTTP-EQUIV=\"content-type\" CONTENT=\"text/html;charset=Shift_JIS\">"},
        {"utf8.html", "<meta charset=\"utf-8\">", utf8, "<meta charset=\"Shift_JIS\">"},
        {"utf8-undeclared.html", "<meta name=author content=me>", utf8, "<meta name=author content=me>"},
    };
    for (const Case& c : cases) {
        const std::u16string want = std::string(c.name).rfind("euc", 0) == 0 ? eucText : text;
        const std::string html = "<html><head>" + c.meta + "<title>t</title></head><body><p>" + c.encoded +
                                 "</p><img src=a.gif></body></html>";
        ASSERT_TRUE(qel::html::CreateFromHtml(rec, WriteFile(c.name, html), nullptr)) << c.name;
        EXPECT_EQ(rec.m_strHtml, U("<html><head>" + c.metaAfter + "<title>t</title></head><body><p>") + want +
                                     u"</p><img src=cid:image1></body></html>")
            << c.name;

        rec.SetType(TYPE_CARD);
        const std::string file = qel::framework::WideToCp932(qel::format::GetFileText(rec));
        const std::string part = qel::framework::WideToCp932(u"<p>" + want + u"</p>");
        EXPECT_NE(file.find(part), std::string::npos) << c.name;
    }
}

// References read the way the author's browser reads them: '\' is '/', and
// what resolves to the page itself (blanks, a fragment, a query, its own
// name) is no image and takes no number.
TEST_F(HtmlImport, BackslashesAndReferencesToThePageItself) {
    fs::create_directory(path("images"));
    qel::test::WriteFileBytes(path("images/logo.gif"), "GIF89a");
    const std::string html =
        "<img src=\"images\\logo.gif\"><img src=\" \"><img src=\"#top\"><img src=\"?v=1\">"
        "<img src=\"page.html\"><img src=\"./page.html#x\"><img src=\"..\\images\\b.gif\">"
        "<img src=\".//page.html\"><img src=\"12:30.gif\">";
    const std::u16string page = WriteFile("page.html", html);
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, page, nullptr));
    // A first segment with a colon but no valid scheme is a path beside the page.
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {
        {Local("images/logo.gif"), u"image1"},
        {W(dir().parent_path() / "images" / "b.gif"), u"image2"},
        {Local("12:30.gif"), u"image3"}};
    EXPECT_EQ(Images(rec), expected);
    EXPECT_EQ(rec.m_strHtml, U("<img src=\"cid:image1\"><img src=\" \"><img src=\"#top\"><img src=\"?v=1\">"
                               "<img src=\"page.html\"><img src=\"./page.html#x\"><img src=\"cid:image2\">"
                               "<img src=\".//page.html\"><img src=\"cid:image3\">"));
}

// An old Shift_JIS page escaped the bytes of its own encoding in a file
// name: %83%8D%83S is ロゴ, the file is found, from the page's file and from
// the host's document alike.
TEST_F(HtmlImport, EscapesInThePagesEncodingNameTheFile) {
    qel::test::WriteFileBytes(path("ロゴ.gif"), "GIF89a");
    const std::string html = "<meta charset=Shift_JIS><p>\x83\x8D\x83\x53</p><img src=\"%83%8D%83S.gif\">";
    const std::u16string page = WriteFile("sjis.html", html);
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {{Local("ロゴ.gif"), u"image1"}};
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, page, nullptr));
    EXPECT_EQ(Images(rec), expected);

    CQelHtmlData host(u"HTML");
    ASSERT_TRUE(host.CreateNodeData(page));
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, page, host.m_pRootNode));
    EXPECT_EQ(Images(rec), expected);
    // Escaped bytes that are UTF-8 too (%C3%A9, é) but name no file, while
    // in Shift_JIS (ﾃｩ) they name one, find that file.
    qel::test::WriteFileBytes(path("ﾃｩ.gif"), "GIF89a");
    const std::u16string both = WriteFile("both.html", "<meta charset=Shift_JIS><img src=\"%C3%A9.gif\">");
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, both, nullptr));
    EXPECT_EQ(Images(rec), (std::vector<std::pair<std::u16string, std::u16string>>{{Local("ﾃｩ.gif"), u"image1"}}));
}

// An inline data: image is kept in memory by its entry, under the name of
// its part: its content id unless another part of the card has that name.
// Nothing is written for it; the card carries its bytes like any other
// part, and GetHtml(true) gives it back as a data: URL. A malformed one is
// left as written and takes no number.
TEST_F(HtmlImport, DataImagesAreKeptInMemory) {
    fs::create_directory(path("sub"));
    qel::test::WriteFileBytes(path("sub/image1.gif"), "GIF89a");
    const std::string png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    const std::string html =
        "<body><img src=\"data:image/gif;base64,R0lGODlh\nAQABAA==#frag\">"
        "<img src=\"data:image/gif;base64\"><img src='data:image/gif;base64,R0l$'>"
        "<img src=\"sub/image1.gif\"><object data=\"data:image/png;base64,iVBORw0KGgoAAAANSUhEUg==\"></object>"
        "<img src=\"data:text/plain,hi\"><img src=\"data:image/png;base64,\"></body>";
    const std::u16string page = WriteFile("page.html", html);
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, page, nullptr));
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {{u"image1(1).gif", u"image1"},
                                                                             {Local("sub/image1.gif"), u"image2"},
                                                                             {u"image3", u"image3"},
                                                                             {u"image4.png", u"image4"},
                                                                             {u"image5.png", u"image5"}};
    EXPECT_EQ(Images(rec), expected);
    const std::string bytes[] = {std::string("GIF89a\1\0\1\0", 10), "", "hi", "", png};
    for (int i = 0; i < rec.m_arrImages.GetSize(); ++i) {
        const auto& data = rec.m_arrImages[i].m_data;
        EXPECT_EQ(data ? *data : "", bytes[i]) << i;
        EXPECT_EQ(data != nullptr, i != 1) << i;
    }
    EXPECT_EQ(rec.m_strHtml, U("<body><img src=\"cid:image1\">"
                               "<img src=\"data:image/gif;base64\"><img src='data:image/gif;base64,R0l$'>"
                               "<img src=\"cid:image2\"><object data=\"cid:image5\"></object>"
                               "<img src=\"cid:image3\"><img src=\"cid:image4\"></body>"));
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir())) files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"page.html", "sub"}));

    rec.SetType(TYPE_CARD);
    const std::u16string text = qel::format::GetFileText(rec);
    EXPECT_NE(text.find(u"Content-Type: image/png;name=\"image5.png\";\r\nContent-Transfer-Encoding: base64\r\n"
                        u"Content-ID: <image5>\r\n\r\niVBORw0KGgoAAAANSUhEUg==\r\n"),
              std::u16string::npos);
    // Without bytes, the name tells, as it does for an empty file.
    EXPECT_NE(text.find(u"Content-Type: image/png;name=\"image4.png\";"), std::u16string::npos);
    const std::u16string resolved = qel::html::GetHtml(rec, true);
    EXPECT_NE(resolved.find(u"<img src=\"data:image/gif;base64,R0lGODlhAQABAA==\">"), std::u16string::npos);
    EXPECT_NE(resolved.find(u"<img src=\"data:application/octet-stream;base64,aGk=\">"), std::u16string::npos);
}

TEST_F(HtmlImport, XhtmlDeclarationNamesShiftJis) {
    const std::string html =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<html><head>"
        "<meta http-equiv=\"Content-Type\" content=\"application/xhtml+xml; charset=UTF-8\" />"
        "</head><body><p>\xE6\x97\xA5</p></body></html>";
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, WriteFile("page.xhtml", html), nullptr));
    EXPECT_EQ(rec.m_strHtml, U("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<html><head>"
                               "<meta http-equiv=\"Content-Type\" "
                               "content=\"application/xhtml+xml; charset=Shift_JIS\" />"
                               "</head><body><p>日</p></body></html>"));
}

// A host DOM of our own making: its img list holds a null and a text node
// around two elements, and it records what the import gives back.
struct FakeImg : Element {
    explicit FakeImg(std::u16string s) : src(std::move(s)) {}
    std::u16string getTagName() const override { return u"img"; }
    std::u16string getAttribute(const std::u16string& n) const override { return n == u"src" ? src : u""; }
    void setAttribute(const std::u16string& n, const std::u16string& v) override { src = n == u"src" ? v : src; }
    Node* cloneNode(bool) const override { return new FakeImg(src); }
    std::u16string src;
};
struct FakeText : Node {
    int getNodeType() const override { return TEXT_NODE; }
    Node* cloneNode(bool) const override { return new FakeText; }
};
struct FakeDocument : Document {
    Node* cloneNode(bool) const override {
        auto* copy = new FakeDocument;
        copy->a.src = a.src;
        copy->b.src = b.src;
        return lastCopy = copy;
    }
    NodeList getElementsByTagName(const std::u16string& tag) const override {
        auto* self = const_cast<FakeDocument*>(this);
        return tag == u"img" ? NodeList({nullptr, &self->text, &self->a, &self->text, &self->b}) : NodeList();
    }
    Element* getBODYElement(Element*, bool) const override { return nullptr; }
    std::u16string getHTMLText() const override { return a.src + u"|" + b.src; }
    void deleteNodes(Node* copy) override {
        released.push_back(copy);
        delete copy;
    }
    FakeImg a{u"a.gif"}, b{u"b.gif"};
    FakeText text;
    mutable Node* lastCopy = nullptr;
    std::vector<Node*> released;
};

TEST_F(HtmlImport, HostDocumentCopyIsWalkedAndGivenBack) {
    FakeDocument host;
    ASSERT_TRUE(qel::html::CreateFromHtml(rec, wpath("page.html"), &host));
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {{Local("a.gif"), u"image1"},
                                                                             {Local("b.gif"), u"image2"}};
    EXPECT_EQ(Images(rec), expected);
    EXPECT_EQ(rec.m_strHtml, u"cid:image1|cid:image2");
    ASSERT_NE(host.lastCopy, nullptr);
    EXPECT_EQ(host.released, std::vector<Node*>{host.lastCopy});
    EXPECT_EQ(host.getHTMLText(), u"a.gif|b.gif");
}

}  // namespace
