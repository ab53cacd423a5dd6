// The DOM built by the HTML loader: markup given back as written, attribute
// changes spliced into it, the tree's elements, copies.
#include "host/html/dom.h"

#include <pthread.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/codepage.h"
#include "host/html/htmldata.h"
#include "host/html/htmldepth.h"
#include "host/html/htmlsource.h"
#include "tests/support/test_support.h"

namespace {

using qel::framework::Utf8ToWide;

// A page parsed from UTF-8 text, with its loader.
struct Page {
    explicit Page(const std::string& utf8) : loader(u"HTML") {
        const std::u16string text = Utf8ToWide(utf8);
        loader.CreateNodeDataFromData(text.data(), static_cast<int>(text.size()), nullptr);
        doc = dynamic_cast<Document*>(loader.m_pRootNode);
    }
    std::string Html() const { return qel::framework::WideToUtf8(doc->getHTMLText()); }
    Element* Nth(const char16_t* tag, unsigned i) const {
        return dynamic_cast<Element*>(doc->getElementsByTagName(tag).item(i));
    }
    CQelHtmlData loader;
    Document* doc = nullptr;
};

// Sets one attribute of the first element of a tag and returns the markup.
std::string AfterSet(const std::string& page, const char16_t* tag, const std::u16string& name,
                     const std::u16string& value) {
    Page p(page);
    if (!p.doc) return "<no document>";
    Element* e = p.Nth(tag, 0);
    if (!e) return "<no element>";
    e->setAttribute(name, value);
    return p.Html();
}

TEST(DomTest, UnchangedPagesComeBackAsWritten) {
    const char* const pages[] = {
        "",
        "plain text, no markup",
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n"
        "<!-- a comment --><HTML><Head><TITLE>T</TITLE></Head>\r\n"
        "<BODY   BGCOLOR=#ffffff   text='black'>\t<IMG SRC=a.gif>\n<img src=\"b.gif\" alt='&lt;b&gt; &amp; &#x41;'>"
        "<input type=checkbox checked disabled></BODY></HTML>\r\n<!-- trailing -->\n",
        "<img src=a.gif src=dup.gif SRC='third'><p>unclosed<div>x</br></p><image src=i.gif>",
        "<table><tr><td>no tbody</td></tr></table><p><b>1<p>2</b>3",
        "\xEF\xBB\xBF<p>page with a byte-order mark</p>",
        ("<p>\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80</p><script>if (a<b) document.write('<img "
         "src=x>')</script>"),
        "<img\r\nsrc\r\n=\r\n\"a.gif\"\r\nalt = x z=&amp; q= ><svg viewBox='0 0 1 1'><path d=M0/></svg>",
        "<a href=x",  // cut off inside a tag
    };
    for (const char* page : pages) {
        Page p(page);
        ASSERT_NE(p.doc, nullptr) << page;
        EXPECT_EQ(p.Html(), page);
    }
}

TEST(DomTest, SetAttributeRewritesOnlyTheValueInItsQuoting) {
    struct Case {
        const char* page;
        const char16_t* tag;
        const char16_t* name;
        const char16_t* value;
        const char* expected;
    } const cases[] = {
        {"<IMG SRC=\"a.gif\" alt=x>", u"img", u"src", u"cid:image1", "<IMG SRC=\"cid:image1\" alt=x>"},
        {"<img src='a.gif'>", u"IMG", u"SRC", u"cid:image1", "<img src='cid:image1'>"},
        {"<img src='a.gif'>", u"img", u"src", u"it's", "<img src=\"it's\">"},
        {"<img src=a.gif>", u"img", u"src", u"cid:image1", "<img src=cid:image1>"},
        {"<img src=a.gif>", u"img", u"src", u"a b.gif", "<img src=\"a b.gif\">"},
        {"<img src=a.gif>", u"img", u"src", u"", "<img src=\"\">"},
        {"<img src=a.gif/>", u"img", u"src", u"b", "<img src=b>"},  // the slash was part of the value
        {"<img src = \"a\" >", u"img", u"src", u"b", "<img src = \"b\" >"},
        {"<img\r\nsrc\r\n=\r\na\r\n>", u"img", u"src", u"b", "<img\r\nsrc\r\n=\r\nb\r\n>"},
        // gumbo reports no source text for an unquoted value that starts with a reference
        {"<a z=&amp; y=2>", u"a", u"z", u"q", "<a z=q y=2>"},
        {"<a q= >", u"a", u"q", u"v", "<a q= v>"},
        {"<input checked>", u"input", u"checked", u"yes", "<input checked=\"yes\">"},
        {"<input checked/>", u"input", u"checked", u"", "<input checked/>"},
        {"<img src=a src=b>", u"img", u"src", u"c", "<img src=c src=b>"},
        {"<img src=\"a\">", u"img", u"src", u"say \"hi\" & x&y &#1",
         "<img src=\"say &quot;hi&quot; & x&amp;y &amp;#1\">"},
        {"<img src=a>", u"img", u"src", u"x&amp", "<img src=x&amp;amp>"},
        {"<img src='a'>", u"img", u"src", u"\"q\"", "<img src='\"q\"'>"},
        {"<p>\xE6\x97\xA5\xE6\x9C\xAC<img alt=\"\xE6\x97\xA5\" src=\"a\">", u"img", u"src", u"\u65E5.gif",
         "<p>\xE6\x97\xA5\xE6\x9C\xAC<img alt=\"\xE6\x97\xA5\" src=\"\xE6\x97\xA5.gif\">"},
        // Characters outside the BMP on both sides of escaped ones stay whole.
        {"<img src=\"a\">", u"img", u"src", u"\U0001F600&x\"\U0001F600",
         "<img src=\"\xF0\x9F\x98\x80&amp;x&quot;\xF0\x9F\x98\x80\">"},
        // The same value leaves the text as written.
        {"<img src=\"&#97;.gif\">", u"img", u"src", u"a.gif", "<img src=\"&#97;.gif\">"},
    };
    for (const Case& c : cases) EXPECT_EQ(AfterSet(c.page, c.tag, c.name, c.value), c.expected) << c.page;
}

TEST(DomTest, ValuesAreReadDecodedAndNulIsNeverWritten) {
    Page p("<img alt=\"&lt;b&gt; &amp;amp; &#x41;\" SRC=a.gif checked>");
    Element* img = p.Nth(u"img", 0);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->getAttribute(u"alt"), u"<b> &amp; A");
    EXPECT_EQ(img->getAttribute(u"Src"), u"a.gif");
    EXPECT_EQ(img->getAttribute(u"checked"), u"");
    EXPECT_EQ(img->getAttribute(u"missing"), u"");

