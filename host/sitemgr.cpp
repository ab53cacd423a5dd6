#include "host/sitemgr.h"

SiteIF::~SiteIF() = default;

SiteIF* OutSMgr::findOutSite() { return nullptr; }
