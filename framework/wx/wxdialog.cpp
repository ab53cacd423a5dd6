#include "framework/wx/wxdialog.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "framework/useraction.h"
#include "framework/wx/wxbackend.h"
#include "framework/wx/wxgtk.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dcclient.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace {

using K = QelControlKind;

constexpr unsigned Bit(QelChange what) { return 1u << static_cast<unsigned>(what); }
constexpr unsigned kAll = ~0u;

// Closed combo boxes are one line high: the template's height is that of
// the open list. 12 dialog units is the closed height of a drop-down list
// in the templates' font (20 pixels for base units 7 x 13).
constexpr int kClosedComboHeightDu = 12;

bool IsButtonKind(K k) {
    return k == K::pushButton || k == K::defPushButton || k == K::autoRadioButton || k == K::radioButton ||
           k == K::checkBox || k == K::autoCheckBox;
}
bool IsRadio(K k) { return k == K::autoRadioButton || k == K::radioButton; }
bool IsLabelKind(K k) { return k == K::staticText || k == K::groupBox || k == K::other; }

// An empty static: an icon static that carries no icon, a frame or a
// rectangle. Draws its frame itself and never takes the focus.
class FrameStatic final : public wxWindow {
public:
    FrameStatic(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size, bool framed)
        : wxWindow(parent, id, pos, size, wxBORDER_NONE), m_framed(framed) {
        Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
            wxPaintDC dc(this);
            if (!m_framed) return;
            dc.SetPen(*wxBLACK_PEN);
            dc.SetBrush(*wxTRANSPARENT_BRUSH);
            dc.DrawRectangle(wxPoint(0, 0), GetClientSize());
        });
    }
    bool AcceptsFocus() const override { return false; }
    bool AcceptsFocusFromKeyboard() const override { return false; }

private:
    bool m_framed;
};

// A label as wx takes it: '&' marks a mnemonic in both; SS_NOPREFIX shows
// every '&'.
wxString LabelOf(const CWnd& c) {
    wxString label = qel::framework::wx::WxString(c.GetWindowText());
    if (c.GetControlKind() == K::staticText && (c.GetStyle() & SS_NOPREFIX)) label.Replace("&", "&&");
    return label;
}

// An edit's text as the widget holds it: a multi-line edit's "\r\n" is "\n".
wxString EditTextOf(const CWnd& c) {
    std::u16string text = c.GetWindowText();
    if (c.GetStyle() & ES_MULTILINE) {
        std::u16string lf;
        lf.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) lf += text[i];
        text.swap(lf);
    }
    return qel::framework::wx::WxString(text);
}

// A position in the framework's text (UTF-16 units, "\r\n" two) as a
// position in the widget (characters, a line break one).
long WidgetPosition(const std::u16string& text, int pos, bool multiLine) {
    long at = 0;
    const std::size_t end = std::min(text.size(), static_cast<std::size_t>(std::max(pos, 0)));
    for (std::size_t i = 0; i < end; ++i) {
        const char16_t ch = text[i];
        if (multiLine && ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        if (ch >= 0xDC00 && ch <= 0xDFFF && i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF) continue;
        ++at;
    }
    return at;
}

// The mnemonic character of a label ('&' before it, "&&" being a plain
// '&'), upper-cased; 0 when none.
int MnemonicOf(const std::u16string& text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] == u'&') {
            ++i;
            continue;
        }
        const char16_t c = text[i + 1];
        if (c < 0x80) return (c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c;
        return 0;
    }
    return 0;
}

// The widget styles that a control's window style asks for.
long StaticTextAlignment(DWORD style) {
    const DWORD type = style & SS_TYPEMASK;
    if (type == SS_CENTER) return wxALIGN_CENTRE_HORIZONTAL;
    if (type == SS_RIGHT) return wxALIGN_RIGHT;
    return wxALIGN_LEFT;
}

bool IsFramed(DWORD style) {
    const DWORD type = style & SS_TYPEMASK;
    return (style & WS_BORDER) || type == SS_BLACKFRAME || type == SS_GRAYFRAME || type == SS_WHITEFRAME ||
           type == SS_ETCHEDFRAME;
}

long CheckBoxStyle(DWORD style) {
    const DWORD type = style & BS_TYPEMASK;
    return type == BS_3STATE || type == BS_AUTO3STATE ? wxCHK_3STATE | wxCHK_ALLOW_3RD_STATE_FOR_USER : 0;
}

