// The host's DOM: a tree built from an HTML5 parse (gumbo) that the module
// walks, whose attributes it reads and sets, and whose markup it asks back.
//
// getHTMLText gives the author's page back: an unchanged document gives its
// source text exactly (a lone surrogate in a wide source comes back as
// U+FFFD); setAttribute changes only that attribute's value in the text.
// Wide strings are UTF-16. Nodes are owned by their document; a clone made
// by cloneNode is owned by the caller and released through the original
// document's deleteNodes. The tree holds the elements only (no text or
// comment nodes), and not the content of <template> elements.
//
// Elements that the parser made up (an implied <html>, <head>, <body> or
// <tbody>, a formatting element it reopened) have no start tag in the text:
// their attributes can be read and set in the tree, but an attribute added
// to them does not show in getHTMLText.
#pragma once

#include "host/api.h"

#include <memory>
#include <string>
#include <vector>

class Element;
class NodeList;

class QEL_HOST_API Node {
public:
    enum NodeType { ELEMENT_NODE = 1, TEXT_NODE = 3, COMMENT_NODE = 8, DOCUMENT_NODE = 9 };
    virtual ~Node();
    // 1 for an element, 3 text, 8 comment, 9 document.
    virtual int getNodeType() const = 0;
    // A copy of this node (and with `deep` its whole subtree), owned by the caller.
    virtual Node* cloneNode(bool deep) const = 0;
};

class QEL_HOST_API Element : public Node {
public:
    int getNodeType() const override { return ELEMENT_NODE; }
    // The element's tag name in lower case ("img").
    virtual std::u16string getTagName() const = 0;
    // The value of the attribute (name compared ignoring ASCII case); empty when absent.
    virtual std::u16string getAttribute(const std::u16string& name) const = 0;
    // Replaces the attribute's value, or adds the attribute when absent.
    // The value is plain text; getHTMLText writes it in the attribute's own
    // quoting when that can hold it (else in double quotes), escaping '&'
    // where it could start a reference and '"' inside double quotes. Setting
    // the value an attribute already has leaves its text as written. A new
    // attribute goes right after the tag name, in lower case; a name that a
    // start tag cannot hold (empty, blanks, quotes, '/', '<', '>', '=') is
    // refused and nothing changes.
    virtual void setAttribute(const std::u16string& name, const std::u16string& value) = 0;
};

// A list of elements of one tag in document order, as a value.
class QEL_HOST_API NodeList {
public:
    NodeList() = default;
    explicit NodeList(std::vector<Node*> nodes) : m_nodes(std::move(nodes)) {}
    unsigned length() const noexcept { return static_cast<unsigned>(m_nodes.size()); }
    // The node at `index`, or null past the end.
    Node* item(unsigned index) const noexcept { return index < m_nodes.size() ? m_nodes[index] : nullptr; }

private:
    std::vector<Node*> m_nodes;
};

class QEL_HOST_API DocumentFragment : public Node {
public:
    // Every element of the tag (compared ignoring ASCII case) in document order.
    virtual NodeList getElementsByTagName(const std::u16string& tag) const = 0;
};

class QEL_HOST_API Document : public DocumentFragment {
public:
    int getNodeType() const override { return DOCUMENT_NODE; }
    // The body element, or null: null for a frameset page and for a page
    // without any <body> tag, whose body the parser made up (nothing in the
    // text could show an attribute of it). Both arguments are the host's and
    // are not used.
    virtual Element* getBODYElement(Element* from, bool flag) const = 0;
    // The whole markup, with every setAttribute change applied.
    virtual std::u16string getHTMLText() const = 0;
    // Releases a node made by cloneNode on this document (or its elements).
    // Null, this document and elements of a document's tree are ignored.
    // cloneNode(false) on a document gives an empty document.
    virtual void deleteNodes(Node* copy) = 0;

    // The encoding the page's bytes were read in, as the loader names it
    // ("UTF-8", "CP932", "EUC-JP", "UTF-16LE", ...; the DOM's inputEncoding);
    // empty for a document parsed from wide text. A deep copy keeps it.
    const std::string& getInputEncoding() const { return m_inputEncoding; }
    void setInputEncoding(const std::string& encoding) { m_inputEncoding = encoding; }

private:
    std::string m_inputEncoding;
};
