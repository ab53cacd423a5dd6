#include "framework/dlgscript.h"

#include <cerrno>
#include <cstring>

#include "framework/codepage.h"
#include "framework/diagnostic.h"
#include "framework/dialog.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/filedialog.h"
#include "framework/useraction.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Splits off the next word (up to a blank); `rest` keeps what follows the
// word, its separating blank included.
std::string_view NextWord(std::string_view& rest) {
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    std::size_t n = 0;
    while (n < rest.size() && !IsBlank(rest[n])) ++n;
    std::string_view w = rest.substr(0, n);
    rest.remove_prefix(n);
    return w;
}

bool ParseInt(std::string_view s, int& out) {
    if (s.empty()) return false;
    bool negative = false;
    if (s.front() == '-' || s.front() == '+') {
        negative = s.front() == '-';
        s.remove_prefix(1);
        if (s.empty()) return false;
    }
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v < -2147483648LL || v > 2147483647LL) return false;
    out = static_cast<int>(v);
    return true;
}

// The value of `text` and `choose`: the rest of the line after exactly one
// blank, with \n and \\ resolved.
std::u16string Value(std::string_view rest) {
    if (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    std::string bytes;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size() && (rest[i + 1] == 'n' || rest[i + 1] == '\\')) {
            bytes += rest[i + 1] == 'n' ? '\n' : '\\';
            ++i;
        } else {
            bytes += rest[i];
        }
    }
    return qel::framework::Utf8ToWide(bytes);
}

struct LineError {
    std::string message;
};

QelScriptAction ParseAction(const std::string& keyword, std::string_view rest, int line) {
    QelScriptAction a;
    a.line = line;
    auto id = [&]() {
        const std::string_view w = NextWord(rest);
        if (w.empty()) throw LineError{keyword + " needs a control id"};
        if (!ParseInt(w, a.id)) throw LineError{"control id '" + std::string(w) + "' is not a number"};
    };
    auto nothingMore = [&]() {
        if (!TrimBlanks(rest).empty()) throw LineError{"unexpected text after " + keyword};
    };
    if (keyword == "click") {
        a.kind = QelScriptAction::click;
        id();
        nothingMore();
    } else if (keyword == "text" || keyword == "choose") {
        a.kind = keyword == "text" ? QelScriptAction::text : QelScriptAction::choose;
        id();
        if (!rest.empty() && !IsBlank(rest.front())) throw LineError{"a blank must follow the control id"};
        a.value = Value(rest);
    } else if (keyword == "select") {
        a.kind = QelScriptAction::selectEntry;
        id();
        const std::string_view w = NextWord(rest);
        if (w.empty()) throw LineError{"select needs an entry index"};
        if (!ParseInt(w, a.index) || a.index < 0)
            throw LineError{"entry index '" + std::string(w) + "' is not a number from 0"};
        nothingMore();
    } else if (keyword == "ok" || keyword == "cancel") {
        a.kind = keyword == "ok" ? QelScriptAction::ok : QelScriptAction::cancel;
        nothingMore();
    } else {
        throw LineError{"unknown action '" + keyword + "'"};
    }
    return a;
}

}  // namespace

namespace {

// "dialog ID" or "dialog file": opens the block of one dialog.
QelScriptBlock ParseDialogLine(std::string_view rest, int line) {
    QelScriptBlock block;
    block.line = line;
    const std::string_view w = NextWord(rest);
    if (w.empty()) throw LineError{"dialog needs a template id or 'file'"};
    if (Lower(w) == "file") {
        block.fileDialog = true;
    } else if (!ParseInt(w, block.templateId) || block.templateId <= 0) {
        throw LineError{"dialog '" + std::string(w) + "' is not a template id or 'file'"};
    }
    if (!TrimBlanks(rest).empty()) throw LineError{"unexpected text after dialog " + std::string(w)};
    return block;
}

// One line that is neither blank nor a comment, added to `script`.
void ParseLine(QelDialogScript& script, std::string_view raw, int line) {
    if (!qel::framework::IsValidUtf8(raw)) throw LineError{"the line is not valid UTF-8"};
    std::string_view rest = raw;
    const std::string keyword = Lower(NextWord(rest));
    if (keyword == "dialog") {
        script.blocks.push_back(ParseDialogLine(rest, line));
        return;
    }
    QelScriptAction action = ParseAction(keyword, rest, line);
    if (script.blocks.empty()) throw LineError{"action before the first dialog line"};
    script.blocks.back().actions.push_back(std::move(action));
}

}  // namespace