long EditStyle(DWORD style) {
    long st = 0;
    if (style & ES_MULTILINE) {
        st |= wxTE_MULTILINE;
        if (style & (ES_AUTOHSCROLL | WS_HSCROLL)) st |= wxTE_DONTWRAP;
    }
    if (style & ES_READONLY) st |= wxTE_READONLY;
    if (style & ES_PASSWORD) st |= wxTE_PASSWORD;
    if ((style & 3) == ES_CENTER) st |= wxTE_CENTRE;
    else if ((style & 3) == ES_RIGHT) st |= wxTE_RIGHT;
    return st;
}

// The framework's state of a control, given to its widget: only what
// `what` (QelChange bits) names.
void ApplyToEdit(CWnd& c, wxTextCtrl& text, unsigned what) {
    if (what & Bit(QelChange::style)) text.SetEditable(!(c.GetStyle() & ES_READONLY));
    if (what & Bit(QelChange::text)) {
        const wxString want = EditTextOf(c);
        if (text.GetValue() != want) text.ChangeValue(want);
    }
    auto* edit = dynamic_cast<CEdit*>(&c);
    if (!(what & Bit(QelChange::editSelection)) || !edit) return;
    int start = 0, end = 0;
    edit->GetSel(start, end);
    const std::u16string all = c.GetWindowText();
    const bool multi = (c.GetStyle() & ES_MULTILINE) != 0;
    text.SetSelection(WidgetPosition(all, start, multi), WidgetPosition(all, end, multi));
}

// The entries, replaced only when they differ.
template <typename Widget, typename Control>
void ApplyEntries(const Control& control, Widget& widget) {
    wxArrayString want;
    for (const QelListEntry& e : control.Entries()) want.Add(qel::framework::wx::WxString(e.text));
    if (widget.GetStrings() != want) widget.Set(want);
}

void ApplyToChoice(CComboBox& combo, wxChoice& choice, unsigned what) {
    if (what & Bit(QelChange::items)) ApplyEntries(combo, choice);
    if (!(what & (Bit(QelChange::items) | Bit(QelChange::selection)))) return;
    const int sel = combo.GetCurSel();
    choice.SetSelection(sel >= 0 && sel < static_cast<int>(choice.GetCount()) ? sel : wxNOT_FOUND);
}

void ApplyToList(CListBox& lb, wxListBox& list, unsigned what) {
    if (what & Bit(QelChange::items)) ApplyEntries(lb, list);
    if (!(what & (Bit(QelChange::items) | Bit(QelChange::selection)))) return;
    const int sel = lb.GetCurSel();
    if (sel >= 0 && sel < static_cast<int>(list.GetCount())) {
        list.SetSelection(sel);
        list.EnsureVisible(sel);
    } else {
        list.SetSelection(wxNOT_FOUND);
    }
}

void ApplyCheck(CButton& button, wxCheckBox& box) {
    const int check = button.GetCheck();
    const wxCheckBoxState want = check == BST_CHECKED     ? wxCHK_CHECKED
                                 : check == BST_UNCHECKED ? wxCHK_UNCHECKED
                                                          : wxCHK_UNDETERMINED;
    if (box.Is3State()) box.Set3StateValue(want);
    else box.SetValue(want == wxCHK_CHECKED);
}

}  // namespace

QelWxDialog::QelWxDialog(wxWindow* parent, CDialog& dlg) : m_dlg(dlg) {
    const CDialogTemplate* tpl = dlg.GetTemplate();
    long style = wxCAPTION;
    if (!tpl || (tpl->style & WS_SYSMENU)) style |= wxSYSTEM_MENU | wxCLOSE_BOX;
    if (tpl && (tpl->style & WS_THICKFRAME)) style |= wxRESIZE_BORDER;
    Create(parent, wxID_ANY, qel::framework::wx::WxString(dlg.GetWindowText()), wxDefaultPosition, wxDefaultSize,
           style);
    qel::framework::wx::WxApplyDialogStyle(*this);

    // The font first: ConvertDialogToPixels measures the dialog's own font.
    if (tpl) SetFont(qel::framework::wx::WxTemplateFont(*tpl));
    if (tpl) SetClientSize(ConvertDialogToPixels(wxSize(tpl->cx, tpl->cy)));

    const int count = static_cast<int>(dlg.GetControls().size());
    m_items.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) CreateControl(i);
    for (int i = 0; i < count; ++i) Apply(i, kAll);

    Bind(wxEVT_CHAR_HOOK, &QelWxDialog::OnCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, &QelWxDialog::OnClose, this);

    if (parent) CentreOnParent();
    else CentreOnScreen();

    m_dlg.SetObserver(this);
    m_mirroring = true;
}

