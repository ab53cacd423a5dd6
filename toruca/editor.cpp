// Pending: the lookup of the registered ToruCa editor.
#include "model/tpjfile.h"

std::u16string CQelTpjFile::GetEditorCommand() { return {}; }
