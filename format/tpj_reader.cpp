// Pending: the reader of .tpj and .trc files.
#include "model/tpjfile.h"

struct CQelMimePartLines {};

bool CQelTpjFile::LoadFile(const std::u16string&) { return false; }
void CQelTpjFile::ReadMimePart(const CQelMimePartLines&) {}
std::u16string CQelTpjFile::GetParam(const std::u16string&, const std::u16string&) { return {}; }