QelDialogScript qel::framework::ParseDialogScript(std::string_view text) {
    QelDialogScript script;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t nl = text.find('\n');
        std::string_view raw = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        const std::string_view trimmed = TrimBlanks(raw);
        if (trimmed.empty() || trimmed.front() == '#') continue;
        try {
            ParseLine(script, raw, line);
        } catch (const LineError& e) {
            script.errors.push_back({line, e.message});
            if (!script.blocks.empty()) {
                QelScriptAction bad;
                bad.kind = QelScriptAction::invalid;
                bad.line = line;
                script.blocks.back().actions.push_back(std::move(bad));
            }
        }
    }
    return script;
}

namespace {

std::string Where(int line) {
    return qel::framework::DiagnosticPrefix() + "script: line " + std::to_string(line) + ": ";
}

class ScriptDriver final : public CModalDriver {
public:
    explicit ScriptDriver(QelDialogScript script) : m_script(std::move(script)) {
        for (const QelScriptError& e : m_script.errors) qel::framework::Diagnostic(Where(e.line) + e.message);
    }

    const char* Name() const override { return "script"; }

    void RunModal(CDialog& dlg) override {
        const std::string name = "dialog " + std::to_string(dlg.GetTemplateID());
        const QelScriptBlock* block = TakeBlock(false, static_cast<int>(dlg.GetTemplateID()), name);
        if (!block) {
            qel::framework::UserCancel(dlg);
            return;
        }
        for (const QelScriptAction& a : block->actions) {
            if (dlg.IsEnded()) {
                qel::framework::Diagnostic(Where(a.line) + name + " has closed; the rest of its block is ignored");
                return;
            }
            std::string error;
            const QelUserResult r = Run(dlg, a, error);
            if (r == QelUserResult::unavailable) {
                qel::framework::Diagnostic(Where(a.line) + "control " + std::to_string(a.id) +
                                           " is disabled, hidden or read-only; ignored");
            } else if (r != QelUserResult::done) {
                qel::framework::Diagnostic(Where(a.line) + error + "; " + name + " cancelled");
                qel::framework::UserCancel(dlg);
                return;
            }
        }
        if (!dlg.IsEnded()) qel::framework::UserCancel(dlg);
    }

    int MessageBox(CWnd*, const std::u16string& text, UINT style) override {
        qel::framework::Diagnostic(qel::framework::MessageLine(text));
        return qel::framework::DefaultMessageAnswer(style);
    }

    INT_PTR RunFileDialog(CFileDialog& fd) override {
        const QelScriptBlock* block = TakeBlock(true, 0, "dialog file");
        if (!block) return IDCANCEL;
        std::u16string typed = fd.m_strFileName;
        for (const QelScriptAction& a : block->actions) {
            switch (a.kind) {
                case QelScriptAction::text:
                    if (a.id != 0) {
                        qel::framework::Diagnostic(Where(a.line) + "the file dialog has no control " +
                                                   std::to_string(a.id) +
                                                   " (its file name is control 0); dialog file cancelled");
                        return IDCANCEL;
                    }
                    typed = a.value;
                    break;
                case QelScriptAction::ok: {
                    std::string why;
                    if (qel::framework::FileDialogAccept(fd, typed, &why)) return IDOK;
                    qel::framework::Diagnostic(Where(a.line) + "the file dialog refuses " +
                                               qel::framework::WideToUtf8(typed) + ": " + why);
                    break;
                }
                case QelScriptAction::cancel: return IDCANCEL;
                case QelScriptAction::invalid:
                    qel::framework::Diagnostic(Where(a.line) + "the line cannot be read; dialog file cancelled");
                    return IDCANCEL;
                default:
                    qel::framework::Diagnostic(
                        Where(a.line) + "the file dialog takes only text 0, ok and cancel; dialog file cancelled");
                    return IDCANCEL;
            }
        }
        return IDCANCEL;
    }

private:
    // The next block, when it is for this dialog; null (with the report)
    // when no block is left or the next one names another dialog.
    const QelScriptBlock* TakeBlock(bool fileDialog, int templateId, const std::string& name) {
        if (m_next >= m_script.blocks.size()) {
            qel::framework::HostDiagnostic("script: no actions for " + name);
            return nullptr;
        }
        const QelScriptBlock& b = m_script.blocks[m_next];
        if (b.fileDialog != fileDialog || b.templateId != templateId) {
            const std::string other = b.fileDialog ? "dialog file" : "dialog " + std::to_string(b.templateId);
            qel::framework::Diagnostic(Where(b.line) + "the next block is for " + other + ", not for " + name + "; " +
                                       name + " cancelled");
            return nullptr;
        }
        ++m_next;
        return &b;
    }

