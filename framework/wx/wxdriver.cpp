// The GUI back end's modal driver and the start of the toolkit.
#include <unistd.h>

#include <cerrno>  // program_invocation_short_name
#include <climits>
#include <clocale>
#include <string>
#include <vector>

#include "framework/codepage.h"
#include "framework/diagnostic.h"
#include "framework/dialog.h"
#include "framework/filedialog.h"
#include "framework/wx/wxbackend.h"
#include "framework/wx/wxdialog.h"
#include "framework/wx/wxgtk.h"

#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>

namespace {

// The dialogs shown now, innermost last.
std::vector<QelWxDialog*>& OpenWindows() {
    static std::vector<QelWxDialog*> windows;
    return windows;
}

std::string ProgramName() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return program_invocation_short_name;
    std::string p(buf, static_cast<std::size_t>(n));
    const auto slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// The window the base units are measured on: hidden, never shown, kept for
// the life of the process.
wxWindow& MeasuringWindow() {
    static wxFrame* frame = new wxFrame(nullptr, wxID_ANY, wxString());
    return *frame;
}

wxWindow* OwnerWindow(const CDialog* dlg) {
    auto& open = OpenWindows();
    if (dlg)
        if (auto* parent = dynamic_cast<CDialog*>(dlg->GetParent()))
            for (QelWxDialog* w : open)
                if (&w->Dialog() == parent) return w;
    return open.empty() ? nullptr : open.back();
}

wxString Caption() {
    return wxTheApp ? wxTheApp->GetAppDisplayName() : wxString::FromUTF8(program_invocation_short_name);
}

// Text of a message box: the framework's "\r\n" line breaks as "\n".
wxString MessageText(const std::u16string& text) {
    wxString s = qel::framework::wx::WxString(text);
    s.Replace("\r\n", "\n");
    return s;
}

// A filter "Text|*.a;*.b|...||" as a wx wildcard; "*.*" matches every
// name, as it does for the dialogs the filters were written for.
wxString Wildcard(const std::u16string& filter) {
    wxString w = qel::framework::wx::WxString(filter);
    while (w.EndsWith("|")) w.RemoveLast();
    if (w.empty()) return "*";
    wxArrayString parts = wxSplit(w, '|', 0);
    for (std::size_t i = 1; i < parts.size(); i += 2) {
        wxArrayString patterns = wxSplit(parts[i], ';', 0);
        for (wxString& p : patterns)
            if (p == "*.*") p = "*";
        parts[i] = wxJoin(patterns, ';', 0);
    }
    if (parts.size() % 2) parts.Add("*");
    return wxJoin(parts, '|', 0);
}

// MB_DEFBUTTON1..3: which button, counted from the left, is the default.
constexpr UINT kDefButtonMask = 0x00000F00;

// A message box as GTK shows one, with what GTK 3's own message dialog no
// longer draws: the icon of the message type from the icon theme
// ("dialog-error" for the stop icon) and the default button marked
// (has-default). The buttons stand in the order of the framework's styles
// (OK Cancel, Yes No Cancel, ...). It stays a wxMessageDialog, so modal
// hooks see it as one; its widget is the GtkMessageDialog while it runs.
class QelWxMessageBox final : public wxMessageDialog {
public:
    QelWxMessageBox(wxWindow* parent, const wxString& text, const wxString& caption, long style, int defaultIndex)
        : wxMessageDialog(parent, text, caption, style), m_defaultIndex(defaultIndex) {}

