// CreateFromHtml: the example shop page from its file and from the host's
// document (image list, cid: references, the page otherwise as written, the
// host's document untouched), the detail file written from it with every
// image's bytes, which references are collected and how they are numbered,
// pages in Japanese encodings, and pages that give no document.
#include "model/tpjfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <vector>

#include "framework/codepage.h"
#include "host/dom.h"
#include "host/htmldata.h"
#include "host/url.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

std::u16string W(const fs::path& p) { return qel::PathFromNative(p.string()); }
std::u16string U(std::string_view utf8) { return qel::Utf8ToWide(utf8); }

std::vector<std::pair<std::u16string, std::u16string>> Images(const CQelTpjFile& rec) {
    std::vector<std::pair<std::u16string, std::u16string>> out;
    for (int i = 0; i < rec.m_arrImages.GetSize(); ++i)
        out.emplace_back(rec.m_arrImages[i].m_strPath, rec.m_arrImages[i].m_strId);
    return out;
}

// Replaces the first occurrence of `from` after `pos` (which it advances).
void ReplaceNext(std::u16string& text, std::size_t& pos, const std::u16string& from, const std::u16string& to) {
    const auto at = text.find(from, pos);
    ASSERT_NE(at, std::u16string::npos) << qel::WideToUtf8(from);
    text.replace(at, from.size(), to);
    pos = at + to.size();
}

class ShopPage : public qeltest::TempDirTest {
protected:
    const fs::path shop = fs::path(QEL_SOURCE_DIR) / "examples" / "shop";
    const fs::path images = shop / "images";
    const std::u16string page = W(shop / "index.html");
    const std::u16string cakeName = U("ケーキ セット.jpg");
    CQelTpjFile rec{TYPE_PROJECT};

    std::u16string Source() const { return qel::Cp932ToWide(qeltest::ReadFileBytes(shop / "index.html")); }

    // The page as written, with the six collected references and nothing else changed.
    std::u16string ExpectedHtml() const {
        std::u16string text = Source();
        std::size_t pos = 0;
        ReplaceNext(text, pos, u"background=\"images/bg.gif\"", u"background=\"cid:image1\"");
        ReplaceNext(text, pos, u"src=\"images/logo.gif\"", u"src=\"cid:image2\"");
        ReplaceNext(text, pos, u"src=\"images/%E3%82%B1%E3%83%BC%E3%82%AD%20%E3%82%BB%E3%83%83%E3%83%88.jpg\"",
                    u"src=\"cid:image3\"");
        ReplaceNext(text, pos, u"src=\"images/star.png\"", u"src=\"cid:image4\"");
        ReplaceNext(text, pos, u"src=\"images/star.png\"", u"src=\"cid:image5\"");
        ReplaceNext(text, pos, u"data=\"images/coupon.swf\"", u"data=\"cid:image6\"");
        return text;
    }

    void ExpectShopRecord() {
        const std::vector<std::pair<std::u16string, std::u16string>> expected = {
            {W(images / "bg.gif"), u"image1"},       {W(images / "logo.gif"), u"image2"},
            {W(images) + u"/" + cakeName, u"image3"}, {W(images / "star.png"), u"image4"},
            {W(images / "star.png"), u"image5"},     {W(images / "coupon.swf"), u"image6"}};
        EXPECT_EQ(Images(rec), expected);
        for (const auto& [path, id] : Images(rec)) EXPECT_TRUE(fs::is_regular_file(qel::PathToNative(path))) << qel::WideToUtf8(id);
        EXPECT_EQ(rec.m_strHtml, ExpectedHtml());
        EXPECT_NE(rec.m_strHtml.find(u"src=\"http://www.example.com/toruca/banner.gif\""), std::u16string::npos);
    }
};

TEST_F(ShopPage, FromItsFile) {
    ASSERT_TRUE(rec.CreateFromHtml(page, nullptr));
    ExpectShopRecord();
}

TEST_F(ShopPage, FromTheHostsDocumentWhichKeepsItsReferences) {
    CQelHtmlData host(u"HTML");
    ASSERT_TRUE(host.CreateNodeData(page));
    auto* doc = dynamic_cast<Document*>(host.m_pRootNode);
    ASSERT_NE(doc, nullptr);
    const std::u16string before = doc->getHTMLText();
    ASSERT_EQ(before, Source());

    ASSERT_TRUE(rec.CreateFromHtml(page, doc));
    ExpectShopRecord();
    EXPECT_EQ(doc->getHTMLText(), before);
    auto* img = dynamic_cast<Element*>(doc->getElementsByTagName(u"img").item(0));
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->getAttribute(u"src"), u"images/logo.gif");
}

