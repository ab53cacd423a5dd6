// What a user can do to an open dialog. The script driver, the tests' driver
// and the GUI back end all act through these functions, so a dialog sees the
// same state changes and the same notifications whoever drives it.
//
// Each function acts on the control `id` of `dlg` (the first in tab order
// when several share the id) or on the control object itself, and answers
// how it went. A refused action changes nothing.
#pragma once

#include "framework/api.h"

#include <string>
#include <string_view>

#include "framework/dialog.h"

enum class QelUserResult {
    done,
    noSuchControl,  // the dialog has no control with that id
    wrongKind,      // the control cannot take this action (typing into a button)
    noSuchEntry,    // a combo/list box has no entry with that index or text
    unavailable,    // the control is disabled, hidden or read-only, or the dialog has ended
    badText,        // a line break for a single-line edit
};

namespace qel::framework {

// A click. A push button (default or not) sends BN_CLICKED; an auto radio
// button becomes checked, the other auto radio buttons of its group (from
// the WS_GROUP control before it to the next WS_GROUP control) unchecked,
// and sends BN_CLICKED; an auto check box toggles and sends BN_CLICKED; a
// plain radio button or check box only sends BN_CLICKED. The control takes
// the focus first. Other kinds: wrongKind.
QEL_FW_API QelUserResult UserClick(CDialog& dlg, int id);
QEL_FW_API QelUserResult UserClick(CDialog& dlg, CWnd& control);

// Replaces the text of an edit as typing would: the caret goes to the end
// and EN_CHANGE is sent. In a multi-line edit a "\n" not preceded by "\r"
// becomes "\r\n" (the edit's line break); a single-line edit refuses a
// line break (badText). Read-only edits are unavailable.
QEL_FW_API QelUserResult UserSetText(CDialog& dlg, int id, std::u16string_view text);
QEL_FW_API QelUserResult UserSetText(CDialog& dlg, CWnd& control, std::u16string_view text);

// Selects entry `index` of a combo box (then CBN_SELCHANGE) or of a list box
// (then LBN_SELCHANGE when it has LBS_NOTIFY).
QEL_FW_API QelUserResult UserSelect(CDialog& dlg, int id, int index);
QEL_FW_API QelUserResult UserSelect(CDialog& dlg, CWnd& control, int index);
// Like qel::framework::UserSelect for the first entry whose text equals `text` exactly.
QEL_FW_API QelUserResult UserChoose(CDialog& dlg, int id, std::u16string_view text);
// A double click on entry `index` of a list box: selects it as above, then
// LBN_DBLCLK when the list box has LBS_NOTIFY.
QEL_FW_API QelUserResult UserDoubleClick(CDialog& dlg, int id, int index);

// The user moves the focus to a control (Tab, a mouse click on an edit).
QEL_FW_API QelUserResult UserSetFocus(CDialog& dlg, CWnd& control);

// Enter / Esc (or the close box): the command IDOK / IDCANCEL, whether or
// not the dialog has such a button. Unavailable once the dialog has ended.
QEL_FW_API QelUserResult UserOk(CDialog& dlg);
QEL_FW_API QelUserResult UserCancel(CDialog& dlg);

}  // namespace qel::framework