    int ShowModal() override {
        WX_HOOK_MODAL_DIALOG();
        const long style = GetMessageDialogStyle();
        std::vector<qel::framework::wx::WxGtkButton> buttons;
        auto add = [&](const wxString& label, int id) { buttons.push_back({std::string(label.utf8_str()), id}); };
        if (style & wxYES_NO) {
            add(GetYesLabel(), wxID_YES);
            add(GetNoLabel(), wxID_NO);
        } else {
            add(GetOKLabel(), wxID_OK);
        }
        if (style & wxCANCEL) add(GetCancelLabel(), wxID_CANCEL);
        const int def = m_defaultIndex >= 0 && m_defaultIndex < static_cast<int>(buttons.size()) ? m_defaultIndex : 0;
        const char* icon = nullptr;
        switch (GetEffectiveIcon()) {
            case wxICON_ERROR: icon = "dialog-error"; break;
            case wxICON_WARNING: icon = "dialog-warning"; break;
            case wxICON_QUESTION: icon = "dialog-question"; break;
            case wxICON_INFORMATION: icon = "dialog-information"; break;
            default: break;
        }
        m_widget = qel::framework::wx::WxGtkNewMessageBox(
            m_parent ? m_parent->GetHandle() : nullptr, std::string(GetMessage().utf8_str()),
            std::string(m_caption.utf8_str()), icon, buttons, buttons[static_cast<std::size_t>(def)].response,
            qel::framework::wx::kMessageBoxStyleClass);
        const int response = qel::framework::wx::WxGtkRunDialog(m_widget);
        qel::framework::wx::WxGtkDestroy(m_widget);
        m_widget = nullptr;
        for (const qel::framework::wx::WxGtkButton& b : buttons)
            if (b.response == response) return response;
        // Closed by the window manager or Esc: what Cancel or, without one,
        // the last button answers.
        return buttons.back().response;
    }

private:
    int m_defaultIndex;
};

// The wx icon of a message box style's MB_ICON... bits.
long IconStyle(UINT style) {
    switch (style & MB_ICONMASK) {
        case MB_ICONSTOP: return wxICON_ERROR;
        case MB_ICONQUESTION: return wxICON_QUESTION;
        case MB_ICONWARNING: return wxICON_WARNING;
        case MB_ICONINFORMATION: return wxICON_INFORMATION;
        default: return wxICON_NONE;
    }
}

class QelWxModalDriver final : public CModalDriver {
public:
    const char* Name() const override { return "gui"; }

    void RunModal(CDialog& dlg) override {
        auto* window = new QelWxDialog(OwnerWindow(&dlg), dlg);
        OpenWindows().push_back(window);
        struct Closer {
            QelWxDialog* window;
            ~Closer() {
                OpenWindows().pop_back();
                delete window;
            }
        } closer{window};
        window->Run();
    }

    int MessageBox(CWnd* owner, const std::u16string& text, UINT style) override {
        long wxStyle = wxCENTRE | IconStyle(style);
        const UINT type = style & MB_TYPEMASK;
        switch (type) {
            case 1: wxStyle |= wxOK | wxCANCEL; break;      // MB_OKCANCEL
            case 2: wxStyle |= wxYES_NO | wxCANCEL; break;  // MB_ABORTRETRYIGNORE
            case 3: wxStyle |= wxYES_NO | wxCANCEL; break;  // MB_YESNOCANCEL
            case 4: wxStyle |= wxYES_NO; break;             // MB_YESNO
            case 5: wxStyle |= wxOK | wxCANCEL; break;      // MB_RETRYCANCEL
            default: wxStyle |= wxOK; break;
        }
        CDialog* ownerDlg = owner ? owner->GetOwnerDialog() : nullptr;
        QelWxMessageBox box(OwnerWindow(ownerDlg), MessageText(text), Caption(), wxStyle,
                            static_cast<int>((style & kDefButtonMask) >> 8));
        if (type == 2) box.SetYesNoCancelLabels("&Abort", "&Retry", "&Ignore");
        if (type == 5) box.SetOKCancelLabels("&Retry", "&Cancel");
        const int answer = box.ShowModal();
        switch (type) {
            case 1: return answer == wxID_OK ? IDOK : IDCANCEL;
            case 2: return answer == wxID_YES ? IDABORT : answer == wxID_NO ? IDRETRY : IDIGNORE;
            case 3: return answer == wxID_YES ? IDYES : answer == wxID_NO ? IDNO : IDCANCEL;
            case 4: return answer == wxID_YES ? IDYES : IDNO;
            case 5: return answer == wxID_OK ? IDRETRY : IDCANCEL;
            default: return IDOK;
        }
    }

