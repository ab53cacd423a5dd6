// The host's HTML loader: one object on the caller's stack per parse.
#pragma once

#include "host/api.h"

#include <memory>
#include <string>

class Document;
class Node;

class QEL_HOST_API CQelHtmlData {
public:
    // `kind` is "HTML" for every caller.
    explicit CQelHtmlData(const std::u16string& kind);
    virtual ~CQelHtmlData();
    CQelHtmlData(const CQelHtmlData&) = delete;
    CQelHtmlData& operator=(const CQelHtmlData&) = delete;

    // Reads and parses the file at `path`. The bytes are decoded by a
    // byte-order mark, else the zero bytes of UTF-16 without one, else the
    // charset the page declares (a meta element in the first 1024 bytes),
    // else strict UTF-8, else a Japanese encoding that uchardet names, else
    // EUC-JP when only it reads the bytes, else code page 932. Afterwards
    // m_pRootNode is the page's Document, or null when the file is missing,
    // unreadable, a folder or not a regular file (the result is then false).
    // An empty file is an empty page. A page that cannot be parsed (one that
    // nests too deeply, or meets the parse's limits: host/html/htmlisolation.h)
    // leaves m_pRootNode null, and the reason goes to the export's report.
    // getHTMLText gives the decoded text, without the byte-order mark, and
    // getInputEncoding the encoding it was read in.
    bool CreateNodeData(const std::u16string& path);
    // Parses `length` characters of wide text; `parent` must be null (a
    // parent, a negative length or a null text with a length leave no
    // Document and answer false). Every text is a page to an HTML parser.
    bool CreateNodeDataFromData(const char16_t* text, int length, Node* parent);
    // Frees the tree of the last parse; m_pRootNode becomes null. A new parse
    // and the destructor free the last tree too.
    void DestroyNodeData();

    // The Document of the last parse, owned by the loader; null when none.
    Node* m_pRootNode = nullptr;

private:
    bool Adopt(std::unique_ptr<Document> doc);
    std::unique_ptr<Document> m_root;
};
