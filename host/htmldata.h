// The host's HTML loader: one object on the caller's stack per parse.
#pragma once

#include <string>

class Node;

class CQelHtmlData {
public:
    // `kind` is "HTML" for every caller.
    explicit CQelHtmlData(const std::u16string& kind);
    virtual ~CQelHtmlData();
    CQelHtmlData(const CQelHtmlData&) = delete;
    CQelHtmlData& operator=(const CQelHtmlData&) = delete;

    // Reads and parses the file at `path`. The bytes are decoded by a
    // byte-order mark, else the charset the page declares, else strict UTF-8,
    // else a Japanese encoding that uchardet names, else code page 932.
    // Afterwards m_pRootNode is the page's Document, or null when the file is
    // missing, unreadable or a folder.
    bool CreateNodeData(const std::u16string& path);
    // Parses `length` characters of wide text; `parent` must be null.
    bool CreateNodeDataFromData(const char16_t* text, int length, Node* parent);
    // Frees the tree of the last parse; m_pRootNode becomes null.
    void DestroyNodeData();

    Node* m_pRootNode = nullptr;
};