    // Up to three labelled buttons stand where Yes, No and Cancel would: the
    // box stays a wxMessageDialog, which modal hooks know.
    int MessageBoxWithButtons(CWnd* owner, const std::u16string& text, UINT icon,
                              const std::vector<std::u16string>& labels, int defaultIndex) override {
        if (labels.empty() || labels.size() > 3)
            return CModalDriver::MessageBoxWithButtons(owner, text, icon, labels, defaultIndex);
        static constexpr long kButtons[] = {wxOK, wxYES_NO, wxYES_NO | wxCANCEL};
        CDialog* ownerDlg = owner ? owner->GetOwnerDialog() : nullptr;
        QelWxMessageBox box(OwnerWindow(ownerDlg), MessageText(text), Caption(),
                            wxCENTRE | IconStyle(icon) | kButtons[labels.size() - 1], defaultIndex);
        if (labels.size() == 1) box.SetOKLabel(qel::framework::wx::WxString(labels[0]));
        if (labels.size() == 2)
            box.SetYesNoLabels(qel::framework::wx::WxString(labels[0]), qel::framework::wx::WxString(labels[1]));
        if (labels.size() == 3)
            box.SetYesNoCancelLabels(qel::framework::wx::WxString(labels[0]), qel::framework::wx::WxString(labels[1]),
                                     qel::framework::wx::WxString(labels[2]));
        switch (box.ShowModal()) {
            case wxID_NO: return 1;
            case wxID_CANCEL: return 2;
            default: return 0;  // wxID_OK, wxID_YES
        }
    }

    INT_PTR RunFileDialog(CFileDialog& dlg) override {
        long style = dlg.m_bOpenFileDialog ? wxFD_OPEN : wxFD_SAVE;
        if (dlg.m_bOpenFileDialog && (dlg.m_dwFlags & OFN_FILEMUSTEXIST)) style |= wxFD_FILE_MUST_EXIST;
        if (!dlg.m_bOpenFileDialog && (dlg.m_dwFlags & OFN_OVERWRITEPROMPT)) style |= wxFD_OVERWRITE_PROMPT;
        wxString title = qel::framework::wx::WxString(dlg.m_strTitle);
        if (title.empty()) title = dlg.m_bOpenFileDialog ? "Open" : "Save As";
        wxString folder = qel::framework::wx::WxString(dlg.m_strInitialDir);
        if (folder.empty()) folder = wxGetCwd();
        wxString name = qel::framework::wx::WxString(dlg.m_strFileName);
        CDialog* ownerDlg = dlg.m_pParentWnd ? dlg.m_pParentWnd->GetOwnerDialog() : nullptr;
        wxWindow* owner = OwnerWindow(ownerDlg);
        for (;;) {
            wxFileDialog chooser(owner, title, folder, name, Wildcard(dlg.m_strFilter), style);
            if (chooser.ShowModal() != wxID_OK) return IDCANCEL;
            const wxString path = chooser.GetPath();
            std::string why;
            if (qel::framework::FileDialogAccept(dlg, qel::framework::wx::WxWide(path), &why)) return IDOK;
            // Refused (a name that must exist and does not): say why, ask again.
            wxMessageDialog box(owner, path + "\n" + wxString::FromUTF8(why), Caption(),
                                wxOK | wxICON_WARNING | wxCENTRE);
            box.ShowModal();
            wxFileName fn(path);
            folder = fn.GetPath();
            name = fn.GetFullName();
        }
    }

    CSize GetDialogBaseUnits(const CDialogTemplate& tpl) override {
        const wxSize units = qel::framework::wx::WxBaseUnits(qel::framework::wx::WxTemplateFont(tpl));
        return CSize{units.x, units.y};
    }
};

}  // namespace

