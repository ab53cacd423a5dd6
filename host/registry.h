// The machine registry (HKEY_LOCAL_MACHINE), read from the registry export
// file named by QELHOST_REGISTRY; without one, the open commands of known
// file classes come from the desktop's default applications (desktop.h).
// Read only.
#pragma once

#include "host/api.h"

#include <string>

class QEL_HOST_API CRegistryBase {
public:
    virtual ~CRegistryBase();
    // The value `name` of the key ("" for the default value), or `defaultText`
    // when the file, the key or the value is missing or the file is malformed.
    std::u16string GetValueString(const std::u16string& name, const std::u16string& defaultText, int reserved);

protected:
    explicit CRegistryBase(std::u16string keyPath);
    std::u16string m_keyPath;  // full path from the root, e.g. "HKEY_LOCAL_MACHINE\\SOFTWARE\\..."
};

class QEL_HOST_API CHKLMRegistryBase : public CRegistryBase {
public:
    // `key` is relative to HKEY_LOCAL_MACHINE ("SOFTWARE\\Classes\\...").
    CHKLMRegistryBase(const std::u16string& key, int flags);
};

namespace qel::host {

// For a program that runs one export, before it starts any thread (a
// window toolkit's): when no registry file is named, asks the desktop now,
// in a child process, for the open commands the registry will answer from
// it (PrefetchDesktopOpenCommands, desktop.h). Nothing when a file is named.
QEL_HOST_API void PrefetchDesktopAnswers() noexcept;

}  // namespace qel::host
