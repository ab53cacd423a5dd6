#include "framework/useraction.h"

namespace {

using K = QelControlKind;

void SendNotify(CDialog& dlg, CWnd& control, UINT code) {
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(control.GetDlgCtrlID()), code),
                    reinterpret_cast<LPARAM>(&control));
}

// The common checks of an action on `control`: part of the open dialog,
// visible and enabled.
QelUserResult Reachable(CDialog& dlg, CWnd& control) {
    if (!dlg.IsOpen() || dlg.IsEnded() || control.GetOwnerDialog() != &dlg || &control == &dlg)
        return QelUserResult::unavailable;
    if (!control.IsWindowEnabled() || !control.IsWindowVisible()) return QelUserResult::unavailable;
    return QelUserResult::done;
}

template <typename F>
QelUserResult WithControl(CDialog& dlg, int id, F&& f) {
    if (!dlg.IsOpen() || dlg.IsEnded()) return QelUserResult::unavailable;
    CWnd* c = dlg.GetDlgItem(id);
    if (!c) return QelUserResult::noSuchControl;
    return f(*c);
}

// Auto radio buttons of the group `button` belongs to: from the nearest
// control with WS_GROUP at or before it up to the next WS_GROUP control.
void CheckInGroup(CDialog& dlg, CButton& button) {
    const auto& controls = dlg.GetControls();
    int at = dlg.GetControlIndex(button);
    int first = at;
    while (first > 0 && !(controls[static_cast<std::size_t>(first)]->GetStyle() & WS_GROUP)) --first;
    for (int i = first; i < static_cast<int>(controls.size()); ++i) {
        CWnd* c = controls[static_cast<std::size_t>(i)];
        if (i > first && (c->GetStyle() & WS_GROUP)) break;
        if (c != &button && c->GetControlKind() == K::autoRadioButton)
            if (auto* other = dynamic_cast<CButton*>(c)) other->SetCheck(BST_UNCHECKED);
    }
    button.SetCheck(BST_CHECKED);
}

}  // namespace

QelUserResult qel::framework::UserClick(CDialog& dlg, CWnd& control) {
    if (QelUserResult r = Reachable(dlg, control); r != QelUserResult::done) return r;
    auto* button = dynamic_cast<CButton*>(&control);
    const K kind = control.GetControlKind();
    if (!button || kind == K::groupBox) return QelUserResult::wrongKind;
    control.SetFocus();
    if (kind == K::autoRadioButton) CheckInGroup(dlg, *button);
    else if (kind == K::autoCheckBox) button->SetCheck(button->GetCheck() == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    SendNotify(dlg, control, BN_CLICKED);
    return QelUserResult::done;
}

QelUserResult qel::framework::UserClick(CDialog& dlg, int id) {
    return WithControl(dlg, id, [&](CWnd& c) { return qel::framework::UserClick(dlg, c); });
}

QelUserResult qel::framework::UserSetText(CDialog& dlg, CWnd& control, std::u16string_view text) {
    if (QelUserResult r = Reachable(dlg, control); r != QelUserResult::done) return r;
    auto* edit = dynamic_cast<CEdit*>(&control);
    if (!edit) return QelUserResult::wrongKind;
    if (edit->IsReadOnly()) return QelUserResult::unavailable;
    std::u16string value;
    value.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\n' || c == u'\r') {
            if (!edit->IsMultiLine()) return QelUserResult::badText;
            if (c == u'\n' && (i == 0 || text[i - 1] != u'\r')) value += u'\r';
        }
        value += c;
    }
    edit->SetFocus();
    edit->SetWindowText(value);
    const int len = edit->GetWindowTextLength();
    edit->SetSel(len, len);
    SendNotify(dlg, control, EN_CHANGE);
    return QelUserResult::done;
}

QelUserResult qel::framework::UserSetText(CDialog& dlg, int id, std::u16string_view text) {
    return WithControl(dlg, id, [&](CWnd& c) { return qel::framework::UserSetText(dlg, c, text); });
}

namespace {

QelUserResult SelectIn(CDialog& dlg, CWnd& control, int index, bool doubleClick) {
    if (QelUserResult r = Reachable(dlg, control); r != QelUserResult::done) return r;
    if (auto* combo = dynamic_cast<CComboBox*>(&control); combo && !doubleClick) {
        if (index < 0 || index >= combo->GetCount()) return QelUserResult::noSuchEntry;
        combo->SetFocus();
        combo->SetCurSel(index);
        SendNotify(dlg, control, CBN_SELCHANGE);
        return QelUserResult::done;
    }
    if (auto* list = dynamic_cast<CListBox*>(&control)) {
        if (index < 0 || index >= list->GetCount()) return QelUserResult::noSuchEntry;
        list->SetFocus();
        list->SetCurSel(index);
        if (list->NotifiesParent()) {
            SendNotify(dlg, control, LBN_SELCHANGE);
            if (doubleClick && dlg.IsOpen() && !dlg.IsEnded()) SendNotify(dlg, control, LBN_DBLCLK);
        }
        return QelUserResult::done;
    }
    return QelUserResult::wrongKind;
}

}  // namespace

QelUserResult qel::framework::UserSelect(CDialog& dlg, CWnd& control, int index) {
    return SelectIn(dlg, control, index, false);
}

QelUserResult qel::framework::UserSelect(CDialog& dlg, int id, int index) {
    return WithControl(dlg, id, [&](CWnd& c) { return SelectIn(dlg, c, index, false); });
}

QelUserResult qel::framework::UserChoose(CDialog& dlg, int id, std::u16string_view text) {
    return WithControl(dlg, id, [&](CWnd& c) {
        if (QelUserResult r = Reachable(dlg, c); r != QelUserResult::done) return r;
        const std::vector<QelListEntry>* entries = nullptr;
        if (auto* combo = dynamic_cast<CComboBox*>(&c)) entries = &combo->Entries();
        else if (auto* list = dynamic_cast<CListBox*>(&c)) entries = &list->Entries();
        else return QelUserResult::wrongKind;
        for (std::size_t i = 0; i < entries->size(); ++i)
            if ((*entries)[i].text == text) return SelectIn(dlg, c, static_cast<int>(i), false);
        return QelUserResult::noSuchEntry;
    });
}

QelUserResult qel::framework::UserDoubleClick(CDialog& dlg, int id, int index) {
    return WithControl(dlg, id, [&](CWnd& c) { return SelectIn(dlg, c, index, true); });
}

QelUserResult qel::framework::UserSetFocus(CDialog& dlg, CWnd& control) {
    if (QelUserResult r = Reachable(dlg, control); r != QelUserResult::done) return r;
    control.SetFocus();
    return QelUserResult::done;
}

namespace {

QelUserResult Command(CDialog& dlg, int id) {
    if (!dlg.IsOpen() || dlg.IsEnded()) return QelUserResult::unavailable;
    CWnd* button = dlg.GetDlgItem(id);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return QelUserResult::done;
}

}  // namespace

QelUserResult qel::framework::UserOk(CDialog& dlg) { return Command(dlg, IDOK); }
QelUserResult qel::framework::UserCancel(CDialog& dlg) { return Command(dlg, IDCANCEL); }
