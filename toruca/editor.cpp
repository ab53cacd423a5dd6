// The lookup of the registered ToruCa editor.
#include "toruca/editor.h"

#include "host/registry.h"
#include "model/tpjfile.h"

std::u16string CQelToruca::ReadEditorPath() {
    CHKLMRegistryBase key(EDITOR_KEY, 0);
    std::u16string command = key.GetValueString(u"", u"", 0);
    // A command of neither form comes back whole: whether it names a program
    // is for the caller's existence test to decide.
    if (!command.empty()) ExtractExecutablePath(command);
    return command;
}

bool CQelToruca::ExtractExecutablePath(std::u16string& command) {
    if (command.empty()) return false;
    if (command.front() == u'"') {
        const auto close = command.find(u'"', 1);
        if (close == std::u16string::npos) return false;
        command = command.substr(1, close - 1);
        return true;
    }
    static constexpr std::u16string_view placeholder = u" \"%1\"";
    const auto at = command.find(placeholder);
    if (at == std::u16string::npos || at + placeholder.size() != command.size()) return false;
    command.resize(at);
    return true;
}

namespace qel::toruca {

std::u16string GetEditorCommand(const CQelTpjFile&) { return CQelToruca().ReadEditorPath(); }

}  // namespace qel::toruca