QelWxDialog::~QelWxDialog() {
    if (m_dlg.GetObserver() == this) m_dlg.SetObserver(nullptr);
}

void QelWxDialog::CreateControl(int index) {
    CWnd& c = *m_dlg.GetControls()[static_cast<std::size_t>(index)];
    Item& item = m_items[static_cast<std::size_t>(index)];
    item.kind = c.GetControlKind();
    // Radio groups run from a WS_GROUP control to the next one.
    if (c.GetStyle() & WS_GROUP) ++m_buildGroup;
    item.group = m_buildGroup;

    wxWindow* w = CreateWidget(index, c);
    item.window = w;
    if (IsRadio(item.kind)) m_buildLastRadioGroup = item.group;
    BindInput(index, *w);
    BindFocus(index, *w);
}

wxWindow* QelWxDialog::CreateWidget(int index, const CWnd& c) {
    const CRect du = c.GetDialogUnitRect();
    const wxPoint pos = ConvertDialogToPixels(wxPoint(du.left, du.top));
    wxSize size = ConvertDialogToPixels(wxSize(du.Width(), du.Height()));
    // wx takes ids below 32767 only (the Help button's 57670 is not one).
    const int id = c.GetDlgCtrlID() > 0 && c.GetDlgCtrlID() < 32767 ? c.GetDlgCtrlID() : wxID_ANY;
    const DWORD style = c.GetStyle();
    switch (c.GetControlKind()) {
        case K::staticText:
            return new wxStaticText(this, id, LabelOf(c), pos, size, StaticTextAlignment(style) | wxST_NO_AUTORESIZE);
        case K::groupBox: return new wxStaticBox(this, id, LabelOf(c), pos, size);
        case K::iconStatic:
        case K::otherStatic: return new FrameStatic(this, id, pos, size, IsFramed(style));
        case K::pushButton:
        case K::defPushButton: {
            auto* b = new wxButton(this, id, LabelOf(c), pos, size);
            if (c.GetControlKind() == K::defPushButton) b->SetDefault();
            return b;
        }
        case K::autoRadioButton:
        case K::radioButton:
            JoinRadioGroup(index, pos, size);
            return new wxRadioButton(this, id, LabelOf(c), pos, size);
        case K::checkBox:
        case K::autoCheckBox: return new wxCheckBox(this, id, LabelOf(c), pos, size, CheckBoxStyle(style));
        case K::edit: return new wxTextCtrl(this, id, EditTextOf(c), pos, size, EditStyle(style));
        case K::comboBox: {
            size.y = std::min(size.y, ConvertDialogToPixels(wxSize(0, kClosedComboHeightDu)).y);
            auto* w = new wxChoice(this, id, pos, size);
            // The focus on a combo box leaves the default button marked.
            qel::framework::wx::WxGtkKeepWindowDefault(w->GetHandle());
            return w;
        }
        case K::listBox: return new wxListBox(this, id, pos, size, 0, nullptr, wxLB_SINGLE | wxLB_NEEDED_SB);
        case K::other: break;
    }
    return new wxStaticText(this, id, LabelOf(c), pos, size, wxST_NO_AUTORESIZE);
}

void QelWxDialog::JoinRadioGroup(int index, const wxPoint& pos, const wxSize& size) {
    Item& item = m_items[static_cast<std::size_t>(index)];
    if (item.group != m_buildLastRadioGroup) {
        // wx joins a radio button to the one created before it unless it
        // starts a group; the hidden button starts each group.
        item.groupNone = new wxRadioButton(this, wxID_ANY, wxString(), pos, size, wxRB_GROUP);
        item.groupNone->Hide();
        m_buildLastRadioGroup = item.group;
        return;
    }
    for (int j = index - 1; j >= 0; --j)
        if (m_items[static_cast<std::size_t>(j)].groupNone) {
            item.groupNone = m_items[static_cast<std::size_t>(j)].groupNone;
            return;
        }
}