TEST_F(ShopPage, GetHtmlNamesTheFilesAgain) {
    ASSERT_TRUE(rec.CreateFromHtml(page, nullptr));
    const std::u16string stored = rec.m_strHtml;
    std::u16string expected = Source();
    std::size_t pos = 0;
    auto url = [](const fs::path& p) {
        std::u16string u;
        SIFUtil::PCPathtoURL(u, W(p));
        return u;
    };
    const std::u16string cake = url(images) + u"/%E3%82%B1%E3%83%BC%E3%82%AD%20%E3%82%BB%E3%83%83%E3%83%88.jpg";
    ASSERT_EQ(url(images / "bg.gif").rfind(u"file:///", 0), 0u);
    ReplaceNext(expected, pos, u"\"images/bg.gif\"", u"\"" + url(images / "bg.gif") + u"\"");
    ReplaceNext(expected, pos, u"\"images/logo.gif\"", u"\"" + url(images / "logo.gif") + u"\"");
    ReplaceNext(expected, pos, u"\"images/%E3%82%B1%E3%83%BC%E3%82%AD%20%E3%82%BB%E3%83%83%E3%83%88.jpg\"",
                u"\"" + cake + u"\"");
    ReplaceNext(expected, pos, u"\"images/star.png\"", u"\"" + url(images / "star.png") + u"\"");
    ReplaceNext(expected, pos, u"\"images/star.png\"", u"\"" + url(images / "star.png") + u"\"");
    ReplaceNext(expected, pos, u"\"images/coupon.swf\"", u"\"" + url(images / "coupon.swf") + u"\"");

    EXPECT_EQ(rec.GetHtml(true), expected);
    EXPECT_EQ(rec.GetHtml(false), stored);
    EXPECT_EQ(rec.m_strHtml, stored);
    // The file URL of the Japanese name leads back to the file.
    std::u16string back;
    SIFUtil::URLtoPCPath(back, cake);
    EXPECT_TRUE(fs::is_regular_file(qel::PathToNative(back)));
}

// The detail file as an independent MIME reader (Python's email package)
// sees it: the page part, then one part per image carrying its exact bytes.
TEST_F(ShopPage, DetailFileCarriesEveryImagesBytes) {
    if (std::system("python3 -c 'import email' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 not available";
    ASSERT_TRUE(rec.CreateFromHtml(page, nullptr));
    rec.SetType(TYPE_CARD);
    const std::string file = (dir() / "toruca_detail.trc").string();
    qeltest::WriteFileBytes(file, qel::WideToCp932(rec.GetFileText()));

    const std::string cmd = "python3 '" + std::string(QEL_SOURCE_DIR) + "/tests/support/read_mime.py' '" + file + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ASSERT_EQ(::pclose(p), 0) << out;

    std::vector<std::vector<std::string>> parts;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.size() == 6) parts.push_back(fields);
    }
    auto hex = [](const std::string& bytes) {
        static const char* d = "0123456789abcdef";
        std::string h;
        for (unsigned char c : bytes) h += {d[c >> 4], d[c & 15]};
        return h;
    };
    ASSERT_EQ(parts.size(), 7u) << out;
    EXPECT_EQ(parts[0][0], "text/html");
    EXPECT_EQ(parts[0][5], hex(qel::WideToCp932(rec.m_strHtml) + "\r\n\r\n\r\n").substr(0, parts[0][5].size()));
    const char* types[] = {"image/gif", "image/gif", "image/jpeg", "image/png", "image/png",
                           "application/x-shockwave-flash"};
    for (int i = 0; i < 6; ++i) {
        const auto& part = parts[static_cast<std::size_t>(i) + 1];
        EXPECT_EQ(part[0], types[i]) << i;
        EXPECT_EQ(part[2], "base64") << i;
        EXPECT_EQ(part[3], "<image" + std::to_string(i + 1) + ">");
        EXPECT_EQ(part[4], "") << "defects in part " << i;
        const std::string bytes = qeltest::ReadFileBytes(qel::PathToNative(rec.m_arrImages[i].m_strPath));
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(part[5], hex(bytes)) << i;
    }
}

