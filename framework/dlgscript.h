// Dialog scripts: the text that drives modal dialogs without showing them
// (the host chooses the script: SetModalDriverChooser, modaldriver.h).
// UTF-8, one action per line; blank lines and lines whose first non-blank
// character is '#' are ignored; a CR before the line break and a byte-order
// mark are ignored. Keywords are matched without regard to case.
//
//   dialog N        the block of actions for the next dialog, built from
//                   template N, that opens; `dialog file` for the host's
//                   file dialog
//   click ID        qel::framework::UserClick (useraction.h)
//   text ID VALUE   qel::framework::UserSetText with the rest of the line after one blank;
//                   \n stands for a line break, \\ for a backslash (another
//                   backslash stays as written)
//   select ID INDEX qel::framework::UserSelect, INDEX from 0
//   choose ID TEXT  qel::framework::UserChoose, TEXT as for `text`
//   ok / cancel     qel::framework::UserOk / qel::framework::UserCancel
//
// Running (CModalDriver): blocks are used in file order, one per opened
// dialog; a dialog opened by an action takes the next block before its
// opener's block goes on. Lines on standard error (diagnostic.h), each after
// the host's prefix:
//   script: line L: MESSAGE            a line that cannot be read (reported
//                                      once, when the script is read; the
//                                      dialog whose block holds it is
//                                      cancelled on reaching it)
//   script: no actions for dialog N    no block left: cancelled
//   script: line L: MESSAGE; dialog N cancelled
//                                      a control or entry that is not there,
//                                      an action the control cannot take, or
//                                      a next block for another dialog (that
//                                      block is kept for the dialog it names)
//   script: line L: control ID is disabled, hidden or read-only; ignored
//   script: line L: dialog N has closed; the rest of its block is ignored
//   script: line L: the file dialog refuses PATH: REASON
//                                      (the file dialog stays open)
//   message: TEXT                      a message box, answered OK
// A block that ends while its dialog is open cancels the dialog, silently.
// In a `dialog file` block, `text 0 PATH` types the file name (relative to
// the dialog's starting folder), `ok` accepts it as the dialog would
// (qel::framework::FileDialogAccept), `cancel` cancels.
#pragma once

#include "framework/api.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/modaldriver.h"

struct QelScriptAction {
    enum Kind { click, text, selectEntry, choose, ok, cancel, invalid };  // not "select": that is a system call
    Kind kind = invalid;
    int line = 0;
    int id = 0;
    int index = 0;         // select
    std::u16string value;  // text, choose (escapes resolved)
};

struct QelScriptBlock {
    int line = 0;             // the `dialog` line
    bool fileDialog = false;  // `dialog file`
    int templateId = 0;
    std::vector<QelScriptAction> actions;
};

struct QEL_FW_API QelScriptError {
    int line = 0;
    std::string message;
};

struct QEL_FW_API QelDialogScript {
    std::vector<QelScriptBlock> blocks;
    std::vector<QelScriptError> errors;  // lines that could not be read, in order
};

namespace qel::framework {

// Reads a whole script. Never fails: lines that cannot be read are listed
// in `errors` (and stand as `invalid` actions in their block).
QEL_FW_API QelDialogScript ParseDialogScript(std::string_view text);

// A driver that runs `script`; reports script.errors when created.
QEL_FW_API std::unique_ptr<CModalDriver> CreateScriptDriver(QelDialogScript script);
// The same for the script file at `path` (a native path). A file that cannot
// be read is reported ("script: cannot read PATH: REASON") and
// leaves a script without blocks.
QEL_FW_API std::unique_ptr<CModalDriver> CreateScriptDriverFromFile(const std::string& path);

}  // namespace qel::framework
