// Feeds arbitrary text to the resource-script loader: it must read it or
// refuse it with a line inside the text, never crash or hang. Text before
// the first NUL byte is the header "resource.h" that the script may
// include; the rest is the script (all of it when there is no NUL).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "framework/rcscript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string_view header;
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
        header = text.substr(0, nul);
        text.remove_prefix(nul + 1);
    }
    const QelResourceFile includes[] = {{"resource.h", header}};
    QelResourceScript script;
    QelRcError error;
    if (!qel::framework::ParseResourceScript(text, script, error, includes)) {
        if (error.line < 1 || error.message.empty()) std::abort();
    } else {
        for (const CDialogTemplate& d : script.dialogs)
            if (script.FindDialog(d.id) == nullptr) std::abort();
    }
    return 0;
}