// The user's input, back through the framework's user actions.
void QelWxDialog::BindInput(int index, wxWindow& w) {
    auto control = [this, index]() -> CWnd& { return *m_dlg.GetControls()[static_cast<std::size_t>(index)]; };
    // A change the framework refused is put back at the next flush.
    auto refused = [this, index](QelChange what) { m_items[static_cast<std::size_t>(index)].dirty |= Bit(what); };
    auto selected = [this, control, refused](wxCommandEvent& e) {
        if (m_applying) return;
        const int sel = e.GetSelection();
        Feed([&] {
            if (qel::framework::UserSelect(m_dlg, control(), sel) != QelUserResult::done) refused(QelChange::selection);
        });
    };
    auto click = [this, index](wxCommandEvent&) { FeedClick(index); };
    switch (m_items[static_cast<std::size_t>(index)].kind) {
        case K::pushButton:
        case K::defPushButton: w.Bind(wxEVT_BUTTON, click); break;
        case K::autoRadioButton:
        case K::radioButton: w.Bind(wxEVT_RADIOBUTTON, click); break;
        case K::checkBox:
        case K::autoCheckBox: w.Bind(wxEVT_CHECKBOX, click); break;
        case K::edit:
            w.Bind(wxEVT_TEXT, [this, index, control, refused](wxCommandEvent& e) {
                if (m_applying) return;
                const std::u16string text = qel::framework::wx::WxWide(e.GetString());
                Feed([&] {
                    if (qel::framework::UserSetText(m_dlg, control(), text) != QelUserResult::done)
                        refused(QelChange::text);
                    // The caret stays where the user typed.
                    m_items[static_cast<std::size_t>(index)].dirty &= ~Bit(QelChange::editSelection);
                });
            });
            break;
        case K::comboBox: w.Bind(wxEVT_CHOICE, selected); break;
        case K::listBox:
            w.Bind(wxEVT_LISTBOX, selected);
            w.Bind(wxEVT_LISTBOX_DCLICK, [this, control, refused](wxCommandEvent& e) {
                if (m_applying) return;
                const int sel = e.GetSelection();
                Feed([&] {
                    if (qel::framework::UserDoubleClick(m_dlg, control().GetDlgCtrlID(), sel) != QelUserResult::done)
                        refused(QelChange::selection);
                });
            });
            break;
        default: break;
    }
}

void QelWxDialog::BindFocus(int index, wxWindow& w) {
    w.Bind(wxEVT_SET_FOCUS, [this, index](wxFocusEvent& e) {
        e.Skip();
        if (m_applying || !m_mirroring || m_ended) return;
        CWnd& focused = *m_dlg.GetControls()[static_cast<std::size_t>(index)];
        if (m_dlg.GetFocus() == &focused) return;
        Feed([&] { qel::framework::UserSetFocus(m_dlg, focused); });
    });
}

wxWindow* QelWxDialog::ControlWindow(int index) const {
    if (index < 0 || index >= static_cast<int>(m_items.size())) return nullptr;
    return m_items[static_cast<std::size_t>(index)].window;
}

int QelWxDialog::IndexOfWindow(const wxWindow* window) const {
    for (; window && window != this; window = window->GetParent())
        for (std::size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i].window == window) return static_cast<int>(i);
    return -1;
}

// ---------------------------------------------------------------------------
// Framework -> widgets

void QelWxDialog::OnDialogChanged(CDialog& dlg, CWnd& wnd, QelChange what) {
    if (&wnd == &dlg) {
        if (what == QelChange::ended) {
            m_ended = true;
            if (IsModal()) EndModal(dlg.GetModalResult() == IDOK ? wxID_OK : wxID_CANCEL);
            return;
        }
        if (what == QelChange::text) m_captionDirty = true;
    } else {
        const int index = dlg.GetControlIndex(wnd);
        if (index < 0 || index >= static_cast<int>(m_items.size())) return;
        m_items[static_cast<std::size_t>(index)].dirty |= what == QelChange::rebound ? kAll : Bit(what);
        if (what == QelChange::focus) m_focusDirty = true;
    }
    ScheduleFlush();
}

void QelWxDialog::ScheduleFlush() {
    if (m_feeding || m_flushScheduled) return;
    m_flushScheduled = true;
    CallAfter([this] { Flush(); });
}

