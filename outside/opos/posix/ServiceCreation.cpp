#include "ServiceFactory.h"

namespace opos {

LONG createServiceObject(DeviceClass deviceClass, std::string_view name, std::string* deviceKey,
                         platform::IDispatch** service, ServiceSource* source) {
    *source = ServiceSource::ServiceModule;
    return createFromServiceModule(deviceClass, name, deviceKey, service);
}

}  // namespace opos
