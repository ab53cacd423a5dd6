// The programs' own messages in the user's language, through GNU gettext:
// English in the sources, a catalogue per language (po/ja.po) built into
// LANG/LC_MESSAGES/qeltoruca.mo. The texts that scripts read (the documented
// lines "PROGRAM: wrote", "why:", "warning:", "message:") are never
// translated.
#pragma once

#include "host/api.h"

#include <initializer_list>
#include <string>

// Marks a text for the catalogue where it is written (a table's entry) and
// translated later, by Tr or TrFill of the variable that holds it.
#define QEL_N_(text) text

namespace qel::host {

// Chooses the language of messages from the environment (LC_ALL,
// LC_MESSAGES, LANG; setlocale of LC_MESSAGES only, so the rest of the
// process keeps the "C" conventions it relies on) and opens the catalogues:
// the folder locale/ beside the running program (the build folder), else
// ../share/locale from it (the installed tree). Texts come back as UTF-8,
// whatever the locale's character set. Call once, early in main.
QEL_HOST_API void OpenMessageCatalogue();

// `text` in the chosen language; `text` itself when the catalogue has none
// (or none was opened). The result lives as long as the process.
QEL_HOST_API const char* Tr(const char* text);

// Tr(text) with each "%s" replaced by the next of `values`, in order (a
// translation keeps the order of its original).
QEL_HOST_API std::string TrFill(const char* text, std::initializer_list<std::string> values);

}  // namespace qel::host
