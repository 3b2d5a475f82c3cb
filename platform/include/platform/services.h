#pragma once
// The Windows service control manager (OpenSCManager, OpenService,
// QueryServiceStatus, ControlService, DeleteService, CreateService,
// StartService, CloseServiceHandle) and GetSystemDirectory, as far as the
// setup tool needs them to register and start a kernel driver.
//
// Only systems of the NT family have a service control manager; on the
// others the callers skip every service step. hasServiceControlManager()
// tells which case applies. The POSIX backend has none: it answers false,
// and every call below fails with ERROR_CALL_NOT_IMPLEMENTED without doing
// anything.
//
// Windows behaviour the callers rely on:
// - A handle from openSCManager, openService or createService stays valid
//   until closeServiceHandle; every other call on a null or closed handle
//   is ERROR_INVALID_HANDLE.
// - openService of a name that is not installed: ERROR_SERVICE_DOES_NOT_EXIST.
// - deleteService only marks the service for deletion; it goes once every
//   handle to it is closed, and until then createService of the same name
//   fails. Callers close their handle right after deleting.
// - Every call may block while the service control manager answers (a stop
//   request waits for nothing: it returns once the control was sent).
// Thread-safe; handles may be used from any thread.
#include <string>

#include "platform/types.h"

namespace platform {

struct ServiceObject;
using ScHandle = ServiceObject*;

// Results of the service calls that types.h does not list.
constexpr LONG ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr LONG ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr LONG ERROR_SERVICE_EXISTS = 1073;

// Access rights.
constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

// Service definition fields.
constexpr DWORD SERVICE_KERNEL_DRIVER = 0x1;
constexpr DWORD SERVICE_AUTO_START = 0x2;
constexpr DWORD SERVICE_ERROR_NORMAL = 0x1;

// Current states (SERVICE_STATUS.dwCurrentState).
constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

// The arguments of CreateService that the suite sets. The service has no
// tag, no dependencies, and runs under the system account (no password).
struct ServiceDefinition {
    std::string name;
    std::string displayName;
    DWORD serviceType = SERVICE_KERNEL_DRIVER;
    DWORD startType = SERVICE_AUTO_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::string imagePath;
    std::string loadOrderGroup;
};

// True on systems that have a service control manager (the NT family).
bool hasServiceControlManager();

// GetSystemDirectory: the Windows system folder, without a trailing
// separator ("C:\Windows\system32"). Empty where there is none.
std::string systemDirectory();

// *manager is null after any failure (ERROR_ACCESS_DENIED without the
// rights asked for).
LONG openSCManager(DWORD access, ScHandle* manager);

// *service is null after any failure (ERROR_SERVICE_DOES_NOT_EXIST,
// ERROR_ACCESS_DENIED).
LONG openService(ScHandle manager, const char* name, DWORD access, ScHandle* service);

// The service's current state (SERVICE_STOPPED ... SERVICE_PAUSED).
LONG queryServiceStatus(ScHandle service, DWORD* currentState);

// Sends SERVICE_CONTROL_STOP. Fails when the service is not running or
// cannot accept the control now.
LONG stopService(ScHandle service);

// Marks the service for deletion (see above).
LONG deleteService(ScHandle service);

// *service is null after any failure (ERROR_SERVICE_EXISTS when a service
// of that name is installed or still marked for deletion).
LONG createService(ScHandle manager, const ServiceDefinition& definition, DWORD access, ScHandle* service);

// Starts the service without arguments; returns once the start was
// requested, not when the service runs.
LONG startService(ScHandle service);

LONG closeServiceHandle(ScHandle handle);

}  // namespace platform
