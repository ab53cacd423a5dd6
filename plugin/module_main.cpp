// What the shared library adds to the module's code: the load and unload
// routine and the one exported symbol.
#include "plugin/device.h"
#include "dialogs/module_resources.h"

namespace {

// Reasons, as the system's library entry routine receives them.
enum { kProcessDetach = 0, kProcessAttach = 1, kThreadAttach = 2, kThreadDetach = 3 };

int DllMain(HINSTANCE, unsigned reason, void*) {
    if (reason == kProcessAttach) return qel::dialogs::RegisterModuleResources() ? 1 : 0;
    if (reason == kProcessDetach) qel::dialogs::UnregisterModuleResources();
    return 1;
}

__attribute__((constructor)) void ModuleLoad() { DllMain(qel::dialogs::ModuleInstance(), kProcessAttach, nullptr); }
__attribute__((destructor)) void ModuleUnload() { DllMain(qel::dialogs::ModuleInstance(), kProcessDetach, nullptr); }

}  // namespace

// The one symbol the module exports: a host finds it by name (dlsym).
extern "C" int FSetFunctionAddress(void** table, int reserved, int kind, int revision);

extern "C" __attribute__((visibility("default"))) int FSetFunctionAddress(void** table, int reserved, int kind,
                                                                          int revision) {
    return SetFunctionAddress(table, reserved, kind, revision);
}
