// qelhost: loads the ToruCa module the way the authoring application does and
// runs one export.
//
//   qelhost [--temp-dir DIR] [--registry FILE] [--script FILE] [--form FORM]
//           [--desktop] [--dom] [--module FILE] PATH
//
// Exit status: 0 when Export returned true, 1 when it returned false, 2 for a
// usage error or a module that cannot be loaded (one line on standard error).
//
// Standard error carries what the framework and the host services say (the
// message boxes under a script or without a display, script errors, the
// no-display notices) and qelhost's own errors; standard output carries one
// line on how the export ended: the file written, or why nothing was.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/resource.h"
#include "format/toruca_format.h"
#include "framework/codepage.h"
#include "framework/dialog.h"
#include "framework/modaldriver.h"
#include "framework/useraction.h"
#include "host/html/htmldata.h"
#include "host/messages.h"
#include "host/paths.h"
#include "host/registry.h"
#include "apps/qelhost/module_interfaces.h"
#include "apps/qelhost/written_box.h"
#include "host/report.h"
#include "host/tempfile.h"
#include "toruca/limits/handset_limits.h"

namespace {

constexpr int kEntryCount = 1024;        // the host's table of entry points
constexpr int kCreateDeviceEntry = 538;  // where the module puts its factory
constexpr int kInterfaceKind = 1;
constexpr int kInterfaceRevision = 83;

// The module's output method dialog as dialog scripts know it: one radio
// button per output form.
constexpr UINT kOutputDialog = IDD_TORUCA_OUTPUT;
constexpr UINT kSettingsDialog = IDD_TORUCA_SETTINGS;

// The dialog's radio buttons follow the table of forms.
static_assert(IDC_OUTPUT_CARD == IDC_OUTPUT_PROJECT + 1 && IDC_OUTPUT_SNIP == IDC_OUTPUT_PROJECT + 2 &&
              std::size(qel::format::kForms) == 3);
int RadioOf(const qel::format::CardForm& form) {
    return IDC_OUTPUT_PROJECT + static_cast<int>(&form - qel::format::kForms);
}

const char kUsage[] =
    "Usage: qelhost [options] PATH\n"
    "  or:  qelhost --create-project\n"
    "  or:  qelhost -h | --help | -V | --version\n"
    "\n"
    "Exports PATH (an HTML page, or a .tpj/.trc file) to ToruCa data with the module\n"
    "libqeltoruca.so (beside qelhost, else in ../lib/qeltoruca), as the authoring\n"
    "application does: the module asks for the output form and, for a page, the\n"
    "card's values in its dialogs, writes the file to the temporary folder and\n"
    "starts the registered ToruCa editor on it.\n"
    "\n"
    "  --temp-dir DIR    the host's temporary folder, where outputs are written\n"
    "                    (sets QELHOST_TEMP_DIR)\n"
    "  --registry FILE   the machine registry file (.reg text) that names the\n"
    "                    editor (sets QELHOST_REGISTRY)\n"
    "  --script FILE     drive the dialogs by a dialog script instead of showing\n"
    "                    them (sets QELHOST_SCRIPT)\n"
    "  --form FORM       answer the output method dialog with FORM: project,\n"
    "                    detail or snippet; the other dialogs are shown, scripted\n"
    "                    or accepted as usual (a script then holds no block for\n"
    "                    the output method dialog)\n"
    "  --desktop         started from the desktop entry: without --temp-dir and\n"
    "                    QELHOST_TEMP_DIR, outputs go to ~/ToruCa (made when\n"
    "                    missing)\n"
    "  --dom             parse PATH with the host's HTML loader and pass its\n"
    "                    document to the module\n"
    "  --module FILE     load this module instead of the default libqeltoruca.so\n"
    "  --create-project  load the module, create a device and a project record,\n"
    "                    print the record's type and version code, and exit\n"
    "  -h, --help        show this text\n"
    "  -V, --version     show the version\n"
    "\n"
    "Without a script the dialogs are shown in windows when a display is set (exit\n"
    "status 2 when they cannot be: no window back end, or the display does not\n"
    "open); without a display each is accepted with its initial values, with a\n"
    "notice on standard error. Message boxes without windows are printed to\n"
    "standard error as 'qelhost: message: TEXT'. On success qelhost prints the file\n"
    "it wrote ('qelhost: wrote PATH'); after a failure, one line on standard error\n"
    "says why ('qelhost: why: REASON'). In windows, when no editor was started on\n"
    "the written file, a message box shows its path and offers to open its folder.\n"
    "\n"
    "Exit status: 0 export succeeded (or the output method dialog was cancelled),\n"
    "1 export failed, 2 usage error, module not loaded or windows not shown.\n";

int UsageError(const std::string& what) {
    std::fprintf(
        stderr, "%s\n",
        qel::host::TrFill("qelhost: %s (see qelhost --help)", {qel::framework::NativeForDisplay(what)}).c_str());
    return 2;
}

struct Options {
    std::string tempDir, registry, script, module, path, form;
    int formRadio = 0;  // the output radio button --form chose, 0 without --form
    bool dom = false;
    bool desktop = false;
    bool createProject = false;
    bool help = false;
    bool version = false;
};

// The options by name: flags, and options that take a value (what the
// message of a missing value asks for).
struct FlagOption {
    const char* name;
    bool Options::*into;
};
constexpr FlagOption kFlagOptions[] = {
    {"--help", &Options::help},
    {"-h", &Options::help},
    {"--version", &Options::version},
    {"-V", &Options::version},
    {"--dom", &Options::dom},
    {"--desktop", &Options::desktop},
    {"--create-project", &Options::createProject},
};
struct ValueOption {
    const char* name;
    std::string Options::*into;
    const char* what;  // the message of a missing value, "%s" the option (a catalogue's text)
};
constexpr ValueOption kValueOptions[] = {
    {"--temp-dir", &Options::tempDir, QEL_N_("%s needs a folder")},
    {"--registry", &Options::registry, QEL_N_("%s needs a file")},
    {"--script", &Options::script, QEL_N_("%s needs a file")},
    {"--module", &Options::module, QEL_N_("%s needs a file")},
    {"--form", &Options::form, QEL_N_("%s needs project, detail or snippet")},
};

template <typename Option, std::size_t N>
const Option* FindOption(const Option (&table)[N], const std::string& name) {
    for (const Option& option : table)
        if (name == option.name) return &option;
    return nullptr;
}

// One argument: a long option's name and the value given after '='
// (--form=detail); any other argument whole, without a value.
struct Argument {
    std::string name;
    std::optional<std::string> inlineValue;
};

Argument SplitArgument(const std::string& text) {
    if (text.rfind("--", 0) != 0 || text.size() <= 2) return {text, std::nullopt};
    const auto eq = text.find('=');
    if (eq == std::string::npos) return {text, std::nullopt};
    return {text.substr(0, eq), text.substr(eq + 1)};
}

// Reads the arguments into Options, one at a time; each step returns an
// empty text or the error.
class CommandLine {
public:
    CommandLine(int argc, char** argv, Options& o) : m_argc(argc), m_argv(argv), m_o(o) {}

