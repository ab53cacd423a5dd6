// The module's resources: its resource script (dialogs/qeltoruca.rc) and
// the header of ids it includes (dialogs/resource.h), embedded in the
// library at build time.
#pragma once

#include "framework/extmodule.h"

namespace qel::dialogs {

// The module's instance handle, which names its resource block.
HINSTANCE ModuleInstance();

// Registers the module's resources with the framework, as the load routine
// does; for programs that link the module's code directly (tests, fuzzers).
// Returns false when the framework refuses the registration.
bool RegisterModuleResources();
void UnregisterModuleResources();

}  // namespace qel::dialogs
