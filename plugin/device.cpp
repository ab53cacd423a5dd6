#include "plugin/device.h"

#include <new>

#include "plugin/tpjfile_impl.h"

CQelDeviceIF::~CQelDeviceIF() = default;
CQelDeviceIFImpl::~CQelDeviceIFImpl() = default;

CQelTpjFileIF* CQelDeviceIFImpl::CreateProject() {
    // A constructor that raises frees the allocation before the exception leaves.
    return new (std::nothrow) CQelTpjFileIFImpl(TYPE_PROJECT);
}

CQelDeviceIF* CreateDeviceIF() { return new (std::nothrow) CQelDeviceIFImpl(); }

int SetFunctionAddress(void** table, int /*reserved*/, int kind, int revision) {
    if (kind != 1) return 1;
    if (table == nullptr) return 2;
    if (revision <= 82) return 3;
    table[kCreateDeviceEntryIndex] = reinterpret_cast<void*>(&CreateDeviceIF);
    return 0;
}
