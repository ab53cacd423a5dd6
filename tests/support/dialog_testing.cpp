#include "tests/support/dialog_testing.h"

#include <deque>
#include <stdexcept>
#include <variant>

#include "framework/codepage.h"
#include "framework/diagnostic.h"

namespace qel::test {

namespace {

std::string U8(std::u16string_view s) { return qel::framework::WideToUtf8(s); }

// What a user action's result means, for a failure's message.
const char* ResultText(QelUserResult r) {
    switch (r) {
        case QelUserResult::done: return "done";
        case QelUserResult::noSuchControl: return "no such control";
        case QelUserResult::wrongKind: return "the control cannot take this action";
        case QelUserResult::noSuchEntry: return "no such entry";
        case QelUserResult::unavailable: return "the control is disabled, hidden or read-only";
        case QelUserResult::badText: return "a single-line edit takes no line break";
    }
    return "?";
}

struct DialogExpectation {
    int templateId;
    std::function<void(DialogUser&)> actions;
};
struct MessageExpectation {
    std::u16string text;
    std::optional<UINT> style;
    int answer;
};
struct FileExpectation {
    std::function<void(FileDialogUser&)> actions;
};
using Expectation = std::variant<DialogExpectation, MessageExpectation, FileExpectation>;

std::string Describe(const Expectation& e) {
    if (auto* d = std::get_if<DialogExpectation>(&e)) return "dialog " + std::to_string(d->templateId);
    if (auto* m = std::get_if<MessageExpectation>(&e)) return "message box \"" + U8(m->text) + "\"";
    return "file dialog";
}

}  // namespace

struct DialogDriverScope::Impl final : CModalDriver {
    std::deque<Expectation> queue;
    std::vector<SeenMessageBox> boxes;
    std::vector<std::string> diagnostics;

    const char* Name() const override { return "test"; }

    void RunModal(CDialog& dlg) override {
        const int id = static_cast<int>(dlg.GetTemplateID());
        if (queue.empty() || !std::holds_alternative<DialogExpectation>(queue.front()) ||
            std::get<DialogExpectation>(queue.front()).templateId != id) {
            ADD_FAILURE() << "dialog " << id << " opened, but the next expectation is "
                          << (queue.empty() ? std::string("none") : Describe(queue.front()));
            qel::framework::UserCancel(dlg);
            return;
        }
        DialogExpectation e = std::move(std::get<DialogExpectation>(queue.front()));
        queue.pop_front();
        DialogUser user(dlg);
        if (e.actions) e.actions(user);
        if (!dlg.IsEnded()) qel::framework::UserCancel(dlg);
    }

    int MessageBox(CWnd*, const std::u16string& text, UINT style) override {
        CDialog* active = AfxGetActiveDialog();
        boxes.push_back({text, style, active ? static_cast<int>(active->GetTemplateID()) : 0});
        if (queue.empty() || !std::holds_alternative<MessageExpectation>(queue.front())) {
            ADD_FAILURE() << "message box \"" << U8(text) << "\" shown, but the next expectation is "
                          << (queue.empty() ? std::string("none") : Describe(queue.front()));
            return IDOK;
        }
        MessageExpectation e = std::move(std::get<MessageExpectation>(queue.front()));
        queue.pop_front();
        EXPECT_EQ(U8(text), U8(e.text)) << "message box text";
        if (e.style) {
            EXPECT_EQ(style, *e.style) << "message box style of \"" << U8(text) << "\"";
        }
        return e.answer;
    }

