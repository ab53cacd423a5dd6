// The project interface that the host sees. Its virtual table is a binary
// contract: a host declares this class exactly so and calls through it, so
// the order of the operations, their parameter types and the absence of
// const must not change. Wide strings are UTF-16; a record handed across is
// destroyed by its receiver through the virtual destructor.
#pragma once

#include <string>

class Node;  // the host DOM's node class (host/html/dom.h)
class CWnd;  // the framework's window class (framework/wnd.h)

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
