#include "framework/modaldriver.h"

#include <dlfcn.h>
#include <unistd.h>

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
        qel::framework::HostDiagnostic("no display: dialog " + id + " not shown; its initial values were taken");
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

qel::framework::GuiBackEndState& LastGuiState() {
    static qel::framework::GuiBackEndState state;
    return state;
}

// The display the environment names, as a user would set it again.
std::string DisplayName() {
    const char* w = std::getenv("WAYLAND_DISPLAY");
    if (w && *w) return std::string("WAYLAND_DISPLAY=") + w;
    const char* x = std::getenv("DISPLAY");
    return std::string("DISPLAY=") + (x ? x : "");
}

std::unique_ptr<CModalDriver> LoadGuiDriver() {
    using qel::framework::GuiBackEnd;
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&AfxGetModalDriver), &info) || !info.dli_fname) {
        LastGuiState() = {GuiBackEnd::notBuilt, "the framework library's folder is unknown"};
        return nullptr;
    }
    std::string folder = info.dli_fname;
    const auto slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash);
    const std::string file = folder + "/libqelfw_wx.so";
    if (::access(file.c_str(), F_OK) != 0) {
        LastGuiState() = {GuiBackEnd::notBuilt, file + " is not there"};
        return nullptr;
    }
    void* lib = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = ::dlerror();
        LastGuiState() = {GuiBackEnd::notLoaded, why ? why : file + " cannot be loaded"};
        return nullptr;
    }
    using Factory = CModalDriver* (*)(int);
    auto factory = reinterpret_cast<Factory>(::dlsym(lib, "QelCreateGuiModalDriver"));
    if (!factory) {
        LastGuiState() = {GuiBackEnd::notLoaded, file + " has no QelCreateGuiModalDriver"};
        return nullptr;
    }
    // The library stays loaded, with or without a driver: a back end brings
    // in a toolkit whose libraries run static constructors and register
    // types when loaded, and cannot be unloaded safely afterwards.
    CModalDriver* driver = factory(QEL_MODAL_DRIVER_INTERFACE_VERSION);
    if (!driver) {
        LastGuiState() = {GuiBackEnd::displayRefused, DisplayName()};
        return nullptr;
    }
    LastGuiState() = {GuiBackEnd::inUse, {}};
    return std::unique_ptr<CModalDriver>(driver);
}

std::unique_ptr<CModalDriver> ChooseDriver() {
    LastGuiState() = {};
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

qel::framework::GuiBackEndState qel::framework::LastGuiBackEndState() { return LastGuiState(); }

qel::framework::ModalDriverChooser qel::framework::SetModalDriverChooser(ModalDriverChooser chooser) {
    ModalDriverChooser before = std::move(HostChooser());
    HostChooser() = std::move(chooser);
    return before;
}