    std::string Parse() {
        for (m_i = 1; m_i < m_argc; ++m_i)
            if (std::string err = Take(SplitArgument(m_argv[m_i])); !err.empty()) return err;
        return Finish();
    }

private:
    std::string Take(const Argument& a) {
        if (const FlagOption* flag = FindOption(kFlagOptions, a.name)) return Flag(a, m_o.*(flag->into));
        if (const ValueOption* value = FindOption(kValueOptions, a.name))
            return Value(a, m_o.*(value->into), value->what);
        if (a.name == "--") return PathAfterDashes();
        if (a.name.size() > 1 && a.name[0] == '-') return qel::host::TrFill("unknown option %s", {a.name});
        return Path(a.name);
    }

    static std::string Flag(const Argument& a, bool& into) {
        if (a.inlineValue) return qel::host::TrFill("%s takes no value", {a.name});
        into = true;
        return {};
    }

    // The value after '=', else the next argument; never empty.
    std::string Value(const Argument& a, std::string& into, const char* what) {
        if (a.inlineValue) into = *a.inlineValue;
        else if (m_i + 1 < m_argc) into = m_argv[++m_i];
        else return qel::host::TrFill(what, {a.name});
        if (into.empty()) return qel::host::TrFill(what, {a.name});
        return {};
    }

    // "--": the next argument, if any, is PATH whatever it looks like, and
    // the last one.
    std::string PathAfterDashes() {
        if (m_i + 1 >= m_argc) return {};
        if (m_pathGiven || m_i + 2 < m_argc) return qel::host::Tr("only one PATH");
        return Path(m_argv[++m_i]);
    }

    std::string Path(const std::string& path) {
        if (m_pathGiven) return qel::host::Tr("only one PATH");
        m_o.path = path;
        m_pathGiven = true;
        return {};
    }

    std::string Finish() {
        if (!m_o.form.empty()) {
            if (const qel::format::CardForm* form = qel::format::FormOfName(m_o.form)) m_o.formRadio = RadioOf(*form);
            if (m_o.formRadio == 0)
                return qel::host::TrFill("unknown form '%s' (project, detail or snippet)", {m_o.form});
        }
        if (m_pathGiven && m_o.path.empty()) return qel::host::Tr("PATH is empty");
        return {};
    }

