// Dialog templates as the resource-script loader (rcscript.h) reads them from
// a DIALOG or DIALOGEX resource. Coordinates are dialog units; styles are the
// final Win32 style words (defaults of the statement applied, WS_CHILD and
// WS_VISIBLE included for controls).
#pragma once

#include "framework/api.h"

#include <string>
#include <vector>

#include "framework/wintypes.h"

// What a control is, from its window class and style. Every kind the dialog
// layer can show; `other` for a class it does not know (it is created as a
// plain window that shows its text).
enum class QelControlKind {
    staticText,       // "Static", SS_LEFT/SS_CENTER/SS_RIGHT/SS_SIMPLE/SS_LEFTNOWORDWRAP
    iconStatic,       // "Static", SS_ICON
    otherStatic,      // "Static" of another type (frames, rectangles, bitmaps)
    groupBox,         // "Button", BS_GROUPBOX
    pushButton,       // "Button", BS_PUSHBUTTON (and any button type not listed here)
    defPushButton,    // "Button", BS_DEFPUSHBUTTON
    autoRadioButton,  // "Button", BS_AUTORADIOBUTTON
    radioButton,      // "Button", BS_RADIOBUTTON (checked only by the program)
    checkBox,         // "Button", BS_CHECKBOX or BS_3STATE (checked only by the program)
    autoCheckBox,     // "Button", BS_AUTOCHECKBOX or BS_AUTO3STATE
    edit,             // "Edit" (ES_MULTILINE, ES_READONLY tell the variants)
    comboBox,         // "ComboBox" (CBS_DROPDOWNLIST is the only variant the layer lets users type nothing into)
    listBox,          // "ListBox"
    other,
};

namespace qel::framework {

// The kind of a control of window class `className` (compared without regard
// to ASCII case) with style `style`.
QelControlKind ControlKindOf(std::u16string_view className, DWORD style);
// A short English name of the kind ("push button"), for messages.
QEL_FW_API const char* ControlKindName(QelControlKind kind);

}  // namespace qel::framework

struct QEL_FW_API CDialogItemTemplate {
    int id = -1;               // -1 (IDC_STATIC) for controls the code never addresses
    std::u16string className;  // "Button", "Static", "Edit", "ComboBox", "ListBox", ...
    std::u16string text;       // as written in the script, '&' mnemonics included
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    DWORD helpId = 0;
    int line = 0;  // line of the script where the control is written
    QelControlKind kind = QelControlKind::other;
};

struct CDialogFontTemplate {
    std::u16string face;  // empty when the template has no FONT
    int pointSize = 0;
    int weight = 0;  // 400 normal, 700 bold; 0 "don't care"
    bool italic = false;
    int charset = 1;  // 1 DEFAULT_CHARSET, 128 SHIFTJIS_CHARSET
};

struct QEL_FW_API CDialogTemplate {
    int id = 0;
    bool extended = false;  // DIALOGEX (true) or DIALOG
    std::u16string caption;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    CDialogFontTemplate font;
    WORD language = 0;                       // LANGID: MAKELANGID(primary, sub), 1041 for Japanese
    int line = 0;                            // line of the DIALOG(EX) statement
    std::vector<CDialogItemTemplate> items;  // in tab order
};
