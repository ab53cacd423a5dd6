// What the host installs in the framework (framework/diagnostic.h,
// framework/modaldriver.h): the "qelhost: " prefix of the lines the
// framework writes for it, and a driver chooser that answers the script
// driver (framework/dlgscript.h) for the dialog script that QELHOST_SCRIPT
// names, read at each choice of the driver (so a variable set after loading,
// as qelhost sets it from --script, counts).
//
// The host-service library installs both when it is loaded, so that any
// process that loads it (the module brings it along) behaves the same.
#pragma once

namespace qel::host {

// Installs the prefix and the chooser, replacing what was installed.
void InstallFrameworkHooks();

}  // namespace qel::host
