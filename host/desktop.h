// The desktop's file associations, where the registry has no file of its
// own: the default application the desktop opens a file type with, as `gio
// mime` and `xdg-mime query default` report it (GIO reads the desktop
// entries and mimeapps.list of the XDG data and config folders).
#pragma once

#include "host/api.h"

#include <string>
#include <string_view>

namespace qel::host {

// The MIME type whose default application stands in for the registry key
// `keyPath` (the full path from the root, any case): the open command of a
// file class the host knows; null for every other key.
QEL_HOST_API const char* DesktopTypeOfKey(std::u16string_view keyPath);

// The open command of the desktop's default application for `mimeType`, in
// the registry's form "\"PROGRAM\" \"%1\"" with PROGRAM a full path. Empty
// when the desktop names none, its program is not found, or its command line
// is more than the program and one file (%f, %F, %u or %U, with the optional
// %i, %c and %k dropped): the file is the one argument a command of the
// registry's form passes.
//
// The answer is asked for in this process, unless PrefetchDesktopOpenCommands
// asked for it before: the first call for each type then takes that answer.
QEL_HOST_API std::u16string DesktopOpenCommand(const char* mimeType);

// Asks now, in a bounded child process (host/boundedchild.h), for the open
// commands of every file class DesktopTypeOfKey knows, for a program that
// runs one export: the answers are those of this moment, also when a user
// then takes minutes in its dialogs. GIO watches the desktop's folders for
// changes, and the kernel's teardown of those watches holds the exit of the
// process that made them for 5 to 15 ms; the child ends while the export
// runs, and GIO never runs here. The child has 2 s and writes nothing to
// standard error; one that fails or is late answers none for every type,
// and the first DesktopOpenCommand says so in a "warning: no desktop
// default found in time" line (framework/diagnostic.h). Nothing when the
// process has other threads (a child of a process with threads may find
// their locks held and never released) or a child cannot be had;
// DesktopOpenCommand then asks in this process. A child whose answer is
// never taken is waited for, up to its deadline, when the process exits,
// or sooner when another child's fork finds no process slot
// (BoundedChild::SetSlotRelease).
QEL_HOST_API void PrefetchDesktopOpenCommands() noexcept;

}  // namespace qel::host
