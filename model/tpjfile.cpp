#include "model/tpjfile.h"

#include "framework/codepage.h"
#include "framework/strings.h"

#include <new>

CQelTpjFileIF::~CQelTpjFileIF() = default;

CQelTpjFile::CQelTpjFile(int type)
    : m_nType(type),
      m_strVersion(u"2.1"),
      m_strUrl(kDefaultTorucaUrl),
      m_nCategory(100),
      m_nDist(4),
      m_nColorId(1),
      m_strIpId(u"9999"),
      m_strSortId(u"ワン"),
      m_strExpires(u"101231"),
      m_strLastModified(u"0808071904"),
      m_strData1(qel::framework::WideToCp932(u"data1")),
      m_strData2(qel::framework::WideToCp932(u"data2")),
      m_strData3(qel::framework::WideToCp932(u"data3")),
      m_strMimeVersion(u"1.0"),
      m_strBoundary(u"0000000000") {
    m_arrImages.SetSize(0);
}

CQelTpjFile::~CQelTpjFile() = default;

int CQelTpjFile::GetType() { return m_nType; }
void CQelTpjFile::SetType(int type) { m_nType = type; }

int CQelTpjFile::VersionToCode(const std::u16string& version) {
    if (qel::framework::EqualsNoCase(version, u"1.0")) return 1;
    if (qel::framework::EqualsNoCase(version, u"1.1")) return 2;
    if (qel::framework::EqualsNoCase(version, u"2.0")) return 3;
    return 4;  // "2.1", and any other string
}

int CQelTpjFile::GetVersionCode() { return VersionToCode(std::u16string(m_strVersion)); }

void CQelTpjFile::SetData1(const std::u16string& v) { m_strData1 = qel::framework::WideToCp932(v); }
void CQelTpjFile::SetData2(const std::u16string& v) { m_strData2 = qel::framework::WideToCp932(v); }
void CQelTpjFile::SetData3(const std::u16string& v) { m_strData3 = qel::framework::WideToCp932(v); }

void CQelTpjFile::GetUniqueIcon(std::u16string& path, std::u16string& title) const {
    path = m_uniqueIcon.m_strPath;
    title = m_uniqueIcon.m_strId;
}

void CQelTpjFile::SetUniqueIcon(const std::u16string& path, const std::u16string& title) {
    m_uniqueIcon.m_strPath = path;
    m_uniqueIcon.m_strId = title;
}

int CQelTpjFile::AddImage(const std::u16string& path, const std::u16string& id) {
    return m_arrImages.Add(CQelTpjImgFile(path, id)) + 1;
}

CQelTpjFileIF* CQelTpjFile::Clone() {
    auto* copy = new (std::nothrow) CQelTpjFile(m_nType);
    if (!copy) return nullptr;
    copy->m_strVersion = m_strVersion;
    copy->m_strUrl = m_strUrl;
    copy->m_nCategory = m_nCategory;
    copy->m_nDist = m_nDist;
    copy->m_nColorId = m_nColorId;
    copy->m_strIpId = m_strIpId;
    copy->m_strSortId = m_strSortId;
    copy->m_strExpires = m_strExpires;
    copy->m_strLastModified = m_strLastModified;
    copy->m_strHtml = m_strHtml;
    copy->m_strData1 = m_strData1;
    copy->m_strData2 = m_strData2;
    copy->m_strData3 = m_strData3;
    copy->m_strMimeVersion = m_strMimeVersion;
    copy->m_strBoundary = m_strBoundary;
    copy->m_uniqueIcon = m_uniqueIcon;
    for (int i = 0; i < m_arrImages.GetSize(); ++i) {
        const CQelTpjImgFile& e = m_arrImages.GetAt(i);
        copy->AddImage(e.m_strPath, e.m_strId);
    }
    return copy;
}
