// The nesting measure taken before a page is parsed: pages nested past the
// bound in the ways that stall or crash a parser are over it, while long
// pages written loosely (end tags left out, as the tree builder allows)
// stay as shallow as the tree they give.
#include "host/html/htmldepth.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qel::host::kMaxHtmlDepth;

// The most elements open at once.
std::size_t Depth(std::string_view markup) { return qel::host::MeasureHtmlNesting(markup).depth; }

std::string Repeat(const std::string& s, std::size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

TEST(HtmlDepth, DeepNestingIsOverTheBound) {
    EXPECT_EQ(Depth(Repeat("<div>", kMaxHtmlDepth)), kMaxHtmlDepth);
    EXPECT_TRUE(qel::host::HtmlNestingAcceptable(Repeat("<div>", kMaxHtmlDepth)));  // at the bound, not over
    EXPECT_GT(Depth(Repeat("<div>", kMaxHtmlDepth + 1)), kMaxHtmlDepth);
    EXPECT_GT(Depth(Repeat("<table><tr><td>", 1100)), kMaxHtmlDepth);  // with its tbody
    EXPECT_GT(Depth(Repeat("<b><i><font>", 2000)), kMaxHtmlDepth);
    EXPECT_GT(Depth(Repeat("<ul><li>", 3000)), kMaxHtmlDepth);  // lists in list items
    EXPECT_GT(Depth(Repeat("<dl><dd>", 3000)), kMaxHtmlDepth);
    EXPECT_GT(Depth(Repeat("<p><table><td>", 1000)), kMaxHtmlDepth);  // a table hides the outer p
    EXPECT_GT(Depth(Repeat("<DIV CLASS=a>", 5000)), kMaxHtmlDepth);
    // End tags of elements that are not open, or hidden by a table, close nothing.
    EXPECT_GT(Depth(Repeat("<div></span>", 5000)), kMaxHtmlDepth);
    EXPECT_GT(Depth("<div>" + Repeat("<table><td><div></div></div>", 3000)), kMaxHtmlDepth);
}

TEST(HtmlDepth, LooselyWrittenLongPagesStayShallow) {
    const std::size_t n = 20000;
    EXPECT_LE(Depth("<html><head><title>t</title></head><body>" + Repeat("<p>text", n)), 1u);
    EXPECT_LE(Depth("<ul>" + Repeat("<li>item", n) + "</ul>"), 2u);
    EXPECT_LE(Depth("<ol>" + Repeat("<li><ul><li>x</ul>", n)), 4u);
    EXPECT_LE(Depth("<dl>" + Repeat("<dt>term<dd>text", n)), 2u);
    EXPECT_LE(Depth("<table>" + Repeat("<tr><td>a<td>b", n) + "</table>"), 4u);
    EXPECT_LE(Depth("<table>" + Repeat("<tbody><tr><th>a</tr>", n)), 4u);
    EXPECT_LE(Depth("<select>" + Repeat("<option>x", n)), 2u);
    EXPECT_LE(Depth(Repeat("<p>a<div>b</div>", n)), 2u);  // a block closes the p
    EXPECT_LE(Depth(Repeat("<br><img src=a.gif><hr><input><meta><link>", n)), 0u);
    EXPECT_LE(Depth(Repeat("<table><tr><td><b>x</b></td></tr></table>", n)), 5u);
    EXPECT_LE(Depth("<svg>" + Repeat("<path d='M0 0'/>", n) + "</svg>"), 1u);
}

// Within the depth bound, the parser's work and the elements it makes are
// bounded too: formatting elements left open are reopened in every
// following paragraph, and every tag under thousands of open elements is
// looked up through all of them.
TEST(HtmlDepth, ReopenedFormattingAndWorkUnderDeepNestingAreBounded) {
    std::string reopened = "<p>";
    for (int i = 0; i < 8; ++i) reopened += "<b id=" + std::to_string(i) + ">";
    reopened += Repeat("<p>x", 130000);  // 1 MB that makes 1.2 million elements
    EXPECT_LE(Depth(reopened), 9u);
    EXPECT_GT(qel::host::MeasureHtmlNesting(reopened).elements, qel::host::kMaxHtmlElements);
    EXPECT_FALSE(qel::host::HtmlNestingAcceptable(reopened));
    std::string wide = "<p>";
    for (int i = 0; i < 4000; ++i) wide += "<b id=" + std::to_string(i) + ">";
    EXPECT_FALSE(qel::host::HtmlNestingAcceptable(wide + Repeat("<p>x", 300)));
    EXPECT_FALSE(qel::host::HtmlNestingAcceptable(Repeat("<div>", 4000) + Repeat("<em>x</em>", 20000)));

    // Identical formatting elements are reopened three at most, and none
    // out of a cell that closed: a paragraph makes itself, its font and
    // three reopened ones.
    const std::string fonts = Repeat("<p><font color=red>x", 100000);
    EXPECT_TRUE(qel::host::HtmlNestingAcceptable(fonts));
    EXPECT_LE(qel::host::MeasureHtmlNesting(fonts).elements, 5 * 100000u);
    std::string cells = "<table>";
    for (int i = 0; i < 50000; ++i) cells += "<tr><td><a href=" + std::to_string(i) + ".html>x";
    EXPECT_TRUE(qel::host::HtmlNestingAcceptable(cells));
    EXPECT_LE(Depth(cells), 5u);
}

TEST(HtmlDepth, TextThatIsNoMarkupIsNotCounted) {
    const std::string deep = Repeat("<div>", 5000);
    EXPECT_EQ(Depth("<script>if (a<b) x='" + deep + "';</script>"), 1u);
    EXPECT_EQ(Depth("<SCRIPT>" + deep + "</Script><p>"), 1u);
    EXPECT_EQ(Depth("<style>" + deep + "</style>"), 1u);
    EXPECT_EQ(Depth("<textarea>" + deep + "</textarea>"), 1u);
    EXPECT_EQ(Depth("<!--" + deep + "-->"), 0u);
    EXPECT_EQ(Depth("<a title=\"" + deep + ">\" href='>" + deep + "'>x</a>"), 1u);
    EXPECT_EQ(Depth("a < b, c <= d, <3 " + Repeat("< div>", 5000)), 0u);
    // Everything after <plaintext> is text.
    EXPECT_EQ(Depth("<plaintext>" + deep), 1u);
}

}  // namespace
