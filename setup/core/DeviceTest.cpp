#include "setup/core/DeviceTest.h"

#include "MessageTexts.h"
#include "Text.h"
#include "setup/core/DeviceCatalogue.h"

namespace setup {

namespace {

// Long enough for a printer that is busy finishing a job; a port held by
// another application fails at once.
constexpr LONG kClaimTimeoutMs = 3000;
constexpr LONG kInteractiveHealthCheck = 3;

Outcome failedStep(const char* pattern, LONG code) {
    return Outcome::refused(fillIn(pattern, {std::to_string(code)}), MessageIcon::Error);
}

}  // namespace

Outcome runDeviceTest(DeviceTestHost& host, const std::string& deviceKeyName, const std::string& logicalName) {
    const bool drawer = isDrawerKeyName(deviceKeyName);
    const DeviceClass deviceClass = drawer ? DeviceClass::CashDrawer : DeviceClass::PosPrinter;
    OposControl* control = host.control(deviceClass);
    if (control == nullptr) {
        return Outcome::refused(fillIn(text::NoControlObject, {deviceClassName(deviceClass)}), MessageIcon::Error);
    }
    if (control->open(logicalName) != 0) {
        return failedStep(drawer ? text::DrawerOpenError : text::PrinterOpenError, control->openResult());
    }
    // A drawer is driven through its printer's connection and is never
    // claimed here.
    if (!drawer) {
        if (const LONG claimed = control->claimDevice(kClaimTimeoutMs); claimed != 0) {
            control->close();
            return failedStep(text::ClaimError, claimed);
        }
    }
    control->setDeviceEnabled(true);
    if (const LONG enabled = control->resultCode(); enabled != 0) {
        control->releaseDevice();
        control->close();
        return failedStep(text::EnableError, enabled);
    }
    control->checkHealth(kInteractiveHealthCheck);
    control->setDeviceEnabled(false);
    control->releaseDevice();
    control->close();
    return Outcome::done();
}

}  // namespace setup
