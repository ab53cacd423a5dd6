// The host's site manager. A site is the web site project the user works
// in; this host has none, so findOutSite answers null.
#pragma once

#include "host/api.h"

#include <string>

// A site, reference-counted: whoever receives one from findOutSite releases
// it with Release when done.
class QEL_HOST_API SiteIF {
public:
    virtual ~SiteIF();
    virtual int AddRef() = 0;
    virtual int Release() = 0;                   // the count left; the site deletes itself at 0
    virtual std::u16string GetRootFolder() = 0;  // the site's local folder
};

class QEL_HOST_API OutSMgr {
public:
    // The site of the page being edited, with a reference for the caller;
    // null when there is none (always, in this host).
    static SiteIF* findOutSite();
};