    INT_PTR RunFileDialog(CFileDialog& fd) override {
        if (queue.empty() || !std::holds_alternative<FileExpectation>(queue.front())) {
            ADD_FAILURE() << "file dialog opened, but the next expectation is "
                          << (queue.empty() ? std::string("none") : Describe(queue.front()));
            return IDCANCEL;
        }
        FileExpectation e = std::move(std::get<FileExpectation>(queue.front()));
        queue.pop_front();
        FileDialogUser user(fd);
        if (e.actions) e.actions(user);
        return user.Accepted() ? IDOK : IDCANCEL;
    }
};

namespace {

DialogDriverScope::Impl* g_current = nullptr;

DialogDriverScope::Impl& Current() {
    if (!g_current) throw std::logic_error("no qel::test::DialogDriverScope in force");
    return *g_current;
}

}  // namespace

DialogDriverScope::DialogDriverScope() : m_impl(std::make_unique<Impl>()) {
    m_previous = AfxSetModalDriver(m_impl.get());
    Impl* impl = m_impl.get();
    m_previousSink =
        qel::framework::SetDiagnosticSink([impl](std::string_view line) { impl->diagnostics.emplace_back(line); });
    g_current = impl;
}

DialogDriverScope::~DialogDriverScope() {
    VerifyAndClear();
    AfxSetModalDriver(m_previous);
    qel::framework::SetDiagnosticSink(std::move(m_previousSink));
    if (g_current == m_impl.get()) g_current = nullptr;
}

void DialogDriverScope::VerifyAndClear() {
    for (const Expectation& e : m_impl->queue) ADD_FAILURE() << "expected " << Describe(e) << ", which never opened";
    m_impl->queue.clear();
}

const std::vector<SeenMessageBox>& DialogDriverScope::MessageBoxes() const { return m_impl->boxes; }
const std::vector<std::string>& DialogDriverScope::Diagnostics() const { return m_impl->diagnostics; }

void ExpectDialog(int templateId, std::function<void(DialogUser&)> actions) {
    Current().queue.push_back(DialogExpectation{templateId, std::move(actions)});
}

void ExpectMessageBox(std::u16string text, std::optional<UINT> style, int answer) {
    Current().queue.push_back(MessageExpectation{std::move(text), style, answer});
}

void ExpectFileDialog(std::function<void(FileDialogUser&)> actions) {
    Current().queue.push_back(FileExpectation{std::move(actions)});
}

const std::vector<SeenMessageBox>& MessageBoxes() { return Current().boxes; }
const std::vector<std::string>& Diagnostics() { return Current().diagnostics; }

void DialogTest::SetUp() {
    TempDirTest::SetUp();
    m_scope = std::make_unique<DialogDriverScope>();
}

void DialogTest::TearDown() {
    m_scope.reset();
    TempDirTest::TearDown();
}

// ---------------------------------------------------------------------------
// DialogUser

void DialogUser::ThrowWrongClass() {
    ADD_FAILURE() << "the dialog is not of the class the test asked for";
    throw std::logic_error("wrong dialog class");
}

void DialogUser::Check(QelUserResult r, const char* action, int id) const {
    if (r != QelUserResult::done)
        ADD_FAILURE() << action << " " << id << " in dialog " << m_dlg.GetTemplateID() << ": " << ResultText(r);
}

void DialogUser::Click(int id) { Check(qel::framework::UserClick(m_dlg, id), "click", id); }
void DialogUser::SetText(int id, std::u16string_view text) {
    Check(qel::framework::UserSetText(m_dlg, id, text), "text", id);
}
void DialogUser::Select(int id, int index) { Check(qel::framework::UserSelect(m_dlg, id, index), "select", id); }
void DialogUser::Choose(int id, std::u16string_view text) {
    Check(qel::framework::UserChoose(m_dlg, id, text), "choose", id);
}
void DialogUser::DoubleClick(int id, int index) {
    Check(qel::framework::UserDoubleClick(m_dlg, id, index), "double click", id);
}
void DialogUser::Ok() { Check(qel::framework::UserOk(m_dlg), "ok", IDOK); }
void DialogUser::Cancel() { Check(qel::framework::UserCancel(m_dlg), "cancel", IDCANCEL); }

CWnd* DialogUser::Control(int id) const {
    CWnd* c = m_dlg.GetDlgItem(id);
    if (!c) ADD_FAILURE() << "dialog " << m_dlg.GetTemplateID() << " has no control " << id;
    return c;
}

std::u16string DialogUser::Text(int id) const {
    CWnd* c = Control(id);
    return c ? c->GetWindowText() : std::u16string();
}

bool DialogUser::Checked(int id) const {
    auto* b = dynamic_cast<CButton*>(Control(id));
    return b && b->GetCheck() == BST_CHECKED;
}

bool DialogUser::Enabled(int id) const {
    CWnd* c = Control(id);
    return c && c->IsWindowEnabled();
}

bool DialogUser::Visible(int id) const {
    CWnd* c = Control(id);
    return c && c->IsWindowVisible();
}

int DialogUser::CurSel(int id) const {
    CWnd* c = Control(id);
    if (auto* combo = dynamic_cast<CComboBox*>(c)) return combo->GetCurSel();
    if (auto* list = dynamic_cast<CListBox*>(c)) return list->GetCurSel();
    if (c) ADD_FAILURE() << "control " << id << " has no entries";
    return -1;
}

std::vector<std::u16string> DialogUser::Items(int id) const {
    CWnd* c = Control(id);
    const std::vector<QelListEntry>* entries = nullptr;
    if (auto* combo = dynamic_cast<CComboBox*>(c)) entries = &combo->Entries();
    else if (auto* list = dynamic_cast<CListBox*>(c)) entries = &list->Entries();
    else if (c) ADD_FAILURE() << "control " << id << " has no entries";
    std::vector<std::u16string> out;
    if (entries)
        for (const QelListEntry& e : *entries) out.push_back(e.text);
    return out;
}

int DialogUser::Count(int id) const { return static_cast<int>(Items(id).size()); }

std::u16string DialogUser::ItemText(int id, int index) const {
    const std::vector<std::u16string> items = Items(id);
    if (index < 0 || index >= static_cast<int>(items.size())) {
        ADD_FAILURE() << "control " << id << " has no entry " << index;
        return {};
    }
    return items[static_cast<std::size_t>(index)];
}

DWORD_PTR DialogUser::ItemData(int id, int index) const {
    CWnd* c = Control(id);
    if (auto* combo = dynamic_cast<CComboBox*>(c)) return combo->GetItemData(index);
    if (auto* list = dynamic_cast<CListBox*>(c)) return list->GetItemData(index);
    if (c) ADD_FAILURE() << "control " << id << " has no entries";
    return 0;
}

int DialogUser::Focus() const {
    CWnd* f = m_dlg.GetFocus();
    return f ? f->GetDlgCtrlID() : 0;
}

std::pair<int, int> DialogUser::EditSel(int id) const {
    auto* edit = dynamic_cast<CEdit*>(Control(id));
    if (!edit) return {-1, -1};
    int start = 0, end = 0;
    edit->GetSel(start, end);
    return {start, end};
}

// ---------------------------------------------------------------------------
// FileDialogUser

bool FileDialogUser::TryOk(std::string* why) {
    if (qel::framework::FileDialogAccept(m_dlg, m_typed, why)) {
        m_accepted = true;
        m_done = true;
    }
    return m_accepted;
}

void FileDialogUser::Ok() {
    std::string why;
    if (!TryOk(&why)) ADD_FAILURE() << "the file dialog refuses " << U8(m_typed) << ": " << why;
}

// ---------------------------------------------------------------------------
// ScopedResourceScript

ScopedResourceScript::ScopedResourceScript(std::string name, std::string script)
    : m_name(std::move(name)), m_script(std::move(script)), m_block{m_name.c_str(), m_script.data(), m_script.size()} {
    if (!AfxInitExtensionModule(m_module, &m_block)) {
        ADD_FAILURE() << "the framework refused the resource script " << m_name;
        return;
    }
    new CDynLinkLibrary(m_module, false);  // owned by the framework's list
}

ScopedResourceScript::~ScopedResourceScript() { AfxTermExtensionModule(m_module, false); }

}  // namespace qel::test
