#include "framework/modaldriver.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "framework/codepage.h"
#include "framework/dialog.h"
#include "framework/diagnostic.h"
#include "framework/filedialog.h"
#include "framework/useraction.h"

CModalDriver::~CModalDriver() = default;

int CModalDriver::MessageBoxWithButtons(CWnd* owner, const std::u16string& text, UINT icon,
                                        const std::vector<std::u16string>&, int) {
    MessageBox(owner, text, (icon & MB_ICONMASK) | MB_OK);
    return -1;
}

CSize CModalDriver::GetDialogBaseUnits(const CDialogTemplate&) { return AfxGetDialogBaseUnits(); }

std::string qel::framework::MessageLine(const std::u16string& text) {
    // One line per message box: a line break in the text is written as \n.
    std::u16string flat;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        if (text[i] == u'\r' || text[i] == u'\n') flat += u"\\n";
        else flat += text[i];
    }
    return qel::framework::DiagnosticPrefix() + "message: " + qel::framework::PathForDisplay(flat);
}

int qel::framework::DefaultMessageAnswer(UINT style) {
    switch (style & MB_TYPEMASK) {
        case 3:
        case 4: return IDYES;     // MB_YESNOCANCEL, MB_YESNO
        case 2: return IDIGNORE;  // MB_ABORTRETRYIGNORE
        case 5: return IDRETRY;   // MB_RETRYCANCEL
        default: return IDOK;
    }
}

// ---------------------------------------------------------------------------
// The no-display driver

namespace {

class NoDisplayDriver final : public CModalDriver {
public:
    const char* Name() const override { return "headless"; }

    void RunModal(CDialog& dlg) override {
        const std::string id = std::to_string(dlg.GetTemplateID());
        qel::framework::HostDiagnostic("no display: dialog " + id + " accepted as shown");
        qel::framework::UserOk(dlg);
        if (!dlg.IsEnded()) {
            qel::framework::HostDiagnostic("no display: dialog " + id + " stayed open after OK; cancelled");
            qel::framework::UserCancel(dlg);
        }
    }

    int MessageBox(CWnd*, const std::u16string& text, UINT style) override {
        qel::framework::Diagnostic(qel::framework::MessageLine(text));
        return qel::framework::DefaultMessageAnswer(style);
    }

    INT_PTR RunFileDialog(CFileDialog&) override {
        qel::framework::HostDiagnostic("no display: file dialog cancelled");
        return IDCANCEL;
    }
};

// ---------------------------------------------------------------------------
// Choice of the driver

CModalDriver* g_installed = nullptr;
std::unique_ptr<CModalDriver>& Chosen() {
    static std::unique_ptr<CModalDriver> chosen;
    return chosen;
}
qel::framework::ModalDriverChooser& HostChooser() {
    static qel::framework::ModalDriverChooser chooser;
    return chooser;
}

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

std::unique_ptr<CModalDriver> LoadGuiDriver() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&AfxGetModalDriver), &info) || !info.dli_fname) return nullptr;
    std::string folder = info.dli_fname;
    const auto slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash);
    void* lib = ::dlopen((folder + "/libqelfw_wx.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    using Factory = CModalDriver* (*)(int);
    auto factory = reinterpret_cast<Factory>(::dlsym(lib, "QelCreateGuiModalDriver"));
    CModalDriver* driver = factory ? factory(QEL_MODAL_DRIVER_INTERFACE_VERSION) : nullptr;
    // The library stays loaded, with or without a driver: a back end brings
    // in a toolkit whose libraries run static constructors and register
    // types when loaded, and cannot be unloaded safely afterwards.
    if (!driver) return nullptr;
    return std::unique_ptr<CModalDriver>(driver);
}

std::unique_ptr<CModalDriver> ChooseDriver() {
    if (HostChooser())
        if (auto hosts = HostChooser()()) return hosts;
    if (HasDisplay())
        if (auto gui = LoadGuiDriver()) return gui;
    return qel::framework::CreateNoDisplayDriver();
}

}  // namespace

std::unique_ptr<CModalDriver> qel::framework::CreateNoDisplayDriver() { return std::make_unique<NoDisplayDriver>(); }

CModalDriver& AfxGetModalDriver() {
    if (g_installed) return *g_installed;
    if (!Chosen()) Chosen() = ChooseDriver();
    return *Chosen();
}

CModalDriver* AfxSetModalDriver(CModalDriver* driver) {
    CModalDriver* before = g_installed;
    g_installed = driver;
    return before;
}

void AfxResetModalDriver() { Chosen().reset(); }

qel::framework::ModalDriverChooser qel::framework::SetModalDriverChooser(ModalDriverChooser chooser) {
    ModalDriverChooser before = std::move(HostChooser());
    HostChooser() = std::move(chooser);
    return before;
}
