#include "apps/qelhost/module_interfaces.h"

CQelTpjFileIF::~CQelTpjFileIF() = default;
CQelDeviceIF::~CQelDeviceIF() = default;
