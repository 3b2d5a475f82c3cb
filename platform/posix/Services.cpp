// No service control manager exists here: the parallel port is reached
// through the kernel's own driver, so there is no driver service to register.
#include "platform/services.h"

namespace platform {

bool hasServiceControlManager() { return false; }

std::string systemDirectory() { return {}; }

LONG openSCManager(DWORD, ScHandle* manager) {
    if (manager != nullptr) {
        *manager = nullptr;
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG openService(ScHandle, const char*, DWORD, ScHandle* service) {
    if (service != nullptr) {
        *service = nullptr;
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG queryServiceStatus(ScHandle, DWORD*) { return ERROR_CALL_NOT_IMPLEMENTED; }

LONG stopService(ScHandle) { return ERROR_CALL_NOT_IMPLEMENTED; }

LONG deleteService(ScHandle) { return ERROR_CALL_NOT_IMPLEMENTED; }

LONG createService(ScHandle, const ServiceDefinition&, DWORD, ScHandle* service) {
    if (service != nullptr) {
        *service = nullptr;
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG startService(ScHandle) { return ERROR_CALL_NOT_IMPLEMENTED; }

LONG closeServiceHandle(ScHandle) { return ERROR_CALL_NOT_IMPLEMENTED; }

}  // namespace platform