    static std::string ControlName(CDialog& dlg, int id) {
        CWnd* c = dlg.GetDlgItem(id);
        const char* kind = c ? qel::framework::ControlKindName(c->GetControlKind()) : "control";
        return std::string(kind) + " " + std::to_string(id);
    }

    static QelUserResult Run(CDialog& dlg, const QelScriptAction& a, std::string& error) {
        QelUserResult r = QelUserResult::done;
        const char* verb = "";
        switch (a.kind) {
            case QelScriptAction::click:
                r = qel::framework::UserClick(dlg, a.id);
                verb = "cannot be clicked";
                break;
            case QelScriptAction::text:
                r = qel::framework::UserSetText(dlg, a.id, a.value);
                verb = "cannot be typed into";
                break;
            case QelScriptAction::selectEntry:
                r = qel::framework::UserSelect(dlg, a.id, a.index);
                verb = "has no entries to select";
                break;
            case QelScriptAction::choose:
                r = qel::framework::UserChoose(dlg, a.id, a.value);
                verb = "has no entries to choose";
                break;
            case QelScriptAction::ok: qel::framework::UserOk(dlg); return QelUserResult::done;
            case QelScriptAction::cancel: qel::framework::UserCancel(dlg); return QelUserResult::done;
            case QelScriptAction::invalid: error = "the line cannot be read"; return QelUserResult::wrongKind;
        }
        const std::string dialogName = "dialog " + std::to_string(dlg.GetTemplateID());
        switch (r) {
            case QelUserResult::noSuchControl: error = dialogName + " has no control " + std::to_string(a.id); break;
            case QelUserResult::wrongKind: error = ControlName(dlg, a.id) + " " + verb; break;
            case QelUserResult::noSuchEntry:
                error = a.kind == QelScriptAction::selectEntry
                            ? ControlName(dlg, a.id) + " has no entry " + std::to_string(a.index)
                            : ControlName(dlg, a.id) + " has no entry \"" + qel::framework::WideToUtf8(a.value) + "\"";
                break;
            case QelUserResult::badText:
                error = ControlName(dlg, a.id) + " is a single-line edit: a line break cannot be typed";
                break;
            default: break;
        }
        return r;
    }

    QelDialogScript m_script;
    std::size_t m_next = 0;
};

}  // namespace

std::unique_ptr<CModalDriver> qel::framework::CreateScriptDriver(QelDialogScript script) {
    return std::make_unique<ScriptDriver>(std::move(script));
}

std::unique_ptr<CModalDriver> qel::framework::CreateScriptDriverFromFile(const std::string& path) {
    // Only a regular file is read (CFile refuses a pipe or a device at
    // once): a pipe would hold the host and /dev/zero would never end.
    std::string text;
    int err = 0;
    try {
        CFile file;
        CFileException error;
        if (file.Open(qel::framework::PathFromNative(path), CFile::modeRead | CFile::typeBinary, &error)) {
            char block[1 << 14];
            while (const unsigned n = file.Read(block, sizeof block)) text.append(block, n);
        } else {
            err = error.m_lOsError != 0 ? error.m_lOsError : ENOENT;
        }
    } catch (const CFileException& e) {
        err = e.m_lOsError;
    }
    if (err != 0) {
        qel::framework::HostDiagnostic("script: cannot read " + path + ": " + std::strerror(err));
        return qel::framework::CreateScriptDriver({});
    }
    return qel::framework::CreateScriptDriver(qel::framework::ParseDialogScript(text));
}