void QelWxDialog::Flush() {
    m_flushScheduled = false;
    if (m_captionDirty) {
        m_captionDirty = false;
        SetTitle(qel::framework::wx::WxString(m_dlg.GetWindowText()));
    }
    std::vector<unsigned> dirty(m_items.size());
    for (std::size_t i = 0; i < m_items.size(); ++i) dirty[i] = std::exchange(m_items[i].dirty, 0u);
    const unsigned editSel = Bit(QelChange::editSelection);
    for (std::size_t i = 0; i < dirty.size(); ++i)
        if (dirty[i] & ~editSel) Apply(static_cast<int>(i), dirty[i] & ~editSel);
    if (std::exchange(m_focusDirty, false)) ApplyFocus();
    // After the focus: focusing an entry selects its text in GTK.
    for (std::size_t i = 0; i < dirty.size(); ++i)
        if (dirty[i] & editSel) Apply(static_cast<int>(i), editSel);
}

void QelWxDialog::Apply(int index, unsigned what) {
    const auto& controls = m_dlg.GetControls();
    if (index < 0 || index >= static_cast<int>(controls.size())) return;
    CWnd& c = *controls[static_cast<std::size_t>(index)];
    Item& item = m_items[static_cast<std::size_t>(index)];
    wxWindow* w = item.window;
    if (!w) return;
    ++m_applying;
    if (what & Bit(QelChange::enabled)) w->Enable(c.IsWindowEnabled());
    if (what & Bit(QelChange::visible)) w->Show(c.IsWindowVisible());

    if (auto* text = dynamic_cast<wxTextCtrl*>(w)) {
        ApplyToEdit(c, *text, what);
    } else if (auto* choice = dynamic_cast<wxChoice*>(w)) {
        if (auto* combo = dynamic_cast<CComboBox*>(&c)) ApplyToChoice(*combo, *choice, what);
    } else if (auto* list = dynamic_cast<wxListBox*>(w)) {
        if (auto* lb = dynamic_cast<CListBox*>(&c)) ApplyToList(*lb, *list, what);
    } else if ((what & Bit(QelChange::text)) && (IsLabelKind(item.kind) || IsButtonKind(item.kind))) {
        const wxString label = LabelOf(c);
        if (w->GetLabel() != label) w->SetLabel(label);
    }

    if (what & Bit(QelChange::check)) {
        if (IsRadio(item.kind)) SyncRadioGroup(item.group);
        else if (auto* box = dynamic_cast<wxCheckBox*>(w))
            if (auto* button = dynamic_cast<CButton*>(&c)) ApplyCheck(*button, *box);
    }
    --m_applying;
}

void QelWxDialog::SyncRadioGroup(int group) {
    const auto& controls = m_dlg.GetControls();
    wxRadioButton* on = nullptr;
    wxRadioButton* none = nullptr;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const Item& it = m_items[i];
        if (!IsRadio(it.kind) || it.group != group) continue;
        none = it.groupNone;
        auto* button = dynamic_cast<CButton*>(controls[i]);
        if (!on && button && button->GetCheck() == BST_CHECKED) on = static_cast<wxRadioButton*>(it.window);
    }
    wxRadioButton* want = on ? on : none;
    ++m_applying;
    if (want && !want->GetValue()) want->SetValue(true);
    --m_applying;
}

void QelWxDialog::ApplyFocus() {
    CWnd* focus = m_dlg.GetFocus();
    const int index = focus ? m_dlg.GetControlIndex(*focus) : -1;
    wxWindow* w = ControlWindow(index);
    if (!w || !w->IsShown() || !w->IsEnabled()) return;
    ++m_applying;
    if (wxWindow::FindFocus() != w) w->SetFocus();
    --m_applying;
}

// ---------------------------------------------------------------------------
// User -> framework

template <typename F>
void QelWxDialog::Feed(F&& action) {
    if (!m_mirroring || m_ended || m_error) return;
    ++m_feeding;
    try {
        action();
    } catch (...) {
        m_error = std::current_exception();
    }
    --m_feeding;
    if (m_error && IsModal()) {
        EndModal(wxID_ABORT);
        return;
    }
    if (!m_feeding) Flush();
}

void QelWxDialog::FeedClick(int index) {
    if (m_applying) return;
    Feed([&] {
        qel::framework::UserClick(m_dlg, *m_dlg.GetControls()[static_cast<std::size_t>(index)]);
        // The toolkit has already toggled the widget; the framework decides.
        for (Item& it : m_items)
            if (IsRadio(it.kind) || it.kind == K::checkBox || it.kind == K::autoCheckBox)
                it.dirty |= Bit(QelChange::check);
    });
}

