// The device interface that the host obtains from the factory in its entry
// table. Binary contract: a host declares this class exactly so; the order of
// the virtual operations and their types must not change.
#pragma once

#include <string>

class Node;
class CQelTpjFileIF;

class CQelDeviceIF {
public:
    virtual ~CQelDeviceIF();
    // Turns one page or ToruCa file into ToruCa output (plugin/export.cpp).
    virtual bool Export(const std::u16string& path, Node* hostDocument) = 0;
    // A new, empty project record of type 1; the caller owns it.
    virtual CQelTpjFileIF* CreateProject() = 0;
};

// The factory that FSetFunctionAddress places in the host's entry table.
using CreateDeviceIFProc = CQelDeviceIF* (*)();
