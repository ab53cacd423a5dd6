#include "dialogs/module_resources.h"

#include <new>

extern const char qel_resource_script[];
extern const unsigned long qel_resource_script_size;
extern const char qel_resource_header[];
extern const unsigned long qel_resource_header_size;

namespace {

// The script #includes "resource.h", which the module carries beside it.
const QelResourceFile kIncludes[] = {{"resource.h", {qel_resource_header, qel_resource_header_size}}};
const QelResourceBlock kResources = {"qeltoruca", qel_resource_script, qel_resource_script_size, kIncludes, 1};

// The module's only global state: its extension-module record.
AFX_EXTENSION_MODULE g_extensionModule;

}  // namespace

HINSTANCE qel::dialogs::ModuleInstance() { return &kResources; }

bool qel::dialogs::RegisterModuleResources() {
    if (!AfxInitExtensionModule(g_extensionModule, qel::dialogs::ModuleInstance())) return false;
    // The framework keeps the library object and frees it at unregistration.
    new CDynLinkLibrary(g_extensionModule, false);
    return true;
}

void qel::dialogs::UnregisterModuleResources() { AfxTermExtensionModule(g_extensionModule, false); }