    int m_argc;
    char** m_argv;
    Options& m_o;
    int m_i = 1;
    bool m_pathGiven = false;
};

// Parses the arguments; returns an empty text or the error. Options take
// their value as the next argument or after '=' (--form=detail).
std::string Parse(int argc, char** argv, Options& o) { return CommandLine(argc, argv, o).Parse(); }

// A file named on the command line that qelhost reads itself must be there:
// otherwise a mistyped name would quietly run without it. It is opened
// without blocking, as a named pipe would wait for a writer. The script must
// be a regular file; a registry file that is none (a pipe, /dev/null) is
// read as missing by the registry service.
// `what` is the failure's text before the reason, "%s" standing for the file.
std::string CheckReadable(const char* what, const std::string& file, bool regularOnly) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    int err = fd < 0 ? errno : 0;
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) != 0) err = errno;
    if (fd >= 0) ::close(fd);
    if (err == 0 && S_ISDIR(st.st_mode)) err = EISDIR;
    if (err == 0 && regularOnly && !S_ISREG(st.st_mode))
        return qel::host::TrFill(what, {file}) + ": " + qel::host::Tr("not a regular file");
    if (err != 0) return qel::host::TrFill(what, {file}) + ": " + std::strerror(err);
    return {};
}

// Stands between the framework and the driver it chose: passes everything
// on, notes how the module's dialogs ended, and answers the output method
// dialog itself when --form chose the form.
class HostDriver final : public CModalDriver {
public:
    HostDriver(CModalDriver& inner, int formRadio) : m_inner(inner), m_formRadio(formRadio) {}

    const char* Name() const override { return m_inner.Name(); }

    void RunModal(CDialog& dlg) override {
        const UINT id = dlg.GetTemplateID();
        if (id == kOutputDialog && m_formRadio != 0) {
            if (qel::framework::UserClick(dlg, m_formRadio) == QelUserResult::done) qel::framework::UserOk(dlg);
        } else {
            m_inner.RunModal(dlg);
        }
        // A dialog still open when its driver returns is cancelled by DoModal.
        const bool ok = dlg.IsEnded() && dlg.GetModalResult() == IDOK;
        if (id == kOutputDialog) m_outputDialog = ok ? Outcome::ok : Outcome::cancelled;
        if (id == kSettingsDialog) m_settingsDialog = ok ? Outcome::ok : Outcome::cancelled;
    }
    int MessageBox(CWnd* owner, const std::u16string& text, UINT style) override {
        ++m_messages;
        return m_inner.MessageBox(owner, text, style);
    }
    int MessageBoxWithButtons(CWnd* owner, const std::u16string& text, UINT icon,
                              const std::vector<std::u16string>& labels, int defaultIndex) override {
        ++m_messages;
        return m_inner.MessageBoxWithButtons(owner, text, icon, labels, defaultIndex);
    }
    INT_PTR RunFileDialog(CFileDialog& dlg) override { return m_inner.RunFileDialog(dlg); }
    CSize GetDialogBaseUnits(const CDialogTemplate& tpl) override { return m_inner.GetDialogBaseUnits(tpl); }

    enum class Outcome { notShown, ok, cancelled };
    Outcome OutputDialog() const { return m_outputDialog; }
    Outcome SettingsDialog() const { return m_settingsDialog; }
    int Messages() const { return m_messages; }

private:
    CModalDriver& m_inner;
    int m_formRadio;
    Outcome m_outputDialog = Outcome::notShown;
    Outcome m_settingsDialog = Outcome::notShown;
    int m_messages = 0;
};

// One line on standard error for each handset limit a written file exceeds.
void WarnOfHandsetLimits(const std::string& file) {
    qel::toruca::CardMeasure card;
    if (!qel::toruca::MeasureFile(file, card)) return;
    for (const qel::toruca::Verdict& v : qel::toruca::Judge(card))
        if (v.exceeded)
            std::fprintf(stderr, "qelhost: warning: %s: %s\n", qel::framework::NativeForDisplay(file).c_str(),
                         qel::toruca::Describe(v).c_str());
}

