// Extension-module registration: how a plug-in module makes its resources
// (dialog templates) known to the framework while its code runs.
//
// A module's instance handle points at its resource block. The module's load
// routine calls AfxInitExtensionModule and then creates a CDynLinkLibrary,
// which the framework keeps in its list of resource modules and frees at
// AfxTermExtensionModule (or at process end). Lookups walk the list from the
// most recently registered module.
#pragma once

#include "framework/api.h"

#include <cstddef>
#include <string_view>
#include <vector>

// A file that a resource script may #include (its resource.h), by the name
// the script writes.
struct QelResourceFile {
    std::string_view name;
    std::string_view text;
};

// What a module carries as resources: its resource script, as the text of a
// Windows resource script (.rc) in UTF-8, and the headers the script includes.
struct QelResourceBlock {
    const char* name;          // the module's name, for messages
    const char* script;        // resource script text
    std::size_t scriptLength;  // bytes
    const QelResourceFile* includes = nullptr;
    std::size_t includeCount = 0;
};
using HINSTANCE = const QelResourceBlock*;

struct AFX_EXTENSION_MODULE {
    bool bInitialized = false;
    HINSTANCE hModule = nullptr;
    HINSTANCE hResource = nullptr;
};

// Fills the record for the module. False (the load is refused) when the
// handle is null or names no resource script.
QEL_FW_API bool AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HINSTANCE hModule);

// Unregisters the module's CDynLinkLibrary objects (all modules' when `all`).
QEL_FW_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, bool all = false);

class QEL_FW_API CDynLinkLibrary {
public:
    // Registers the module of `state` as a resource module; the framework owns
    // the object from here on.
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state, bool system = false);
    virtual ~CDynLinkLibrary();
    CDynLinkLibrary(const CDynLinkLibrary&) = delete;
    CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

    HINSTANCE m_hModule;
    HINSTANCE m_hResource;
    bool m_bSystem;
};

// The resource modules registered now, most recent first.
std::vector<HINSTANCE> AfxGetResourceModules();
