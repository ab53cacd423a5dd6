// The host's DOM (built with the HTML loader). Pending: the classes are
// declared so that the module's interfaces can name them.
#pragma once

class Node {
public:
    virtual ~Node() = default;
};
class Element : public Node {};