void QelWxDialog::PressDefault() {
    const auto& controls = m_dlg.GetControls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        CWnd& c = *controls[i];
        if (c.GetControlKind() != K::defPushButton) continue;
        // A default button that cannot be pressed makes Enter do nothing.
        if (!c.IsWindowVisible() || !c.IsWindowEnabled()) return;
        if (c.GetDlgCtrlID() == IDOK) Feed([&] { qel::framework::UserOk(m_dlg); });
        else FeedClick(static_cast<int>(i));
        return;
    }
    Feed([&] { qel::framework::UserOk(m_dlg); });
}

bool QelWxDialog::Mnemonic(int keyCode) {
    if (keyCode >= 'a' && keyCode <= 'z') keyCode = keyCode - 'a' + 'A';
    const auto& controls = m_dlg.GetControls();
    const int n = static_cast<int>(controls.size());
    const int from = m_dlg.GetFocus() ? m_dlg.GetControlIndex(*m_dlg.GetFocus()) : -1;
    for (int step = 1; step <= n; ++step) {
        const int i = (from + step + n) % n;
        CWnd& c = *controls[static_cast<std::size_t>(i)];
        if (!c.IsWindowVisible() || MnemonicOf(c.GetWindowText()) != keyCode) continue;
        const K kind = c.GetControlKind();
        if (IsButtonKind(kind)) {
            if (c.IsWindowEnabled()) FeedClick(i);
            return true;
        }
        if (!IsLabelKind(kind)) continue;
        // A label's mnemonic goes to the next control that takes the focus.
        for (int j = i + 1; j < n; ++j) {
            CWnd& t = *controls[static_cast<std::size_t>(j)];
            if (!(t.GetStyle() & WS_TABSTOP) || !t.IsWindowVisible() || !t.IsWindowEnabled()) continue;
            Feed([&] { qel::framework::UserSetFocus(m_dlg, t); });
            return true;
        }
        return true;
    }
    return false;
}

void QelWxDialog::OnCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    const bool ctrl = event.ControlDown(), alt = event.AltDown(), shift = event.ShiftDown();
    if (key == WXK_ESCAPE && !ctrl && !alt && !shift) {
        Feed([&] { qel::framework::UserCancel(m_dlg); });
        return;
    }
    if ((key == WXK_RETURN || key == WXK_NUMPAD_ENTER) && !alt) {
        OnEnterKey(event, ctrl, shift);
        return;
    }
    if (alt && !ctrl && key > 0 && key < 0x80 && std::isalnum(key) && Mnemonic(key)) return;
    event.Skip();
}

// Enter: a line break in a multi-line edit that wants it (Ctrl+Enter in
// any multi-line edit), a click on the focused push button, else the
// default button.
void QelWxDialog::OnEnterKey(wxKeyEvent& event, bool ctrl, bool shift) {
    const int index = IndexOfWindow(wxWindow::FindFocus());
    CWnd* focus = index >= 0 ? m_dlg.GetControls()[static_cast<std::size_t>(index)] : nullptr;
    if (focus && focus->GetControlKind() == K::edit && (focus->GetStyle() & ES_MULTILINE)) {
        auto* text = static_cast<wxTextCtrl*>(ControlWindow(index));
        if (ctrl) {
            if (text->IsEditable()) text->WriteText("\n");
            return;
        }
        if ((focus->GetStyle() & ES_WANTRETURN) && !shift) {
            event.Skip();
            return;
        }
    }
    if (focus && (focus->GetControlKind() == K::pushButton || focus->GetControlKind() == K::defPushButton) && !ctrl) {
        FeedClick(index);
        return;
    }
    PressDefault();
}

void QelWxDialog::OnClose(wxCloseEvent& event) {
    if (event.CanVeto()) event.Veto();
    Feed([&] { qel::framework::UserCancel(m_dlg); });
}

void QelWxDialog::Run() {
    Flush();
    ApplyFocus();
    if (!m_ended && !m_error) ShowModal();
    m_mirroring = false;
    if (m_dlg.GetObserver() == this) m_dlg.SetObserver(nullptr);
    if (m_error) std::rethrow_exception(std::exchange(m_error, nullptr));
}