class HtmlImport : public qeltest::TempDirTest {
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
    ASSERT_TRUE(rec.CreateFromHtml(page, nullptr));
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {
        {Local("bg.gif"), u"image1"},      {Local("a.gif"), u"image2"},
        {Local("a.gif"), u"image3"},       {u"ftp://host/f.gif", u"image4"},
        {u"cid:old", u"image5"},           {u"/opt/x y.gif", u"image6"},
        {Local("movie.swf"), u"image7"}};
    EXPECT_EQ(Images(rec), expected);
    const std::u16string want = U(
        "<html><head><link rel=stylesheet href=s.css></head>\r\n"
        "<body background=\"cid:image1\" bgcolor=white>\r\n"
        "<object data='cid:image7'></object><table background=t.gif><tr><td background=td.gif>x</table>\r\n"
        "<img src=cid:image2><img><img src=\"\"><img src=\"http://example.com/h.gif\">"
        "<IMG SRC=\"HTTPS://example.com/s.gif\"><img src=\"HTTP://example.com/u.gif\">\r\n"
        "<img src=\"cid:image3\"><img src=cid:image4><img src=\"cid:image5\">"
        "<img src=\"cid:image6\"><input type=image src=in.gif><embed src=e.swf>\r\n"
        "</body></html>\r\n");
    EXPECT_EQ(rec.m_strHtml, want);
}

TEST_F(HtmlImport, PageWithoutBodyElementNumbersFromItsFirstImage) {
    const std::u16string page = WriteFile("nobody.html", "<title>t</title><img src=a.gif><object data=b.swf>");
    ASSERT_TRUE(rec.CreateFromHtml(page, nullptr));
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {{Local("a.gif"), u"image1"},
                                                                             {Local("b.swf"), u"image2"}};
    EXPECT_EQ(Images(rec), expected);
    EXPECT_EQ(rec.m_strHtml, u"<title>t</title><img src=cid:image1><object data=cid:image2>");
}

TEST_F(HtmlImport, SecondCallStartsAfresh) {
    ASSERT_TRUE(rec.CreateFromHtml(WriteFile("one.html", "<img src=a.gif><img src=b.gif>"), nullptr));
    ASSERT_EQ(rec.m_arrImages.GetSize(), 2);
    ASSERT_TRUE(rec.CreateFromHtml(WriteFile("two.html", "<img src=c.gif>"), nullptr));
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {{Local("c.gif"), u"image1"}};
    EXPECT_EQ(Images(rec), expected);
    EXPECT_EQ(rec.m_strHtml, u"<img src=cid:image1>");
}

TEST_F(HtmlImport, RelativePagePathResolvesFromTheCurrentFolder) {
    WriteFile("rel.html", "<img src=a.gif>");
    const fs::path saved = fs::current_path();
    fs::current_path(dir());
    const bool ok = rec.CreateFromHtml(u"rel.html", nullptr);
    fs::current_path(saved);
    ASSERT_TRUE(ok);
    ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
    EXPECT_EQ(rec.m_arrImages[0].m_strPath, Local("a.gif"));
}

TEST_F(HtmlImport, NoDocumentGivesFalseEmptyListAndKeepsTheHtml) {
    fs::create_directory(path("folder.html"));
    Element* notADocument = nullptr;
    CQelHtmlData host(u"HTML");
    host.CreateNodeDataFromData(u"<p>x", 4, nullptr);
    notADocument = dynamic_cast<Element*>(dynamic_cast<Document*>(host.m_pRootNode)->getElementsByTagName(u"p").item(0));
    ASSERT_NE(notADocument, nullptr);

    for (int i = 0; i < 4; ++i) {
        rec.m_strHtml = u"<p>before</p>";
        rec.AddImage(u"/x.gif", u"image1");
        bool ok = true;
        switch (i) {
        case 0: ok = rec.CreateFromHtml(wpath("missing.html"), nullptr); break;
        case 1: ok = rec.CreateFromHtml(wpath("folder.html"), nullptr); break;
        case 2: ok = rec.CreateFromHtml(u"", nullptr); break;
        case 3: ok = rec.CreateFromHtml(WriteFile("page.html", "<img src=a.gif>"), notADocument); break;
        }
        EXPECT_FALSE(ok) << i;
        EXPECT_EQ(rec.m_arrImages.GetSize(), 0) << i;
        EXPECT_EQ(rec.m_strHtml, u"<p>before</p>") << i;
    }
    EXPECT_EQ(notADocument->getAttribute(u"src"), u"");
}

