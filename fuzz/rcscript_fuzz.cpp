// Feeds arbitrary text to the resource-script loader: it must read it or
// refuse it with a line inside the text, never crash or hang.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "framework/rcscript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    QelResourceScript script;
    QelRcError error;
    if (!QelParseResourceScript(text, script, error)) {
        if (error.line < 1 || error.message.empty()) std::abort();
    } else {
        for (const CDialogTemplate& d : script.dialogs)
            if (script.FindDialog(d.id) == nullptr) std::abort();
    }
    return 0;
}