    img->setAttribute(u"src", std::u16string(u"a\0b", 3));
    EXPECT_EQ(img->getAttribute(u"src"), std::u16string(u"a\0b", 3));
    EXPECT_EQ(p.Html(),
              "<img alt=\"&lt;b&gt; &amp;amp; &#x41;\" SRC=a\xEF\xBF\xBD"
              "b checked>");
}

TEST(DomTest, NewAttributeGoesAfterTheTagName) {
    EXPECT_EQ(AfterSet("<BODY bgcolor=white>", u"body", u"BACKGROUND", u"cid:image1"),
              "<BODY background=\"cid:image1\" bgcolor=white>");
    EXPECT_EQ(AfterSet("<body>x", u"body", u"background", u"a \"b\""), "<body background=\"a &quot;b&quot;\">x");
    EXPECT_EQ(AfterSet("<br/>", u"br", u"class", u"c"), "<br class=\"c\"/>");
    EXPECT_EQ(AfterSet("<img\nsrc=a>", u"img", u"alt", u""), "<img alt=\"\"\nsrc=a>");

    Page p("<p>x</p>");
    Element* para = p.Nth(u"p", 0);
    para->setAttribute(u"a", u"1");
    para->setAttribute(u"b", u"2");
    para->setAttribute(u"a", u"3");
    for (const char16_t* bad : {u"", u"a b", u"a=b", u"a\"", u"a/", u"a>"}) para->setAttribute(bad, u"v");
    EXPECT_EQ(p.Html(), "<p a=\"3\" b=\"2\">x</p>");
    EXPECT_EQ(para->getAttribute(u"A"), u"3");
    EXPECT_EQ(para->getAttribute(u"a b"), u"");
}

TEST(DomTest, ParserMadeElementsKeepNewAttributesInTheTreeOnly) {
    Page p("<p>x</p>");
    Element* html = p.Nth(u"html", 0);
    ASSERT_NE(html, nullptr);
    html->setAttribute(u"lang", u"ja");
    EXPECT_EQ(html->getAttribute(u"lang"), u"ja");
    EXPECT_EQ(p.Html(), "<p>x</p>");
}

