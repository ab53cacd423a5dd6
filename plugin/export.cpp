// Pending: the export command.
#include "plugin/device.h"

bool CQelDeviceIFImpl::Export(const std::u16string&, Node*) { return false; }
