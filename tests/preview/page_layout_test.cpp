// Layout facts of the page preview that need no browser to check: a page
// laid out and drawn at 240 pixels with the handset's stylesheet, and the
// boxes and lines found again in the picture. Each test takes one group of
// presentational attributes or one kind of form control.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "preview/litehtml_page.h"
#include "preview/page_canvas.h"
#include "preview/page_style.h"
#include "tests/support/test_support.h"

namespace qel::apps {
namespace {

constexpr int kWidth = 240;
constexpr std::uint32_t kRed = 0xFF0000, kGrey = 0x808080;

struct Box {
    int left = -1, top = -1, right = -1, bottom = -1;  // inclusive; -1 when nothing was found
    int Width() const { return left < 0 ? 0 : right - left + 1; }
    int Height() const { return top < 0 ? 0 : bottom - top + 1; }
};

// A page as drawn: its pixels as 0xRRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
    // The box around the pixels for which `match` holds, within `area`.
    template <typename Match>
    Box Find(Match match, Box area = {}) const {
        Box box;
        const int x0 = area.left < 0 ? 0 : area.left, y0 = area.top < 0 ? 0 : area.top;
        const int x1 = area.left < 0 ? width - 1 : area.right, y1 = area.top < 0 ? height - 1 : area.bottom;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (match(At(x, y))) {
                    box.left = box.left < 0 ? x : std::min(box.left, x);
                    box.right = std::max(box.right, x);
                    box.top = box.top < 0 ? y : box.top;
                    box.bottom = y;
                }
        return box;
    }
    Box Colour(std::uint32_t colour, Box area = {}) const {
        return Find([colour](std::uint32_t p) { return p == colour; }, area);
    }
    // Dark pixels: text and black lines.
    Box Ink(Box area = {}) const {
        return Find([](std::uint32_t p) { return (p >> 16) < 0x80 && ((p >> 8) & 0xFF) < 0x80 && (p & 0xFF) < 0x80; },
                    area);
    }
};

class PageLayoutTest : public qel::test::TempDirTest {
protected:
    // A card image "cid:NAME" of `width` x `height` pixels in `colour`.
    void AddImage(const std::string& name, int width, int height, std::uint32_t colour) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, (colour >> 16) / 255.0, ((colour >> 8) & 0xFF) / 255.0, (colour & 0xFF) / 255.0);
        cairo_paint(cr);
        cairo_destroy(cr);
        const std::string file = path(name + ".png").string();
        ASSERT_EQ(cairo_surface_write_to_png(surface, file.c_str()), CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(surface);
        m_images[name] = file;
    }

    Picture Draw(const std::string& body) const {
        PageCanvas canvas(m_images);
        HtmlPage page("<html><body>" + body + "</body></html>", HandsetStylesheet(), canvas, kWidth, 320);
        Picture picture;
        picture.width = kWidth;
        picture.height = page.Layout();
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, picture.height);
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        page.Draw(cr, kWidth, picture.height);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < kWidth; ++x) {
                std::uint32_t pixel;
                std::memcpy(&pixel, data + y * stride + x * 4, 4);
                picture.pixels.push_back(pixel & 0xFFFFFF);
            }
        cairo_surface_destroy(surface);
        return picture;
    }

    std::map<std::string, std::string> m_images;
};

// The body's margin: where the page's content starts and ends.
constexpr int kLeft = 2, kRight = kWidth - 3;

TEST_F(PageLayoutTest, ImagesFloatBesideTextAndTakeTheirSpacing) {
    AddImage("pic", 40, 30, kRed);
    const std::string text = "あいうえおかきくけこ";
    struct Case {
        std::string body;
        Box image;     // where the image stands
        int textLeft;  // the least x of the text beside it (-1: none beside it)
        int textTop;   // the least y of the text below it (-1: not checked)
    };
    const std::vector<Case> cases{
        {"<img src=\"cid:pic\" align=\"left\">" + text, {kLeft, kLeft, kLeft + 39, kLeft + 29}, kLeft + 40, -1},
        {"<img src=\"cid:pic\" align=\"right\">" + text, {kRight - 39, kLeft, kRight, kLeft + 29}, kLeft, -1},
        {"<img src=\"cid:pic\" align=\"left\" hspace=\"5\" vspace=\"3\">" + text,
         {kLeft + 5, kLeft + 3, kLeft + 44, kLeft + 32},
         kLeft + 50,
         -1},
        // br clear: the text after it starts below the image.
        {"<img src=\"cid:pic\" align=\"left\">あ<br clear=\"all\">" + text,
         {kLeft, kLeft, kLeft + 39, kLeft + 29},
         -1,
         kLeft + 30},
    };
    for (const Case& c : cases) {
        const Picture picture = Draw(c.body);
        const Box image = picture.Colour(kRed);
        EXPECT_EQ(image.left, c.image.left) << c.body;
        EXPECT_EQ(image.top, c.image.top) << c.body;
        EXPECT_EQ(image.right, c.image.right) << c.body;
        EXPECT_EQ(image.bottom, c.image.bottom) << c.body;
        const Box besideImage = picture.Ink({0, image.top, kWidth - 1, image.top + 11});
        if (c.textLeft >= 0) {
            EXPECT_GE(besideImage.left, c.textLeft) << c.body;
            EXPECT_LE(besideImage.left, c.textLeft + 2) << c.body;
        }
        if (c.textTop >= 0) {
            const Box below = picture.Ink({0, image.bottom + 1, kWidth - 1, picture.height - 1});
            EXPECT_GE(below.top, c.textTop) << c.body;
        }
    }
}