// Pages in the Japanese encodings keep their text; a page that declared
// another character set declares Shift_JIS in the card's markup, and the
// detail file's HTML part reads right as Shift_JIS.
TEST_F(HtmlImport, JapanesePagesKeepTheirTextAndDeclareShiftJis) {
    const std::u16string text = U("日本語のページ～①");
    struct Case {
        const char* name;
        std::string meta;      // as written in the page (ASCII)
        std::string encoded;   // `text` in the page's encoding
        std::string metaAfter; // the meta element in m_strHtml
    };
    const std::string sjis = qel::WideToCp932(text);
    const std::string utf8 = qel::WideToUtf8(text);
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
        ASSERT_TRUE(rec.CreateFromHtml(WriteFile(c.name, html), nullptr)) << c.name;
        EXPECT_EQ(rec.m_strHtml, U("<html><head>" + c.metaAfter + "<title>t</title></head><body><p>") + want +
                                     u"</p><img src=cid:image1></body></html>")
            << c.name;

        rec.SetType(TYPE_CARD);
        const std::string file = qel::WideToCp932(rec.GetFileText());
        const std::string part = qel::WideToCp932(u"<p>" + want + u"</p>");
        EXPECT_NE(file.find(part), std::string::npos) << c.name;
    }
}

// A host DOM of our own making: lists that hold a null and a node that is no
// element, and a document that records what the import does with its copy.
class FakeElement : public Element {
public:
    explicit FakeElement(std::u16string src) : m_src(std::move(src)) {}
    std::u16string getTagName() const override { return u"img"; }
    std::u16string getAttribute(const std::u16string& name) const override { return name == u"src" ? m_src : u""; }
    void setAttribute(const std::u16string& name, const std::u16string& value) override {
        if (name == u"src") m_src = value;
    }
    Node* cloneNode(bool) const override { return new FakeElement(m_src); }
    std::u16string m_src;
};

class FakeText : public Node {
public:
    int getNodeType() const override { return TEXT_NODE; }
    Node* cloneNode(bool) const override { return new FakeText; }
};

class FakeDocument : public Document {
public:
    FakeDocument() : m_first(u"a.gif"), m_second(u"b.gif") {}
    Node* cloneNode(bool) const override {
        auto* copy = new FakeDocument;
        copy->m_first.m_src = m_first.m_src;
        copy->m_second.m_src = m_second.m_src;
        m_lastCopy = copy;
        return copy;
    }
    NodeList getElementsByTagName(const std::u16string& tag) const override {
        if (tag != u"img") return NodeList();
        return NodeList({nullptr, const_cast<FakeText*>(&m_text), const_cast<FakeElement*>(&m_first),
                         const_cast<FakeText*>(&m_text), const_cast<FakeElement*>(&m_second)});
    }
    Element* getBODYElement(Element*, bool) const override { return nullptr; }
    std::u16string getHTMLText() const override { return m_first.m_src + u"|" + m_second.m_src; }
    void deleteNodes(Node* copy) override {
        m_released.push_back(copy);
        delete copy;
    }
    FakeElement m_first, m_second;
    FakeText m_text;
    mutable Node* m_lastCopy = nullptr;
    std::vector<Node*> m_released;
};

TEST_F(HtmlImport, HostDocumentCopyIsWalkedAndGivenBack) {
    FakeDocument host;
    ASSERT_TRUE(rec.CreateFromHtml(wpath("page.html"), &host));
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {{Local("a.gif"), u"image1"},
                                                                             {Local("b.gif"), u"image2"}};
    EXPECT_EQ(Images(rec), expected);
    EXPECT_EQ(rec.m_strHtml, u"cid:image1|cid:image2");
    ASSERT_NE(host.m_lastCopy, nullptr);
    EXPECT_EQ(host.m_released, std::vector<Node*>{host.m_lastCopy});
    EXPECT_EQ(host.getHTMLText(), u"a.gif|b.gif");
}

}  // namespace
