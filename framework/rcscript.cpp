#include "framework/rcscript.h"

#include <map>
#include <mutex>

#include "framework/diagnostic.h"
#include "framework/extmodule.h"
#include "framework/modaldriver.h"

// The search for a dialog template among the registered resource modules,
// with each module's script parsed once (rcparser.cpp).

namespace {

struct CachedScript {
    const char* script = nullptr;
    std::size_t length = 0;
    std::shared_ptr<const QelResourceScript> parsed;  // null when the script is bad
};

std::mutex g_cacheMutex;
std::map<HINSTANCE, CachedScript>& Cache() {
    static auto* cache = new std::map<HINSTANCE, CachedScript>();
    return *cache;
}

}  // namespace

std::shared_ptr<const CDialogTemplate> AfxFindDialogTemplate(int id) {
    for (HINSTANCE module : AfxGetResourceModules()) {
        if (!module || !module->script) continue;
        std::shared_ptr<const QelResourceScript> parsed;
        std::string report;
        {
            std::lock_guard<std::mutex> lock(g_cacheMutex);
            CachedScript& entry = Cache()[module];
            if (entry.script != module->script || entry.length != module->scriptLength) {
                entry.script = module->script;
                entry.length = module->scriptLength;
                auto script = std::make_shared<QelResourceScript>();
                QelRcError err;
                const std::span<const QelResourceFile> includes(module->includes, module->includeCount);
                if (qel::framework::ParseResourceScript(std::string_view(module->script, module->scriptLength), *script,
                                                        err, includes)) {
                    entry.parsed = std::move(script);
                } else {
                    entry.parsed = nullptr;
                    report = "qelfw: resource script of module " + std::string(module->name ? module->name : "?") +
                             ", line " + std::to_string(err.line) + ": " + err.message;
                }
            }
            parsed = entry.parsed;
        }
        if (!report.empty()) qel::framework::Diagnostic(report);
        if (!parsed) continue;
        if (const CDialogTemplate* dlg = parsed->FindDialog(id))
            return std::shared_ptr<const CDialogTemplate>(parsed, dlg);  // shares the script's lifetime
    }
    return nullptr;
}

void qel::framework::DropParsedResources(HINSTANCE module) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    Cache().erase(module);
}
