// The framework's lines for the user: notices of the no-display and script
// drivers, the message boxes they print, resource-script errors. The
// framework names no program; the program that hosts it names itself through
// the prefix, which its host library installs when it loads.
#pragma once

#include "framework/api.h"

#include <functional>
#include <string>
#include <string_view>

namespace qel::framework {

// Where the lines go: standard error with a line break, or the sink
// installed here (tests collect them). Returns the sink installed before
// (empty for standard error).
using DiagnosticSink = std::function<void(std::string_view line)>;
QEL_FW_API DiagnosticSink SetDiagnosticSink(DiagnosticSink sink);

// Writes one line as it is.
QEL_FW_API void Diagnostic(std::string_view line);

// The prefix of the lines that the drivers write for the hosting program
// ("no display: ...", "script: ...", "message: ..."); empty until a host
// sets one. Returns the prefix set before.
QEL_FW_API std::string SetDiagnosticPrefix(std::string prefix);
QEL_FW_API const std::string& DiagnosticPrefix();

// Writes DiagnosticPrefix() followed by `text` as one line.
void HostDiagnostic(std::string_view text);

}  // namespace qel::framework
