// The resource-script loader: reads the dialog templates of a Windows
// resource script (.rc) in UTF-8, and finds a template by id among the
// registered extension modules (extmodule.h).
//
// The loader understands the part of the language that dialog templates use:
//   - comments (// and /* */); the preprocessor lines #include "NAME" of a
//     header given with the script (only the header's #define lines are read,
//     as the resource compiler reads a .h file), #define NAME NUMBER and
//     #pragma (ignored);
//   - LANGUAGE primary, sub (for the resources that follow);
//   - id DIALOG/DIALOGEX x, y, cx, cy [, helpId] with the optional
//     statements STYLE, EXSTYLE, CAPTION, FONT size, "face" [, weight
//     [, italic [, charset]]] and LANGUAGE, then BEGIN (or {) controls
//     END (or });
//   - the controls LTEXT, RTEXT, CTEXT, GROUPBOX, PUSHBUTTON, DEFPUSHBUTTON,
//     AUTORADIOBUTTON, RADIOBUTTON, CHECKBOX, AUTOCHECKBOX (text, id, x, y,
//     cx, cy [, style [, exStyle [, helpId]]]), EDITTEXT, COMBOBOX, LISTBOX
//     (id, x, y, cx, cy [, style ...]) and CONTROL text, id, class, style,
//     x, y, cx, cy [, exStyle [, helpId]].
// Numbers are decimal or 0x hexadecimal (an L or U suffix is allowed);
// expressions use | + - & ~ and parentheses; the Win32 style, language and
// standard id names (WS_TABSTOP, LANG_JAPANESE, IDOK, IDC_STATIC, ID_HELP, ...)
// are known. A style list starts from the statement's default style (as the
// resource compiler does) and `NOT NAME` removes bits from it. Strings are
// "..." with "" for a quote and the escapes \\ \" \n \r \t \a \xHH.
// Anything else (another resource type, a malformed statement, an unknown
// name) is an error with its line number; the loader never reads past the
// text it is given.
#pragma once

#include "framework/api.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/dlgtemplate.h"
#include "framework/extmodule.h"

struct QEL_FW_API QelRcError {
    int line = 0;         // 1-based line of the script where the error was found
    std::string message;  // English, without the line number
};

struct QEL_FW_API QelResourceScript {
    std::vector<CDialogTemplate> dialogs;  // in script order
    // The template with this id, or null.
    const CDialogTemplate* FindDialog(int id) const;
};

namespace qel::framework {

// Parses the resource script `text` (UTF-8, an optional byte-order mark);
// `includes` are the headers its #include lines may name. On success fills
// `out` and returns true; on failure returns false, fills `error` and leaves
// `out` empty. An error inside a header is reported on the #include line,
// its message starting "NAME, line N: ".
QEL_FW_API bool ParseResourceScript(std::string_view text, QelResourceScript& out, QelRcError& error,
                                    std::span<const QelResourceFile> includes = {});

}  // namespace qel::framework

// The dialog template `id` from the registered resource modules, searched
// from the most recently registered one; null when no module has it. Each
// module's script is parsed once and kept. A module whose script cannot be
// parsed is skipped; its error is reported once through the framework's
// diagnostic sink (qel::framework::Diagnostic, diagnostic.h) as
//   "qelfw: resource script of module NAME, line N: MESSAGE".
QEL_FW_API std::shared_ptr<const CDialogTemplate> AfxFindDialogTemplate(int id);

namespace qel::framework {

// Forgets the parsed script of `module` (the framework calls it when the
// module's registration ends).
void DropParsedResources(HINSTANCE module);

}  // namespace qel::framework
