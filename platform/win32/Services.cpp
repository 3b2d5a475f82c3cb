#include "platform/services.h"

#include <windows.h>

namespace platform {

namespace {

SC_HANDLE native(ScHandle handle) {
    return reinterpret_cast<SC_HANDLE>(handle);
}

ScHandle suite(SC_HANDLE handle) {
    return reinterpret_cast<ScHandle>(handle);
}

LONG lastError() {
    return static_cast<LONG>(::GetLastError());
}

}  // namespace

bool hasServiceControlManager() {
    return true;
}

std::string systemDirectory() {
    char folder[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryA(folder, sizeof folder);
    return length == 0 || length > MAX_PATH ? std::string() : std::string(folder, length);
}

LONG openSCManager(DWORD access, ScHandle* manager) {
    if (manager == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *manager = suite(::OpenSCManagerA(nullptr, nullptr, access));
    return *manager != nullptr ? ERROR_SUCCESS : lastError();
}

LONG openService(ScHandle manager, const char* name, DWORD access, ScHandle* service) {
    if (service == nullptr || name == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *service = manager == nullptr ? nullptr : suite(::OpenServiceA(native(manager), name, access));
    return manager == nullptr ? ERROR_INVALID_HANDLE : *service != nullptr ? ERROR_SUCCESS : lastError();
}

LONG queryServiceStatus(ScHandle service, DWORD* currentState) {
    if (currentState == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    SERVICE_STATUS status{};
    if (service == nullptr || !::QueryServiceStatus(native(service), &status)) {
        return service == nullptr ? ERROR_INVALID_HANDLE : lastError();
    }
    *currentState = status.dwCurrentState;
    return ERROR_SUCCESS;
}

LONG stopService(ScHandle service) {
    SERVICE_STATUS status{};
    if (service == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    return ::ControlService(native(service), SERVICE_CONTROL_STOP, &status) ? ERROR_SUCCESS : lastError();
}

LONG deleteService(ScHandle service) {
    if (service == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    return ::DeleteService(native(service)) ? ERROR_SUCCESS : lastError();
}

LONG createService(ScHandle manager, const ServiceDefinition& definition, DWORD access, ScHandle* service) {
    if (service == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *service = nullptr;
    if (manager == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const char* group = definition.loadOrderGroup.empty() ? nullptr : definition.loadOrderGroup.c_str();
    *service = suite(::CreateServiceA(native(manager), definition.name.c_str(), definition.displayName.c_str(), access,
                                      definition.serviceType, definition.startType, definition.errorControl,
                                      definition.imagePath.c_str(), group, nullptr, nullptr, nullptr, nullptr));
    return *service != nullptr ? ERROR_SUCCESS : lastError();
}

LONG startService(ScHandle service) {
    if (service == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    return ::StartServiceA(native(service), 0, nullptr) ? ERROR_SUCCESS : lastError();
}

LONG closeServiceHandle(ScHandle handle) {
    if (handle == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    return ::CloseServiceHandle(native(handle)) ? ERROR_SUCCESS : lastError();
}

}  // namespace platform
