#pragma once
// "CheckHealth Interactive": a configured device exercised the way a
// point-of-sale application would, through the OPOS control object of its
// class, ending in the service object's interactive health check.
#include <string>

#include "platform/types.h"
#include "setup/core/SchemaTerms.h"
#include "setup/core/Outcome.h"

namespace setup {

using platform::LONG;

// One OPOS control object as the test drives it. Methods return OPOS result
// codes (0 success); openResult and resultCode read the properties of the
// same names.
class OposControl {
public:
    virtual ~OposControl() = default;
    virtual LONG open(const std::string& logicalName) = 0;
    virtual LONG openResult() = 0;
    virtual LONG claimDevice(LONG timeoutMs) = 0;
    virtual void setDeviceEnabled(bool enabled) = 0;
    virtual LONG resultCode() = 0;
    virtual LONG checkHealth(LONG level) = 0;
    virtual LONG releaseDevice() = 0;
    virtual LONG close() = 0;
};

// Holds the POSPrinter and CashDrawer control objects for the life of the
// window. Null when that control object is not installed.
class DeviceTestHost {
public:
    virtual ~DeviceTestHost() = default;
    virtual OposControl* control(DeviceClass deviceClass) = 0;
};

// A key name ending in "Drawer" is tested as a cash drawer, any other as a
// printer. Success means the health check ran; what it showed is the
// service object's business. A failed step is reported with its code (error
// icon) after the device was released and closed as far as it got.
Outcome runDeviceTest(DeviceTestHost& host, const std::string& deviceKeyName, const std::string& logicalName);

}  // namespace setup
