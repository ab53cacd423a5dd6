#include "framework/dlgtemplate.h"

#include "framework/strings.h"

QelControlKind qel::framework::ControlKindOf(std::u16string_view className, DWORD style) {
    using K = QelControlKind;
    if (qel::framework::EqualsNoCase(className, u"Static")) {
        switch (style & SS_TYPEMASK) {
            case SS_LEFT:
            case SS_CENTER:
            case SS_RIGHT:
            case SS_SIMPLE:
            case SS_LEFTNOWORDWRAP: return K::staticText;
            case SS_ICON: return K::iconStatic;
            default: return K::otherStatic;
        }
    }
    if (qel::framework::EqualsNoCase(className, u"Button")) {
        switch (style & BS_TYPEMASK) {
            case BS_DEFPUSHBUTTON: return K::defPushButton;
            case BS_CHECKBOX:
            case BS_3STATE: return K::checkBox;
            case BS_AUTOCHECKBOX:
            case BS_AUTO3STATE: return K::autoCheckBox;
            case BS_RADIOBUTTON: return K::radioButton;
            case BS_AUTORADIOBUTTON: return K::autoRadioButton;
            case BS_GROUPBOX: return K::groupBox;
            default: return K::pushButton;
        }
    }
    if (qel::framework::EqualsNoCase(className, u"Edit")) return K::edit;
    if (qel::framework::EqualsNoCase(className, u"ComboBox")) return K::comboBox;
    if (qel::framework::EqualsNoCase(className, u"ListBox")) return K::listBox;
    return K::other;
}

const char* qel::framework::ControlKindName(QelControlKind kind) {
    switch (kind) {
        case QelControlKind::staticText: return "static text";
        case QelControlKind::iconStatic: return "icon static";
        case QelControlKind::otherStatic: return "static";
        case QelControlKind::groupBox: return "group box";
        case QelControlKind::pushButton: return "push button";
        case QelControlKind::defPushButton: return "default push button";
        case QelControlKind::autoRadioButton: return "auto radio button";
        case QelControlKind::radioButton: return "radio button";
        case QelControlKind::checkBox: return "check box";
        case QelControlKind::autoCheckBox: return "auto check box";
        case QelControlKind::edit: return "edit";
        case QelControlKind::comboBox: return "combo box";
        case QelControlKind::listBox: return "list box";
        case QelControlKind::other: return "control";
    }
    return "control";
}
