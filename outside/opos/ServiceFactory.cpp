#include "ServiceFactory.h"

#include <map>
#include <mutex>

#include "ServiceResolver.h"
#include "common/OposConstants.h"
#include "platform/module.h"

namespace opos {

namespace {

// A service object module stays loaded for the rest of the process, as COM
// keeps an in-process server until the application asks to free unused
// libraries: a service object thread that outlived a CloseService which
// timed out would crash in an unloaded module.
platform::HModule loadServiceModule(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, platform::HModule> loaded;
    std::lock_guard lock(mutex);
    if (const auto found = loaded.find(path); found != loaded.end()) {
        return found->second;
    }
    platform::HModule module = platform::loadLibrary(path);
    if (module != nullptr) {
        loaded.emplace(path, module);
    }
    return module;
}

}  // namespace

LONG createFromServiceModule(DeviceClass deviceClass, std::string_view name, std::string* deviceKey,
                             platform::IDispatch** service) {
    *service = nullptr;
    ServiceLocation location;
    const LONG located = locateService(deviceClass, name, &location);
    if (located != common::OPOS_SUCCESS) {
        return located;
    }
    platform::HModule module = loadServiceModule(location.modulePath);
    auto getObject = platform::getProcAddressAs<platform::DllGetObjectFunction>(module, platform::kDllGetObjectExport);
    if (getObject == nullptr || platform::failed(getObject(location.clsid.c_str(), service)) || *service == nullptr) {
        *service = nullptr;
        return common::OPOS_OR_CREATE;
    }
    *deviceKey = std::move(location.deviceKey);
    return common::OPOS_SUCCESS;
}

}  // namespace opos
