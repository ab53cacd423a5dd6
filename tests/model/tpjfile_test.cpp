// The project record: defaults, version codes, data lines, image list.
#include "model/tpjfile.h"

#include <gtest/gtest.h>

#include "framework/exceptions.h"

namespace {

TEST(TpjFile, NewRecordHoldsTheDefaults) {
    const CQelTpjFile record(TYPE_PROJECT);
    const CQelTpjFile* r = &record;
    EXPECT_EQ(r->GetType(), TYPE_PROJECT);
    EXPECT_EQ(r->GetVersionCode(), 4);
    EXPECT_EQ(r->GetVersion(), u"2.1");
    EXPECT_TRUE(r->GetUrl().starts_with(u"http://"));
    EXPECT_EQ(r->m_nCategory, 100);
    EXPECT_EQ(r->m_nDist, 4);
    EXPECT_EQ(r->m_nColorId, 1);
    EXPECT_EQ(r->GetIpId(), u"9999");
    EXPECT_EQ(r->GetSortId(), u"ワン");
    EXPECT_EQ(r->GetExpires(), u"101231");
    EXPECT_EQ(r->GetLastModified(), u"0808071904");
    EXPECT_EQ(r->GetData1(), "data1");
    EXPECT_EQ(r->GetData2(), "data2");
    EXPECT_EQ(r->GetData3(), "data3");
    EXPECT_TRUE(r->m_strHtml.empty());
    EXPECT_EQ(r->m_arrImages.GetSize(), 0);
    std::u16string path = u"x", title = u"y";
    r->GetUniqueIcon(path, title);
    EXPECT_TRUE(path.empty());
    EXPECT_TRUE(title.empty());
    EXPECT_EQ(r->m_strMimeVersion, u"1.0");
    EXPECT_EQ(r->m_strBoundary, u"0000000000");
}

TEST(TpjFile, VersionCodes) {
    CQelTpjFile r(TYPE_PROJECT);
    const std::pair<std::u16string, int> cases[] = {
        {u"1.0", 1}, {u"1.1", 2}, {u"2.0", 3}, {u"2.1", 4}, {u"", 4}, {u"3.0", 4}, {u"2.0 ", 4}, {u"1.0a", 4},
    };
    for (const auto& [version, code] : cases) {
        r.SetVersion(version);
        EXPECT_EQ(r.GetVersionCode(), code) << std::string(version.begin(), version.end());
    }
}

TEST(TpjFile, DataLinesAreCodePage932Bytes) {
    CQelTpjFile r(TYPE_SNIP);
    r.SetData1(u"トルカ");
    EXPECT_EQ(r.GetData1(), "\x83\x67\x83\x8b\x83\x4a");
    r.SetData2(std::u16string(u"ab\0cd", 5));
    EXPECT_EQ(r.GetData2(), "ab");  // the conversion ends at the first NUL
    r.SetData3(u"line\r\nbreak");
    EXPECT_EQ(r.GetData3(), "line\r\nbreak");
}

TEST(TpjFile, SetTypeStoresAnyValue) {
    CQelTpjFile r(TYPE_PROJECT);
    r.SetType(3);
    EXPECT_EQ(r.GetType(), 3);
}

TEST(TpjFile, AddImageCountsEveryCallAndClearStartsAgain) {
    CQelTpjFile r(TYPE_PROJECT);
    EXPECT_EQ(r.AddImage(u"/a.gif", u"image1"), 1);
    EXPECT_EQ(r.AddImage(u"/a.gif", u"image1"), 2);
    r.m_arrImages.RemoveAll();
    EXPECT_EQ(r.m_arrImages.GetSize(), 0);
    EXPECT_EQ(r.AddImage(u"/b.gif", u"image1"), 1);
}

TEST(TpjFile, ImageListIndexOutOfRangeRaises) {
    CQelTpjFile r(TYPE_PROJECT);
    r.AddImage(u"/a.gif", u"image1");
    EXPECT_NO_THROW(r.m_arrImages.GetAt(0));
    EXPECT_THROW(r.m_arrImages.GetAt(1), CInvalidArgException);
    EXPECT_THROW(r.m_arrImages.GetAt(-1), CInvalidArgException);
    const CQelTpjImgFileArray& images = r.m_arrImages;
    EXPECT_THROW(images[1], CInvalidArgException);
    EXPECT_THROW(images.GetAt(-1), CInvalidArgException);
}

TEST(TpjFile, EntryAssignmentCopies) {
    CQelTpjImgFile a(u"/a.gif", u"image1");
    CQelTpjImgFile b;
    b = a;
    a.m_strPath = u"/changed.gif";
    a.m_strId = u"image9";
    EXPECT_EQ(b.m_strPath, u"/a.gif");
    EXPECT_EQ(b.m_strId, u"image1");
}

}  // namespace