wxString qel::framework::wx::WxString(std::u16string_view text) {
    return wxString::FromUTF8(qel::framework::WideToUtf8(text));
}

std::u16string qel::framework::wx::WxWide(const wxString& text) {
    const wxScopedCharBuffer utf8 = text.utf8_str();
    return qel::framework::Utf8ToWide(std::string_view(utf8.data(), utf8.length()));
}

bool qel::framework::wx::WxStart() {
    static int state = 0;  // 1 running, -1 failed
    if (state) return state > 0;
    state = -1;
    if (wxTheApp) {
        // A host that runs wxWidgets itself: its toolkit, our style sheet.
        if (std::string error = qel::framework::wx::WxGtkLoadStyleSheet(); !error.empty())
            qel::framework::Diagnostic("qelfw_wx: style sheet: " + error);
        state = 1;
        return true;
    }
    if (!qel::framework::wx::WxDisplayOpens()) return false;
    qel::framework::wx::WxLoadFontAliases();
    // GTK sets the process locale from the environment; the numbers the
    // rest of the process formats keep the conventions they had.
    const std::string numeric = std::setlocale(LC_NUMERIC, nullptr);
    wxApp::SetInstance(new wxApp);
    static std::string name = ProgramName();
    static char* argv[] = {name.data(), nullptr};
    static int argc = 1;
    // WM_CLASS "NAME", "NAME": what a desktop entry's StartupWMClass names.
    qel::framework::wx::WxGtkSetProgramClass(name);
    // A failed wx check is a line on standard error, never a message box in
    // the middle of the host's work.
    wxSetAssertHandler([](const wxString& file, int line, const wxString& func, const wxString& cond,
                          const wxString& msg) {
        qel::framework::Diagnostic(
            "qelfw_wx: wx check failed: " +
            std::string((file + ":" + wxString::Format("%d", line) + " " + func + ": " + cond + " " + msg).utf8_str()));
    });
    const bool started = wxEntryStart(argc, argv);
    std::setlocale(LC_NUMERIC, numeric.c_str());
    if (!started) return false;
    wxTheApp->SetAppName(name);
    wxTheApp->SetExitOnFrameDelete(false);
    if (std::string error = qel::framework::wx::WxGtkLoadStyleSheet(); !error.empty())
        qel::framework::Diagnostic("qelfw_wx: style sheet: " + error);
    state = 1;
    return true;
}

void qel::framework::wx::WxApplyDialogStyle(wxWindow& window) {
    qel::framework::wx::WxGtkAddStyleClass(window.GetHandle(), qel::framework::wx::kDialogStyleClass);
}

wxFont qel::framework::wx::WxTemplateFont(const CDialogTemplate& tpl) {
    if (tpl.font.face.empty() || tpl.font.pointSize <= 0) return wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    wxFontInfo info(tpl.font.pointSize);
    info.FaceName(qel::framework::wx::WxString(tpl.font.face)).Italic(tpl.font.italic);
    if (tpl.font.weight > 0) info.Weight(tpl.font.weight);
    return wxFont(info);
}

wxSize qel::framework::wx::WxBaseUnits(const wxFont& font) {
    wxWindow& w = MeasuringWindow();
    w.SetFont(font);
    return w.ConvertDialogToPixels(wxSize(4, 8));
}

QelWxDialog* qel::framework::wx::WxActiveDialog() { return OpenWindows().empty() ? nullptr : OpenWindows().back(); }

extern "C" __attribute__((visibility("default"))) CModalDriver* QelCreateGuiModalDriver(int interfaceVersion) {
    if (interfaceVersion != QEL_MODAL_DRIVER_INTERFACE_VERSION) return nullptr;
    if (!qel::framework::wx::WxStart()) return nullptr;
    return new QelWxModalDriver;
}
