#pragma once
// From a name a host passes to Open to the module that serves it, through
// the OPOS service registry and HKEY_CLASSES_ROOT.
#include <string>
#include <string_view>

#include "opos/ServiceInterface.h"

namespace opos {

struct ServiceLocation {
    std::string deviceKey;   // the device key's name as stored, for OpenService
    std::string clsid;       // canonical form
    std::string modulePath;  // InprocServer32
};

// OPOS_SUCCESS, or the OpenResult of the step that failed:
// OPOS_OR_REGBADNAME (no device key and no LDN value of that name, or an LDN
// value naming a device key that is not there), OPOS_OR_REGPROGID (no
// ProgID, or no CLSID for it), OPOS_OR_CREATE (the class has no module).
// Names are compared without regard to case, as the registry compares them.
// Blocks on the registry store.
LONG locateService(DeviceClass deviceClass, std::string_view name, ServiceLocation* location);

// The first half of that: the device key's stored name and its ProgID.
// OPOS_SUCCESS, OPOS_OR_REGBADNAME, or OPOS_OR_REGPROGID for an empty or
// malformed ProgID.
LONG locateDevice(DeviceClass deviceClass, std::string_view name, std::string* deviceKey, std::string* progId);

}  // namespace opos
