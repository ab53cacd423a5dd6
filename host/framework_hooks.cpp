#include "host/framework_hooks.h"

#include <cstdlib>
#include <memory>

#include "framework/diagnostic.h"
#include "framework/dlgscript.h"
#include "framework/modaldriver.h"

namespace qel::host {

void InstallFrameworkHooks() {
    qel::framework::SetDiagnosticPrefix("qelhost: ");
    qel::framework::SetModalDriverChooser([]() -> std::unique_ptr<CModalDriver> {
        const char* script = std::getenv("QELHOST_SCRIPT");
        if (!script || !*script) return nullptr;
        return qel::framework::CreateScriptDriverFromFile(script);
    });
}

namespace {

// Runs when the library is loaded, before any code of its users.
[[maybe_unused]] const bool g_installed = (InstallFrameworkHooks(), true);

}  // namespace

}  // namespace qel::host
