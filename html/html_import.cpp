// Pending: building a record from an HTML page, and the reverse rewriting.
#include "model/tpjfile.h"

bool CQelTpjFile::CreateFromHtml(const std::u16string&, Node*) {
    m_arrImages.RemoveAll();
    return false;
}
void CQelTpjFile::CollectImageAttribute(Element*, const std::u16string&, const std::u16string&, int&) {}
std::u16string CQelTpjFile::GetHtml(bool) { return m_strHtml; }
std::u16string CQelTpjFile::ResolveContentIds(const std::u16string& html) { return html; }
bool CQelTpjFile::ResolveContentIdAttribute(Element*, const std::u16string&) { return false; }