// How the export ended, from what the export itself reported: one line on
// standard output, and after a failure the reason on standard error.
void ReportOutcome(bool ok, const HostDriver& driver, const std::string& path, const qel::host::ExportReport& report) {
    if (!report.written.empty()) {
        const std::string written = qel::framework::PathToNative(report.written);
        std::printf("qelhost: wrote %s\n", qel::framework::NativeForDisplay(written).c_str());
        std::fflush(stdout);
        if (ok) WarnOfHandsetLimits(written);
    } else if (ok && driver.OutputDialog() == HostDriver::Outcome::cancelled) {
        std::printf("qelhost: the output method dialog was cancelled; nothing written\n");
    } else if (ok) {
        std::printf("qelhost: nothing written: %s already has the chosen form and is what the editor is given\n",
                    qel::framework::NativeForDisplay(path).c_str());
    } else if (driver.SettingsDialog() == HostDriver::Outcome::cancelled && driver.Messages() == 0) {
        std::printf("qelhost: the settings dialog was cancelled; nothing written\n");
    } else {
        std::printf("qelhost: the export failed; nothing written\n");
    }
    std::fflush(stdout);
    if (!ok && !report.why.empty()) {
        std::fprintf(stderr, "qelhost: why: %s\n", qel::framework::PathForDisplay(report.why).c_str());
        std::fflush(stderr);
    }
}