TEST(DomTest, ReopenedFormattingElementDoesNotWriteOverTheOriginal) {
    // gumbo reopens <b> inside the second <p> as a copy that points at the
    // first <b>'s text.
    Page p("<p><b class=x>1<p>2</p>");
    ASSERT_EQ(p.doc->getElementsByTagName(u"b").length(), 2u);
    Element* copy = p.Nth(u"b", 1);
    EXPECT_EQ(copy->getAttribute(u"class"), u"x");
    copy->setAttribute(u"class", u"copy");
    EXPECT_EQ(p.Html(), "<p><b class=x>1<p>2</p>");
    p.Nth(u"b", 0)->setAttribute(u"class", u"orig");
    EXPECT_EQ(p.Html(), "<p><b class=orig>1<p>2</p>");
}

TEST(DomTest, ChangesAreSplicedInSourceOrder) {
    // The body comes first in the tree, but its attribute comes from a
    // <body> tag after the image.
    Page p("<p>x<img src=1.gif><body background=b.gif><img src='2.gif'>");
    Element* body = p.doc->getBODYElement(nullptr, false);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getAttribute(u"background"), u"b.gif");
    body->setAttribute(u"background", u"cid:image1");
    p.Nth(u"img", 0)->setAttribute(u"src", u"cid:image2");
    p.Nth(u"img", 1)->setAttribute(u"src", u"cid:image3");
    EXPECT_EQ(p.Html(), "<p>x<img src=cid:image2><body background=cid:image1><img src='cid:image3'>");
}

TEST(DomTest, BodyElementOnlyWhenThePageHasABodyTag) {
    EXPECT_NE(Page("<html><body><p>x</body></html>").doc->getBODYElement(nullptr, false), nullptr);
    EXPECT_NE(Page("<BODY background=a.gif>").doc->getBODYElement(nullptr, true), nullptr);
    EXPECT_EQ(Page("<p>no body tag</p>").doc->getBODYElement(nullptr, false), nullptr);
    EXPECT_EQ(Page("").doc->getBODYElement(nullptr, false), nullptr);
    EXPECT_EQ(Page("<frameset><frame src=a.html></frameset>").doc->getBODYElement(nullptr, false), nullptr);

    Page p("<body bgcolor=red><p>x");
    Element* body = p.doc->getBODYElement(nullptr, false);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getTagName(), u"body");
    EXPECT_EQ(body->getAttribute(u"bgcolor"), u"red");
}

TEST(DomTest, ElementsByTagNameInDocumentOrder) {
    Page p(
        "<IMG src=1><div><img src=2><object data=o><IMG src=3></object></div>"
        "<image src=4><template><img src=t></template><table><tr><td><img src=5></table><x-y>z</x-y>");
    for (const char16_t* tag : {u"img", u"IMG", u"Img"}) {
        const NodeList list = p.doc->getElementsByTagName(tag);
        ASSERT_EQ(list.length(), 5u);
        for (unsigned i = 0; i < list.length(); ++i) {
            ASSERT_EQ(list.item(i)->getNodeType(), Node::ELEMENT_NODE);
            EXPECT_EQ(dynamic_cast<Element*>(list.item(i))->getAttribute(u"src"),
                      std::u16string(1, static_cast<char16_t>(u'1' + i)));
        }
        EXPECT_EQ(list.item(5), nullptr);
    }
    EXPECT_EQ(p.doc->getElementsByTagName(u"object").length(), 1u);
    EXPECT_EQ(p.doc->getElementsByTagName(u"embed").length(), 0u);
    EXPECT_EQ(p.doc->getElementsByTagName(u"tbody").length(), 1u);
    ASSERT_EQ(p.doc->getElementsByTagName(u"X-Y").length(), 1u);
    EXPECT_EQ(p.Nth(u"x-y", 0)->getTagName(), u"x-y");
    // html, head, body, 5 img, div, object, template, table, tbody, tr, td, x-y
    EXPECT_EQ(p.doc->getElementsByTagName(u"*").length(), 16u);
    EXPECT_EQ(p.doc->getNodeType(), Node::DOCUMENT_NODE);
}

