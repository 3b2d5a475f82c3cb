#pragma once
// Creating the service object a host names in Open: through COM on
// Windows, as a standard control object does, and by loading the module
// the suite's registry names elsewhere.
#include <string>
#include <string_view>

#include "platform/com.h"
#include "opos/ControlObject.h"
#include "opos/ServiceInterface.h"

namespace opos {

// OPOS_SUCCESS with *service holding one reference for the caller and
// *deviceKey the device key's name as stored (for OpenService); else the
// OpenResult of the step that failed (as locateService, and
// OPOS_OR_CREATE when the object cannot be made). *source tells which way
// the object was made. Blocks while the module loads.
LONG createServiceObject(DeviceClass deviceClass, std::string_view name, std::string* deviceKey,
                         platform::IDispatch** service, ServiceSource* source);

// The suite's own way: the module that HKEY_CLASSES_ROOT of the suite's
// registry names for the device's ProgID, loaded by path (and kept loaded)
// and asked through its CvDllGetObject export.
LONG createFromServiceModule(DeviceClass deviceClass, std::string_view name, std::string* deviceKey,
                             platform::IDispatch** service);

}  // namespace opos