TEST_F(PageLayoutTest, ImageAlignSetsItOnTheLineAndBorderFramesIt) {
    AddImage("tall", 20, 40, kRed);
    // The first line's text: at the image's top, or beside its middle.
    const Picture top = Draw("<img src=\"cid:tall\" align=\"top\">国");
    const Picture middle = Draw("<img src=\"cid:tall\" align=\"middle\">国");
    const Picture bottom = Draw("<img src=\"cid:tall\">国");
    const int imageTop = top.Colour(kRed).top;
    EXPECT_LE(top.Ink().top - imageTop, 3);
    const int middleText = (middle.Ink().top + middle.Ink().bottom) / 2;
    const int middleImage = (middle.Colour(kRed).top + middle.Colour(kRed).bottom) / 2;
    EXPECT_LE(std::abs(middleText - middleImage), 6);
    EXPECT_GE(bottom.Ink().bottom, bottom.Colour(kRed).bottom - 3);

    // border: a frame that many pixels wide, in the link's colour in a link.
    const Picture linked = Draw("<a href=\"#\"><img src=\"cid:tall\" border=\"2\"></a>");
    const Box image = linked.Colour(kRed);
    const Box frame = linked.Colour(0x0000EE);
    EXPECT_EQ(frame.left, image.left - 2);
    EXPECT_EQ(frame.top, image.top - 2);
    EXPECT_EQ(frame.Width(), image.Width() + 4);
    EXPECT_EQ(Draw("<img src=\"cid:tall\" border=\"0\">").Colour(kRed).left, kLeft);
}

TEST_F(PageLayoutTest, ATableBorderIsDrawnAndAnAlignedBlockCentresItsTable) {
    AddImage("cell", 20, 10, kRed);
    const std::string table =
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\"><tr><td><img src=\"cid:cell\"></td></tr></table>";
    const Picture left = Draw(table);
    const Box frame = left.Colour(kGrey);
    const Box cell = left.Colour(kRed);
    // The table's border and the cell's, then the padding, then the image.
    EXPECT_EQ(frame.left, kLeft);
    EXPECT_EQ(cell.left, kLeft + 1 + 1 + 4);
    EXPECT_EQ(frame.Width(), 20 + 2 * (1 + 1 + 4));
    EXPECT_EQ(left.At(frame.left, frame.top + frame.Height() / 2), kGrey);

    for (const auto& [open, close] : std::vector<std::pair<std::string, std::string>>{
             {"<div align=\"center\">", "</div>"}, {"<center>", "</center>"}, {"<p align=\"center\">", "</p>"}}) {
        const Picture centred = Draw(open + table + close);
        const Box box = centred.Colour(kGrey);
        EXPECT_NEAR(box.left - kLeft, kRight - box.right, 1) << open;
    }
    const Picture right = Draw("<div align=\"right\">" + table + "</div>");
    EXPECT_EQ(right.Colour(kGrey).right, kRight);
    const Picture noBorder = Draw("<table><tr><td><img src=\"cid:cell\"></td></tr></table>");
    EXPECT_EQ(noBorder.Colour(kGrey).left, -1);
}

