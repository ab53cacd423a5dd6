// The record as the host sees it: Clone, and members that reach the record
// and the subsystems through the interface's virtual table.
#include "plugin/tpjfile_impl.h"

#include <gtest/gtest.h>

#include <memory>

#include "format/tpj_writer.h"

namespace {

TEST(TpjFileIFImpl, CloneCopiesEveryFieldAndSharesNothing) {
    CQelTpjFileIFImpl r(TYPE_CARD);
    r.SetVersion(u"2.0");
    r.SetUrl(u"http://shop.example/t");
    r.SetCategory(7);
    r.SetDist(2);
    r.SetColorId(9);
    r.SetIpId(u"1234");
    r.SetSortId(u"カナ");
    r.SetExpires(u"301231");
    r.SetLastModified(u"2612070900");
    r.m_strHtml = u"<img src=\"cid:image1\">";
    r.SetData1(u"一");
    r.SetData2(u"二");
    r.SetData3(u"三");
    r.SetMimeVersion(u"1.1");
    r.SetBoundary(u"xyz");
    r.SetUniqueIcon(u"/icon.gif", u"Shop");
    r.AddImage(u"/a.gif", u"image1");
    r.AddImage(u"/b.png", u"image2");

    std::unique_ptr<CQelTpjFileIF> copyIf(r.Clone());
    ASSERT_TRUE(copyIf);
    auto* c = static_cast<CQelTpjFileIFImpl*>(copyIf.get());
    EXPECT_EQ(c->m_nType, TYPE_CARD);
    EXPECT_EQ(c->m_strVersion, u"2.0");
    EXPECT_EQ(c->m_strUrl, u"http://shop.example/t");
    EXPECT_EQ(c->m_nCategory, 7);
    EXPECT_EQ(c->m_nDist, 2);
    EXPECT_EQ(c->m_nColorId, 9);
    EXPECT_EQ(c->m_strIpId, u"1234");
    EXPECT_EQ(c->m_strSortId, u"カナ");
    EXPECT_EQ(c->m_strExpires, u"301231");
    EXPECT_EQ(c->m_strLastModified, u"2612070900");
    EXPECT_EQ(c->m_strHtml, r.m_strHtml);
    EXPECT_EQ(c->m_strData1, r.m_strData1);
    EXPECT_EQ(c->m_strData2, r.m_strData2);
    EXPECT_EQ(c->m_strData3, r.m_strData3);
    EXPECT_EQ(c->m_strMimeVersion, u"1.1");
    EXPECT_EQ(c->m_strBoundary, u"xyz");
    EXPECT_EQ(c->m_uniqueIcon.m_strPath, u"/icon.gif");
    EXPECT_EQ(c->m_uniqueIcon.m_strId, u"Shop");
    ASSERT_EQ(c->m_arrImages.GetSize(), 2);
    EXPECT_EQ(c->m_arrImages[0].m_strPath, u"/a.gif");
    EXPECT_EQ(c->m_arrImages[1].m_strId, u"image2");

    c->AddImage(u"/c.jpg", u"image3");
    EXPECT_EQ(r.m_arrImages.GetSize(), 2);
}

TEST(TpjFileIFImpl, MembersThroughTheInterfaceReachTheRecord) {
    CQelTpjFileIFImpl record(TYPE_PROJECT);
    CQelTpjFileIF& host = record;
    host.SetType(TYPE_SNIP);
    EXPECT_EQ(record.m_nType, TYPE_SNIP);
    record.SetVersion(u"1.1");
    EXPECT_EQ(host.GetType(), TYPE_SNIP);
    EXPECT_EQ(host.GetVersionCode(), 2);

    // The stored page as it is, or with its content ids resolved.
    record.m_strHtml = u"<img src=\"cid:image1\">";
    record.AddImage(u"/pages/a.gif", u"image1");
    EXPECT_EQ(host.GetHtml(false), record.m_strHtml);
    EXPECT_NE(host.GetHtml(true).find(u"file:///pages/a.gif"), std::u16string::npos);
    EXPECT_EQ(host.GetFileText(), qel::format::GetFileText(record));
}

}  // namespace