TEST(DomTest, CloneSharesNothingWithTheOriginal) {
    const std::string page = "<body background='bg.gif'><img src=a.gif><img src=\"b.gif\">";
    Page p(page);
    p.Nth(u"img", 1)->setAttribute(u"src", u"changed-before-clone");

    Node* node = p.doc->cloneNode(true);
    auto* copy = dynamic_cast<Document*>(node);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getHTMLText(), p.doc->getHTMLText());

    auto* copyImg = dynamic_cast<Element*>(copy->getElementsByTagName(u"img").item(0));
    ASSERT_NE(copyImg, p.Nth(u"img", 0));
    copyImg->setAttribute(u"src", u"cid:image1");
    copy->getBODYElement(nullptr, false)->setAttribute(u"background", u"cid:image2");
    p.Nth(u"img", 0)->setAttribute(u"alt", u"original only");

    EXPECT_EQ(qel::framework::WideToUtf8(copy->getHTMLText()),
              "<body background='cid:image2'><img src=cid:image1><img src=\"changed-before-clone\">");
    EXPECT_EQ(p.Html(),
              "<body background='bg.gif'><img alt=\"original only\" src=a.gif><img src=\"changed-before-clone\">");
    EXPECT_EQ(p.Nth(u"img", 0)->getAttribute(u"src"), u"a.gif");

    p.doc->deleteNodes(copy);
    EXPECT_EQ(p.Nth(u"img", 0)->getAttribute(u"src"), u"a.gif");

    Node* empty = p.doc->cloneNode(false);
    ASSERT_NE(dynamic_cast<Document*>(empty), nullptr);
    EXPECT_EQ(dynamic_cast<Document*>(empty)->getElementsByTagName(u"*").length(), 0u);
    p.doc->deleteNodes(empty);
}

TEST(DomTest, ElementCopiesStandAlone) {
    Page p("<div id=d><img src=a.gif></div>");
    Element* div = p.Nth(u"div", 0);
    auto* copy = dynamic_cast<Element*>(div->cloneNode(true));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getTagName(), u"div");
    copy->setAttribute(u"id", u"copy");
    EXPECT_EQ(div->getAttribute(u"id"), u"d");
    auto* second = dynamic_cast<Element*>(copy->cloneNode(true));
    EXPECT_EQ(second->getAttribute(u"id"), u"copy");
    EXPECT_EQ(p.Html(), "<div id=d><img src=a.gif></div>");
    p.doc->deleteNodes(second);
    p.doc->deleteNodes(copy);
    // Nodes of the tree itself are not released one by one.
    p.doc->deleteNodes(div);
    p.doc->deleteNodes(p.doc);
    p.doc->deleteNodes(nullptr);
    EXPECT_EQ(p.Nth(u"div", 0)->getAttribute(u"id"), u"d");

    // A copy keeps its values when its document is gone.
    std::unique_ptr<Node> kept;
    {
        Page q("<i title='t&amp;x'>");
        kept.reset(q.Nth(u"i", 0)->cloneNode(false));
    }
    EXPECT_EQ(dynamic_cast<Element&>(*kept).getAttribute(u"title"), u"t&x");
}

TEST(DomTest, LoaderArgumentsAndReuse) {
    CQelHtmlData loader(u"HTML");
    const std::u16string text = u"<img src=a>";
    Page other("<p>");
    EXPECT_FALSE(loader.CreateNodeDataFromData(text.data(), 3, other.doc));
    EXPECT_EQ(loader.m_pRootNode, nullptr);
    EXPECT_FALSE(loader.CreateNodeDataFromData(text.data(), -1, nullptr));
    EXPECT_FALSE(loader.CreateNodeDataFromData(nullptr, 4, nullptr));
    EXPECT_EQ(loader.m_pRootNode, nullptr);

    ASSERT_TRUE(loader.CreateNodeDataFromData(nullptr, 0, nullptr));
    ASSERT_NE(dynamic_cast<Document*>(loader.m_pRootNode), nullptr);
    EXPECT_EQ(dynamic_cast<Document*>(loader.m_pRootNode)->getHTMLText(), u"");

    // Only `length` characters count; a second parse replaces the first.
    ASSERT_TRUE(loader.CreateNodeDataFromData(text.data(), 9, nullptr));
    auto* doc = dynamic_cast<Document*>(loader.m_pRootNode);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->getHTMLText(), u"<img src=");
    EXPECT_EQ(doc->getElementsByTagName(u"img").length(), 0u);  // a tag cut off is no tag
    loader.DestroyNodeData();
    EXPECT_EQ(loader.m_pRootNode, nullptr);
    loader.DestroyNodeData();
}

