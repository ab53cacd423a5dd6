// The device: stateless, so any number may exist and each call stands alone.
#pragma once

#include "plugin/deviceif.h"

class CQelDeviceIFImpl : public CQelDeviceIF {
public:
    ~CQelDeviceIFImpl() override;
    bool Export(const std::u16string& path, Node* hostDocument) override;
    CQelTpjFileIF* CreateProject() override;
};

// Allocates a new device (null when the allocation yields nothing); the host
// owns it and deletes it through the virtual destructor.
CQelDeviceIF* CreateDeviceIF();

// Entry index of the factory in the host's table (byte offset 2152 with the
// original 4-byte entries).
inline constexpr int kCreateDeviceEntryIndex = 538;

// The checks of FSetFunctionAddress, tested in this order: 1 the interface
// kind is not 1, 2 the table is null, 3 the revision is 82 or less; 0 after
// the factory was stored in entry 538. Nothing is written on a non-zero result.
int SetFunctionAddress(void** table, int reserved, int kind, int revision);
