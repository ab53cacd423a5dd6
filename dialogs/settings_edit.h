// The record's values edited in the settings dialog (dialogs/setdlg.h).
#pragma once

#include "framework/wnd.h"
#include "model/tpjfile.h"

namespace qel::dialogs {

// Shows the settings dialog over `parent` with the record's values. After
// OK the record takes every value of the dialog at once and the result is
// true; after Cancel the record is unchanged and the result false.
bool EditSettings(CQelTpjFile& record, CWnd* parent);

}  // namespace qel::dialogs
