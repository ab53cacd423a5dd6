#include "model/tpjfile.h"

#include <utility>

#include "framework/codepage.h"
#include "framework/strings.h"

CQelTpjFile::CQelTpjFile(int type)
    : m_nType(type), m_strVersion(u"2.1"), m_strUrl(kDefaultTorucaUrl), m_nCategory(100), m_nDist(4), m_nColorId(1),
      m_strIpId(u"9999"), m_strSortId(u"ワン"), m_strExpires(u"101231"), m_strLastModified(u"0808071904"),
      m_strData1(qel::framework::WideToCp932(u"data1")), m_strData2(qel::framework::WideToCp932(u"data2")),
      m_strData3(qel::framework::WideToCp932(u"data3")), m_strMimeVersion(u"1.0"), m_strBoundary(u"0000000000") {
    m_arrImages.SetSize(0);
}

int CQelTpjFile::VersionToCode(const std::u16string& version) {
    if (qel::framework::EqualsNoCase(version, u"1.0")) return 1;
    if (qel::framework::EqualsNoCase(version, u"1.1")) return 2;
    if (qel::framework::EqualsNoCase(version, u"2.0")) return 3;
    return 4;  // "2.1", and any other string
}

namespace {
// A data field is a C string: its bytes end at the first NUL.
std::string DataField(const std::u16string& v) {
    return qel::framework::WideToCp932(std::u16string_view(v).substr(0, v.find(u'\0')));
}
}  // namespace

void CQelTpjFile::SetData1(const std::u16string& v) { m_strData1 = DataField(v); }
void CQelTpjFile::SetData2(const std::u16string& v) { m_strData2 = DataField(v); }
void CQelTpjFile::SetData3(const std::u16string& v) { m_strData3 = DataField(v); }

void CQelTpjFile::GetUniqueIcon(std::u16string& path, std::u16string& title) const {
    path = m_uniqueIcon.m_strPath;
    title = m_uniqueIcon.m_strId;
}

void CQelTpjFile::SetUniqueIcon(const std::u16string& path, const std::u16string& title) {
    m_uniqueIcon.m_strPath = path;
    m_uniqueIcon.m_strId = title;
}

int CQelTpjFile::AddImage(std::u16string path, std::u16string id) {
    return m_arrImages.Add(CQelTpjImgFile(std::move(path), std::move(id))) + 1;
}