// A page nested deeper than the bound is refused before it is parsed; one
// at the bound is parsed, and freed without recursing once per level: here
// on a thread whose stack (128 KiB) a recursive free of the tree overflows.
TEST(DomTest, DeepPagesAreRefusedAndDeepTreesFreedWithoutRecursion) {
    auto nested = [](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += "<span>";
        return s + "<img src=deep.gif>";
    };
    EXPECT_EQ(qel::host::ParseHtmlDocument(nested(qel::host::kMaxHtmlDepth + 1)), nullptr);
    const std::string atTheBound = nested(qel::host::kMaxHtmlDepth - 3);  // html, head and body come on top

    struct Job {
        const std::string* page;
        bool parsed = false;
        unsigned images = 0;
    } job{&atTheBound};
    pthread_attr_t attr;
    ASSERT_EQ(::pthread_attr_init(&attr), 0);
    ASSERT_EQ(::pthread_attr_setstacksize(&attr, 128 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(::pthread_create(
                  &thread, &attr,
                  [](void* arg) -> void* {
                      auto& j = *static_cast<Job*>(arg);
                      std::unique_ptr<Document> doc = qel::host::ParseHtmlDocument(*j.page);
                      j.parsed = doc != nullptr;
                      if (doc) j.images = doc->getElementsByTagName(u"img").length();
                      return nullptr;
                  },
                  &job),
              0);
    ::pthread_join(thread, nullptr);
    ::pthread_attr_destroy(&attr);
    EXPECT_TRUE(job.parsed);
    EXPECT_EQ(job.images, 1u);
}

TEST(DomTest, WideTextKeepsItsCharacters) {
    // A byte-order mark and characters outside the BMP come back; a lone
    // surrogate, which UTF-8 cannot carry, comes back as U+FFFD.
    const std::u16string text = u"\uFEFF<p title=\"\U0001F600\">\u3042</p>\xD800";
    CQelHtmlData loader(u"HTML");
    ASSERT_TRUE(loader.CreateNodeDataFromData(text.data(), static_cast<int>(text.size()), nullptr));
    auto* doc = dynamic_cast<Document*>(loader.m_pRootNode);
    EXPECT_EQ(doc->getHTMLText(), u"\uFEFF<p title=\"\U0001F600\">\u3042</p>\uFFFD");
    EXPECT_EQ(dynamic_cast<Element*>(doc->getElementsByTagName(u"p").item(0))->getAttribute(u"title"), u"\U0001F600");
}

class DomFileTest : public qel::test::TempDirTest {};

TEST_F(DomFileTest, PageFileComesBackByteForByte) {
    const std::string page =
        "<!DOCTYPE html>\r\n<html lang=ja>\r\n<head><meta charset=\"utf-8\"><title>\xE3\x81\x82</title></head>\r\n"
        "<Body BackGround=\"bg.gif\" >\r\n  <IMG src=a.gif WIDTH=10><img src='b c.png' alt>\r\n"
        "  <object data=\"m.swf\" type=application/x-shockwave-flash></object>\r\n</Body>\r\n</html>\r\n";
    CQelHtmlData loader(u"HTML");
    ASSERT_TRUE(loader.CreateNodeData(WriteFile("page.html", page)));
    auto* doc = dynamic_cast<Document*>(loader.m_pRootNode);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(qel::framework::WideToUtf8(doc->getHTMLText()), page);

    doc->getBODYElement(nullptr, false)->setAttribute(u"background", u"cid:image1");
    const NodeList imgs = doc->getElementsByTagName(u"img");
    for (unsigned i = 0; i < imgs.length(); ++i)
        dynamic_cast<Element*>(imgs.item(i))
            ->setAttribute(u"src", u"cid:image" + std::u16string(1, static_cast<char16_t>(u'2' + i)));
    dynamic_cast<Element*>(doc->getElementsByTagName(u"object").item(0))->setAttribute(u"data", u"cid:image4");
    std::string expected = page;
    for (const auto& [from, to] : {std::pair{"\"bg.gif\"", "\"cid:image1\""},
                                   {"a.gif", "cid:image2"},
                                   {"'b c.png'", "'cid:image3'"},
                                   {"\"m.swf\"", "\"cid:image4\""}})
        expected.replace(expected.find(from), std::string(from).size(), to);
    EXPECT_EQ(qel::framework::WideToUtf8(doc->getHTMLText()), expected);
    loader.DestroyNodeData();
}

}  // namespace
