// The module's interfaces as the host declares them: the same abstract
// classes, in the same order, as any host of the module must declare them.
// The host defines their destructors itself (module_interfaces.cpp) and never
// includes the module's own headers.
#pragma once

#include <string>

class Node;  // host/html/dom.h
class CWnd;  // framework

class CQelTpjFileIF {
public:
    virtual ~CQelTpjFileIF();
    virtual bool LoadFile(const std::u16string& path) = 0;
    virtual std::u16string GetFileText() = 0;
    virtual bool EditSettings(CWnd* parent) = 0;
    virtual int GetType() = 0;
    virtual void SetType(int type) = 0;
    virtual int GetVersionCode() = 0;
    virtual bool CreateFromHtml(const std::u16string& path, Node* hostDocument) = 0;
    virtual std::u16string GetHtml(bool resolve) = 0;
    virtual std::u16string GetEditorCommand() = 0;
    virtual CQelTpjFileIF* Clone() = 0;
};

class CQelDeviceIF {
public:
    virtual ~CQelDeviceIF();
    virtual bool Export(const std::u16string& path, Node* hostDocument) = 0;
    virtual CQelTpjFileIF* CreateProject() = 0;
};

// FSetFunctionAddress, exported by the module.
using FSetFunctionAddressProc = int (*)(void** table, int reserved, int kind, int revision);
// The factory the module stores in entry 538 of the table.
using CreateDeviceIFProc = CQelDeviceIF* (*)();