TEST_F(PageLayoutTest, RulesTakeTheirSizeShadeWidthAndPlace) {
    struct Case {
        std::string hr;
        int height;       // of the whole rule, borders included
        int left, right;  // its ends
        bool flat;        // drawn in one grey
    };
    // The width asked for is the line's inside its 1-pixel border.
    const int content = kRight - kLeft + 1, half = content / 2 + 2;
    const std::vector<Case> cases{
        {"<hr>", 2, kLeft, kRight, false},
        {"<hr size=\"6\">", 6, kLeft, kRight, false},
        {"<hr size=\"4\" noshade>", 4, kLeft, kRight, true},
        {"<hr width=\"50%\">", 2, kLeft + (content - half) / 2, kLeft + (content - half) / 2 + half - 1, false},
        {"<hr width=\"50%\" align=\"right\">", 2, kRight - half + 1, kRight, false},
        {"<hr width=\"50%\" align=\"left\">", 2, kLeft, kLeft + half - 1, false},
        {"<hr width=\"100\" align=\"right\">", 2, kRight - 101, kRight, false},
    };
    for (const Case& c : cases) {
        const Picture picture = Draw(c.hr);
        const Box rule = picture.Find([](std::uint32_t p) { return p != 0xFFFFFF; });
        EXPECT_EQ(rule.Height(), c.height) << c.hr;
        EXPECT_EQ(rule.left, c.left) << c.hr;
        EXPECT_EQ(rule.right, c.right) << c.hr;
        const Box grey = picture.Colour(kGrey);
        EXPECT_EQ(grey.Height() == rule.Height() && grey.Width() == rule.Width(), c.flat) << c.hr;
    }
}

TEST_F(PageLayoutTest, FontSizesFollowTheBrowsersSteps) {
    // One line of each size: the page is the body's margins and one line
    // 1.25 times the font's size, or the body text's line for a smaller one.
    struct Case {
        std::string font;
        int size;
    };
    const std::vector<Case> cases{
        {"", 12},           {"size=\"1\"", 9},   {"size=\"3\"", 12}, {"size=\"+1\"", 14}, {"size=\"-1\"", 10},
        {"size=\"7\"", 36}, {"size=\"+9\"", 36}, {"size=\"0\"", 9}};
    for (const Case& c : cases) {
        const Picture plain = Draw("<div><font " + c.font + ">x</font></div>");
        EXPECT_EQ(plain.height, 2 * kLeft + std::max(15, c.size * 5 / 4)) << c.font;
    }
    // +1 counts from the basefont before it.
    const Picture based = Draw("<basefont size=\"5\"><div><font size=\"+1\">x</font></div>");
    EXPECT_EQ(based.height, 2 * kLeft + 24 * 5 / 4);
}

TEST_F(PageLayoutTest, ListsTakeTheirTypeStartAndIndent) {
    // The marker of `ol type=A start=3`'s first item is the third marker of
    // `ol type=A`, and another than decimal's 3.
    const Picture started = Draw("<ol type=\"A\" start=\"3\"><li>x</li></ol>");
    const Picture counted = Draw("<ol type=\"A\"><li>x</li><li>x</li><li>x</li></ol>");
    const Picture decimal = Draw("<ol start=\"3\"><li>x</li></ol>");
    constexpr int line = 15;
    auto marker = [](const Picture& p, int item) {
        std::vector<std::uint32_t> band;
        const int top = p.Ink().top + item * line;
        for (int y = top; y < top + line - 4; ++y)
            for (int x = 0; x < 18; ++x) band.push_back(p.At(x, y));
        return band;
    };
    EXPECT_EQ(marker(started, 0), marker(counted, 2));
    EXPECT_NE(marker(started, 0), marker(decimal, 0));
    // An item's value sets its number and those after it count on.
    const Picture valued = Draw("<ol><li value=\"3\">x</li><li>x</li></ol>");
    const Picture jumped = Draw("<ol><li>x</li><li value=\"4\">x</li></ol>");
    const Picture plain = Draw("<ol><li>x</li><li>x</li><li>x</li><li>x</li></ol>");
    EXPECT_EQ(marker(valued, 0), marker(decimal, 0));
    EXPECT_EQ(marker(valued, 1), marker(plain, 3));
    EXPECT_EQ(marker(jumped, 1), marker(plain, 3));
    EXPECT_EQ(marker(Draw("<ol><li value=\"x\">x</li><li>x</li></ol>"), 1), marker(plain, 1));
    // The marker stands in the list's indent, its end a space before the text.
    const Box item = started.Ink({18, 0, kWidth - 1, 16});
    const Box mark = started.Ink({0, 0, 17, 16});
    EXPECT_GE(mark.left, 0);
    EXPECT_GE(mark.right, item.left - 12);
    EXPECT_LE(mark.right, item.left - 3);

    // A nested list's marker is another than the outer one's.
    const Picture nested = Draw("<ul><li>x<ul><li>x</li></ul></li></ul>");
    const Box outer = nested.Ink({0, 0, 17, 16});
    const Box inner = nested.Ink({18, 17, 40, 32});
    ASSERT_GT(outer.Width(), 0);
    ASSERT_GT(inner.Width(), 0);
    int outerInk = 0, innerInk = 0;
    for (int y = outer.top; y <= outer.bottom; ++y)
        for (int x = outer.left; x <= outer.right; ++x) outerInk += nested.At(x, y) != 0xFFFFFF;
    for (int y = inner.top; y <= inner.bottom; ++y)
        for (int x = inner.left; x <= inner.right; ++x) innerInk += nested.At(x, y) != 0xFFFFFF;
    EXPECT_LT(innerInk, outerInk) << "a circle holds less ink than a disc";
}

