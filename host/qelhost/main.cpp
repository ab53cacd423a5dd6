// qelhost: loads the ToruCa module the way the authoring application does and
// runs one export.
//
//   qelhost [--temp-dir DIR] [--registry FILE] [--script FILE] [--dom] PATH
//
// Exit status: 0 when Export returned true, 1 when it returned false, 2 for a
// usage error or a module that cannot be loaded.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/codepage.h"
#include "host/qelhost/module_interfaces.h"

namespace {

constexpr int kEntryCount = 1024;       // the host's table of entry points
constexpr int kCreateDeviceEntry = 538; // where the module puts its factory

const char kUsage[] =
    "usage: qelhost [--temp-dir DIR] [--registry FILE] [--script FILE] [--dom] PATH\n"
    "       qelhost --create-project\n"
    "\n"
    "Exports PATH (an HTML page, or a .tpj/.trc file) to ToruCa data with the module\n"
    "libqeltoruca.so from qelhost's own folder.\n"
    "\n"
    "  --temp-dir DIR    the host's temporary folder (sets QELHOST_TEMP_DIR)\n"
    "  --registry FILE   the machine registry file (sets QELHOST_REGISTRY)\n"
    "  --script FILE     drive the dialogs by a dialog script (sets QELHOST_SCRIPT)\n"
    "  --dom             parse PATH with the host's HTML loader and pass its document\n"
    "  --module FILE     load this module instead of libqeltoruca.so beside qelhost\n"
    "  --create-project  load the module, create a device and a project record, print\n"
    "                    the record's type and version code, and exit\n"
    "  --help            show this text\n"
    "\n"
    "Exit status: 0 export succeeded, 1 export failed, 2 usage error or module not loaded.\n";

std::string SelfFolder() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string p(buf, static_cast<std::size_t>(n));
    const auto slash = p.find_last_of('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

int UsageError(const char* what) {
    std::fprintf(stderr, "qelhost: %s\n%s", what, kUsage);
    return 2;
}

struct Options {
    std::string tempDir, registry, script, module, path;
    bool dom = false;
    bool createProject = false;
    bool help = false;
};

// Parses the arguments; returns 0 or an error text.
const char* Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& into) -> bool {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        if (a == "--help" || a == "-h") o.help = true;
        else if (a == "--dom") o.dom = true;
        else if (a == "--create-project") o.createProject = true;
        else if (a == "--temp-dir") { if (!value(o.tempDir)) return "--temp-dir needs a folder"; }
        else if (a == "--registry") { if (!value(o.registry)) return "--registry needs a file"; }
        else if (a == "--script") { if (!value(o.script)) return "--script needs a file"; }
        else if (a == "--module") { if (!value(o.module)) return "--module needs a file"; }
        else if (a == "--") { if (i + 1 < argc) o.path = argv[++i]; if (i + 1 < argc) return "only one PATH"; }
        else if (a.size() > 1 && a[0] == '-') return "unknown option";
        else if (!o.path.empty()) return "only one PATH";
        else o.path = a;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (const char* err = Parse(argc, argv, o)) return UsageError(err);
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (o.path.empty() && !o.createProject) return UsageError("no PATH given");
    if (!o.tempDir.empty()) ::setenv("QELHOST_TEMP_DIR", o.tempDir.c_str(), 1);
    if (!o.registry.empty()) ::setenv("QELHOST_REGISTRY", o.registry.c_str(), 1);
    if (!o.script.empty()) ::setenv("QELHOST_SCRIPT", o.script.c_str(), 1);

    const std::string modulePath = o.module.empty() ? SelfFolder() + "/libqeltoruca.so" : o.module;
    void* module = ::dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "qelhost: cannot load the module: %s\n", ::dlerror());
        return 2;
    }
    auto setAddress = reinterpret_cast<FSetFunctionAddressProc>(::dlsym(module, "FSetFunctionAddress"));
    std::vector<void*> table(kEntryCount, nullptr);
    const int rc = setAddress ? setAddress(table.data(), 0, 1, 83) : -1;
    auto factory = reinterpret_cast<CreateDeviceIFProc>(table[kCreateDeviceEntry]);
    if (rc != 0 || !factory) {
        std::fprintf(stderr, "qelhost: the module refused the entry table (FSetFunctionAddress gave %d)\n", rc);
        ::dlclose(module);
        return 2;
    }
    CQelDeviceIF* device = factory();
    if (!device) {
        std::fprintf(stderr, "qelhost: the module created no device\n");
        ::dlclose(module);
        return 2;
    }

    int status;
    if (o.createProject) {
        CQelTpjFileIF* record = device->CreateProject();
        status = record ? 0 : 1;
        if (record) {
            std::printf("qelhost: created a project record: type %d, version code %d\n", record->GetType(),
                        record->GetVersionCode());
            delete record;
        }
    } else {
        const bool ok = device->Export(qel::PathFromNative(o.path), nullptr);
        status = ok ? 0 : 1;
    }
    delete device;
    ::dlclose(module);
    return status;
}
