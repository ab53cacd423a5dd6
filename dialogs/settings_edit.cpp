// Pending: the settings dialog.
#include "model/tpjfile.h"

bool CQelTpjFile::EditSettings(CWnd*) { return false; }