TEST_F(PageLayoutTest, FormControlsAreSizedAndShowWhatTheyHold) {
    struct Case {
        std::string control;
        int width, height;  // of its frame
        bool ink;           // something drawn inside it
    };
    const std::vector<Case> cases{
        // size half-width characters, padding 2 and border 1 on each side.
        {"<input type=\"text\" size=\"10\">", 10 * 6 + 12 + 6, 12 * 5 / 4 + 4, false},
        {"<input size=\"4\" value=\"ab\">", 4 * 6 + 12 + 6, 12 * 5 / 4 + 4, true},
        {"<input type=\"password\" size=\"4\" value=\"ab\">", 4 * 6 + 12 + 6, 12 * 5 / 4 + 4, true},
        {"<textarea rows=\"3\" cols=\"10\"></textarea>", 10 * 6 + 12 + 6, 3 * 12 + 4, false},
        {"<input type=\"checkbox\">", 13, 13, false},
        {"<input type=\"checkbox\" checked>", 13, 13, true},
        {"<input type=\"radio\" checked>", 13, 13, true},
        {"<input type=\"submit\">", -1, 12 * 5 / 4 + 4, true},
        {"<input type=\"submit\" value=\"OK\">", 2 * 6 + 14, 12 * 5 / 4 + 4, true},
    };
    // A frame's greys, a round one's shaded at its curve too.
    auto frameOf = [](const Picture& p) {
        return p.Find([](std::uint32_t x) {
            const std::uint32_t r = x >> 16, g = (x >> 8) & 0xFF, b = x & 0xFF;
            return r == g && g == b && r >= 0x60 && r <= 0xD0;
        });
    };
    for (const Case& c : cases) {
        const Picture picture = Draw("<p>" + c.control + "</p>");
        const Box frame = c.control.find("radio") != std::string::npos ? frameOf(picture) : picture.Colour(kGrey);
        if (c.width >= 0) {
            EXPECT_EQ(frame.Width(), c.width) << c.control;
        }
        EXPECT_EQ(frame.Height(), c.height) << c.control;
        const Box inside{frame.left + 1, frame.top + 1, frame.right - 1, frame.bottom - 1};
        EXPECT_EQ(picture.Ink(inside).left >= 0, c.ink) << c.control;
    }
    // The default label of a submit button is wider than one of two letters.
    EXPECT_GT(Draw("<input type=\"submit\">").Colour(kGrey).Width(), 2 * 6 + 14);
    // A closed select is as wide as its chosen option, not its options in a row.
    const Picture select =
        Draw("<select><option>あ</option><option selected>あいう</option><option>あいうえおか</option></select>");
    const Picture one = Draw("<select><option>あいう</option></select>");
    EXPECT_EQ(select.Colour(kGrey).Width(), one.Colour(kGrey).Width());
    EXPECT_LT(select.Colour(kGrey).Width(), 6 * 12);
}

TEST_F(PageLayoutTest, AMissingImageShowsItsAltTextInItsFrame) {
    const Picture withAlt = Draw("<img src=\"cid:gone\" alt=\"ロゴ\">");
    const Picture without = Draw("<img src=\"cid:gone\" width=\"30\" height=\"20\">");
    const Box frame = withAlt.Find([](std::uint32_t p) { return p == 0xA0A0A0; });
    ASSERT_GT(frame.Width(), 0);
    EXPECT_GE(withAlt.Ink({frame.left, frame.top, frame.right, frame.bottom}).Width(), 20);
    const Box sized = without.Find([](std::uint32_t p) { return p == 0xA0A0A0; });
    EXPECT_EQ(sized.Width(), 32);
    EXPECT_EQ(sized.Height(), 22);
    EXPECT_EQ(without.Ink().left, -1);
}

// Bytes that are not UTF-8 in an element's text (the layout engine makes a
// broken sequence of a character reference too large for any character)
// are laid out and drawn as U+FFFD; line breaking over them never ended.
TEST_F(PageLayoutTest, TextThatIsNotUtf8IsDrawnWithReplacementCharacters) {
    std::vector<std::string> pieces;
    SplitPageText(
        "a\xEE> b\xFF", [&](const std::string& word) { pieces.push_back(word); },
        [&](const std::string& space) { pieces.push_back("[" + space + "]"); });
    EXPECT_EQ(pieces, (std::vector<std::string>{"a\xEF\xBF\xBD>", "[ ]", "b\xEF\xBF\xBD"}));
    EXPECT_GE(Draw("<p>&#x" + std::string(45, 'd') + "E63Eee>").Ink().Width(), 6);
}

}  // namespace
}  // namespace qel::apps
