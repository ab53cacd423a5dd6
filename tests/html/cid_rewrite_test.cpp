// GetHtml: the stored text as it is, and "cid:" references turned back into
// the URLs of the image files: which values count as references, which
// entry is used, and which attributes are looked at.
#include "model/tpjfile.h"

#include <gtest/gtest.h>

#include "framework/codepage.h"
#include "host/html/dom.h"
#include "host/html/htmldata.h"
#include "html/cid_rewrite.h"
#include "html/page_references.h"

namespace {

class CidRewrite : public ::testing::Test {
protected:
    CQelTpjFile rec{TYPE_PROJECT};
};

TEST_F(CidRewrite, UnresolvedIsTheStoredTextExactly) {
    // Markup that a parser would rewrite, and references it could resolve.
    rec.m_strHtml = u"<P>unclosed <IMG SRC=cid:image1><table><td>\r\n\u3042";
    rec.m_strHtml += char16_t(0xD800);  // a lone surrogate
    rec.AddImage(u"/img/a.gif", u"image1");
    EXPECT_EQ(qel::html::GetHtml(rec, false), rec.m_strHtml);
}

TEST_F(CidRewrite, ReferencesBecomeFileUrlsOfTheirEntries) {
    rec.AddImage(u"/pages/bg.gif", u"bg");
    rec.AddImage(u"/pages/\u753B\u50CF a.gif", u"image1");
    rec.AddImage(u"/pages/second.gif", u"image1");  // the first entry of an id wins
    rec.AddImage(u"relative/m.swf", u"image2");     // no URL form: the path as it is
    rec.AddImage(u"http://example.com/w.gif", u"web");
    rec.m_strHtml =
        u"<html><body background='cid:bg'>\r\n"
        u"<img src=\"cid:image1\" alt=\"cid:image1\"><img src=cid:web><object data=cid:image2></object>\r\n"
        u"<img src=\"CID:image1\"><img src=\"x cid:image1\"><img src=\"cid:\"><img src=\"cid:nothere\">"
        u"<img src=\"cid:image1 \"><input type=image src=\"cid:image1\"><td background=\"cid:bg\">\r\n"
        u"</body></html>";
    const std::u16string stored = rec.m_strHtml;
    EXPECT_EQ(qel::html::GetHtml(rec, true),
              u"<html><body background='file:///pages/bg.gif'>\r\n"
              u"<img src=\"file:///pages/%E7%94%BB%E5%83%8F%20a.gif\" alt=\"cid:image1\">"
              u"<img src=http://example.com/w.gif><object data=relative/m.swf></object>\r\n"
              u"<img src=\"CID:image1\"><img src=\"x cid:image1\"><img src=\"cid:\"><img src=\"cid:nothere\">"
              u"<img src=\"cid:image1 \"><input type=image src=\"cid:image1\"><td background=\"cid:bg\">\r\n"
              u"</body></html>");
    EXPECT_EQ(rec.m_strHtml, stored);
    EXPECT_EQ(rec.m_arrImages.GetSize(), 5);
}

// The rewriting of a whole page and that of one attribute at a time agree,
// and the attribute's result tells whether it was rewritten.
TEST_F(CidRewrite, OneAttributeAtATimeAgreesWithTheWholePage) {
    rec.AddImage(u"/a.gif", u"image1");
    rec.AddImage(u"/b.gif", u"image1");
    rec.AddImage(u"/c.gif", u"image2");
    rec.m_strHtml =
        u"<body background=cid:image2><img src=cid:image1><img src=CID:image1><img src=cid:>"
        u"<img src=cid:image3><img src=\"\"><object data=\"cid:image1\"></object>";
    CQelHtmlData loader(u"HTML");
    loader.CreateNodeDataFromData(rec.m_strHtml.data(), static_cast<int>(rec.m_strHtml.size()), nullptr);
    auto* doc = dynamic_cast<Document*>(loader.m_pRootNode);
    ASSERT_NE(doc, nullptr);
    std::vector<bool> results;
    qel::html::VisitImageReferences(*doc, [&](Element& e, const std::u16string& attribute) {
        results.push_back(qel::html::ResolveContentIdAttribute(rec, &e, attribute));
    });
    EXPECT_EQ(results, (std::vector<bool>{true, true, false, false, false, false, true}));
    EXPECT_FALSE(qel::html::ResolveContentIdAttribute(rec, nullptr, u"src"));
    EXPECT_EQ(doc->getHTMLText(), qel::html::GetHtml(rec, true));
    EXPECT_EQ(qel::html::GetHtml(rec, true),
              u"<body background=file:///c.gif><img src=file:///a.gif><img src=CID:image1>"
              u"<img src=cid:><img src=cid:image3><img src=\"\"><object data=\"file:///a.gif\"></object>");
}

}  // namespace
