#include "framework/extmodule.h"

#include "framework/rcscript.h"

#include <algorithm>
#include <mutex>

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<CDynLinkLibrary*> libraries;  // in registration order
};

Registry& TheRegistry() {
    static Registry* registry = new Registry();  // outlives every module's unload
    return *registry;
}

}  // namespace

bool AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HINSTANCE hModule) {
    if (!hModule || !hModule->script) return false;
    state.hModule = hModule;
    state.hResource = hModule;
    state.bInitialized = true;
    return true;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, bool system)
    : m_hModule(state.hModule), m_hResource(state.hResource), m_bSystem(system) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.libraries.push_back(this);
}

CDynLinkLibrary::~CDynLinkLibrary() {
    {
        Registry& r = TheRegistry();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.libraries.erase(std::remove(r.libraries.begin(), r.libraries.end(), this), r.libraries.end());
    }
    // A module loaded later may reuse the address of this one's resources.
    qel::framework::DropParsedResources(m_hResource);
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, bool all) {
    std::vector<CDynLinkLibrary*> doomed;
    {
        Registry& r = TheRegistry();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (CDynLinkLibrary* lib : r.libraries)
            if (all || lib->m_hModule == state.hModule) doomed.push_back(lib);
    }
    for (CDynLinkLibrary* lib : doomed) delete lib;  // each removes itself
    state.bInitialized = false;
}

std::vector<HINSTANCE> AfxGetResourceModules() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::vector<HINSTANCE> out;
    for (auto it = r.libraries.rbegin(); it != r.libraries.rend(); ++it) out.push_back((*it)->m_hResource);
    return out;
}