// The module, loaded for the lifetime of this object: every way out of main
// closes it once, after the device it made is gone.
class LoadedModule {
public:
    explicit LoadedModule(const std::string& path) : m_handle(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedModule() {
        if (m_handle) ::dlclose(m_handle);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool Loaded() const { return m_handle != nullptr; }
    void* Symbol(const char* name) const { return ::dlsym(m_handle, name); }

private:
    void* m_handle;
};

// The exit status of a run that ends before the module is loaded (help,
// version, a usage error); none when the run goes on.
std::optional<int> EarlyExit(const Options& o) {
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (o.version) {
        std::printf("qelhost (qeltoruca) %s\n", QEL_VERSION);
        return 0;
    }
    if (o.path.empty() && !o.createProject) return UsageError(qel::host::Tr("no PATH given"));
    if (!o.path.empty() && o.createProject) return UsageError(qel::host::Tr("--create-project takes no PATH"));
    if (!o.script.empty())
        if (const std::string err = CheckReadable(QEL_N_("cannot read the script %s"), o.script, true); !err.empty())
            return UsageError(err);
    if (!o.registry.empty())
        if (const std::string err = CheckReadable(QEL_N_("cannot read the registry file %s"), o.registry, false);
            !err.empty())
            return UsageError(err);
    return std::nullopt;
}

// The folder a user started from the desktop finds the outputs in:
// ~/ToruCa; empty when there is no home folder.
std::string DesktopOutputFolder() {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* user = ::getpwuid(::getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || home[0] != '/') return {};
    return std::string(home) + "/ToruCa";
}

// The options the host services read from the environment.
void SetEnvironment(const Options& o) {
    const char* configured = std::getenv("QELHOST_TEMP_DIR");
    if (o.tempDir.empty() && o.desktop && (!configured || !*configured))
        if (const std::string folder = DesktopOutputFolder(); !folder.empty())
            ::setenv("QELHOST_TEMP_DIR", folder.c_str(), 1);
    if (!o.tempDir.empty()) ::setenv("QELHOST_TEMP_DIR", o.tempDir.c_str(), 1);
    if (!o.registry.empty()) ::setenv("QELHOST_REGISTRY", o.registry.c_str(), 1);
    if (!o.script.empty()) ::setenv("QELHOST_SCRIPT", o.script.c_str(), 1);
}

// The application hands the module full paths.
std::string FullPath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code ec;
    const std::filesystem::path abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

// The module's device factory, from the entry table it fills; null, with the
// reason on standard error, when it has none.
CreateDeviceIFProc TakeFactory(const LoadedModule& module, const std::string& modulePath) {
    auto setAddress = reinterpret_cast<FSetFunctionAddressProc>(module.Symbol("FSetFunctionAddress"));
    if (!setAddress) {
        std::fprintf(stderr, "qelhost: cannot load the module: %s exports no FSetFunctionAddress\n",
                     modulePath.c_str());
        return nullptr;
    }
    std::vector<void*> table(kEntryCount, nullptr);
    const int rc = setAddress(table.data(), 0, kInterfaceKind, kInterfaceRevision);
    auto factory = rc == 0 ? reinterpret_cast<CreateDeviceIFProc>(table[kCreateDeviceEntry]) : nullptr;
    if (!factory)
        std::fprintf(stderr, "qelhost: the module refused the entry table (FSetFunctionAddress gave %d)\n", rc);
    return factory;
}

// --create-project: one record made and described.
int CreateProject(CQelDeviceIF& device) {
    const std::unique_ptr<CQelTpjFileIF> record(device.CreateProject());
    if (!record) return 1;
    std::printf("qelhost: created a project record: type %d, version code %d\n", record->GetType(),
                record->GetVersionCode());
    return 0;
}

// A display is set and no script given, so the user asked for windows:
// when the framework could not show them, say why instead of accepting the
// dialogs unseen. Returns false when the export must not run.
bool WindowsAvailable() {
    using qel::framework::GuiBackEnd;
    const qel::framework::GuiBackEndState gui = qel::framework::LastGuiBackEndState();
    switch (gui.state) {
        case GuiBackEnd::notTried:
        case GuiBackEnd::inUse: return true;
        case GuiBackEnd::notBuilt:
            std::fprintf(stderr, "%s\n",
                         qel::host::Tr("qelhost: this qelhost was built without windows: give --script, or build "
                                       "with the window back end"));
            return false;
        case GuiBackEnd::notLoaded:
            std::fprintf(stderr, "%s\n",
                         qel::host::TrFill("qelhost: the window back end cannot be loaded: %s", {gui.detail}).c_str());
            return false;
        case GuiBackEnd::displayRefused:
            std::fprintf(stderr, "%s\n",
                         qel::host::TrFill("qelhost: the display %s cannot be opened: give --script, or unset "
                                           "DISPLAY and WAYLAND_DISPLAY",
                                           {gui.detail})
                             .c_str());
            return false;
    }
    return true;
}

// One export of `path` under qelhost's modal driver; 2 when the windows it
// needs cannot be shown.
int RunExport(CQelDeviceIF& device, const Options& o, const std::string& path) {
    // The desktop is asked for its editor while the export runs, in a child
    // with a deadline. That child is forked before any window: a toolkit
    // runs threads of its own, and a process with threads cannot fork work
    // that takes locks; asked later, in this process, a lookup that hangs
    // would hold the host for good. In windows, the editor is then the
    // desktop's default of the moment the export began.
    qel::host::PrefetchDesktopAnswers();
    CModalDriver& chosen = AfxGetModalDriver();
    if (!WindowsAvailable()) return 2;
    HostDriver driver(chosen, o.formRadio);
    CModalDriver* before = AfxSetModalDriver(&driver);

    const std::u16string widePath = qel::framework::PathFromNative(path);

    // The loader owns the document, so it lives until Export has returned.
    CQelHtmlData loader(u"HTML");
    Node* document = nullptr;
    if (o.dom) {
        if (loader.CreateNodeData(widePath)) document = loader.m_pRootNode;
        else
            std::fprintf(stderr, "qelhost: the host cannot load %s as a page; no document passed\n",
                         qel::framework::NativeForDisplay(path).c_str());
    }

    const bool ok = device.Export(widePath, document);
    AfxSetModalDriver(before);

    const qel::host::ExportReport report = qel::host::TakeExportReport();
    // qelhost owns its temporary folder: what a load put there (attachments,
    // the folders made for repeated names) is in the written card now, or of
    // no use when nothing was written; the card and the input stay.
    for (const std::u16string& attachment : report.attachments) qel::host::RemoveNewFile(attachment);
    ReportOutcome(ok, driver, path, report);
    // In real windows the written file would otherwise end out of sight.
    if (ok && !report.written.empty() && !report.programStarted && std::strcmp(driver.Name(), "gui") == 0)
        qel::apps::ShowWrittenFile(qel::framework::PathToNative(report.written));
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    qel::host::OpenMessageCatalogue();
    // A file size limit (ulimit -f) then fails the write, which the module
    // reports, instead of ending the process halfway through.
    ::signal(SIGXFSZ, SIG_IGN);
    Options o;
    if (const std::string err = Parse(argc, argv, o); !err.empty()) return UsageError(err);
    if (const std::optional<int> status = EarlyExit(o)) return *status;
    SetEnvironment(o);
    const std::string path = FullPath(o.path);

    const std::string modulePath = o.module.empty() ? qel::host::ProgramLibraryPath("libqeltoruca.so") : o.module;
    const LoadedModule module(modulePath);
    if (!module.Loaded()) {
        std::fprintf(stderr, "qelhost: cannot load the module: %s\n", ::dlerror());
        return 2;
    }
    const CreateDeviceIFProc factory = TakeFactory(module, modulePath);
    if (!factory) return 2;
    // Declared after the module, so it is deleted before the module closes.
    const std::unique_ptr<CQelDeviceIF> device(factory());
    if (!device) {
        std::fprintf(stderr, "qelhost: the module created no device\n");
        return 2;
    }
    return o.createProject ? CreateProject(*device) : RunExport(*device, o, path);
}
