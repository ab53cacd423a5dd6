// Pending: the writer of snippet, detail and project text.
#include "model/tpjfile.h"

std::u16string CQelTpjFile::GetFileText() { return {}; }
void CQelTpjFile::WriteImageParts(std::u16string&, bool) {}
bool CQelTpjFile::WriteImagePart(std::u16string&, const CQelTpjImgFile&, bool) { return false; }
