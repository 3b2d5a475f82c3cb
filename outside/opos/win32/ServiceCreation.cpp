#include "ServiceFactory.h"

#include "ServiceResolver.h"
#include "common/OposConstants.h"
#include "platform/comsystem.h"

namespace opos {

namespace {

// CLSIDFromProgID's answers for a ProgID COM does not know.
constexpr platform::HRESULT kClassNotRegistered = platform::makeHresult(0x80040154u);
constexpr platform::HRESULT kInvalidClassString = platform::makeHresult(0x800401F3u);

}  // namespace

// As a standard control object: the ProgID from the device's entry, the
// object from COM. A ProgID that COM does not know is looked for in the
// suite's own registry, where a module registered only with it (cvregsvr,
// a test's private registry) is found.
LONG createServiceObject(DeviceClass deviceClass, std::string_view name, std::string* deviceKey,
                         platform::IDispatch** service, ServiceSource* source) {
    *service = nullptr;
    std::string progId;
    const LONG located = locateDevice(deviceClass, name, deviceKey, &progId);
    if (located != common::OPOS_SUCCESS) {
        return located;
    }
    // The host's thread joins COM for the rest of its life, as an
    // application that hosts control objects has done before it opens one;
    // a thread already in an apartment keeps it.
    platform::coInitialize();
    const platform::HRESULT status = platform::createObjectByProgId(progId, service);
    if (status == kClassNotRegistered || status == kInvalidClassString) {
        *source = ServiceSource::ServiceModule;
        return createFromServiceModule(deviceClass, name, deviceKey, service);
    }
    *source = ServiceSource::Com;
    return platform::succeeded(status) ? common::OPOS_SUCCESS : common::OPOS_OR_CREATE;
}

}  // namespace opos
