#pragma once
// The parallel port driver service, set up before the main window opens.
// Direct access to the parallel port registers on Windows needs a kernel
// driver registered as a service; the installer starts the tool once with
// the driver-installation token to register it, and every start checks
// that the service runs. Systems without a service control manager skip
// both steps.
#include <functional>
#include <string>

#include "platform/services.h"
#include "setup/core/Outcome.h"

namespace setup {

using platform::DWORD;
using platform::LONG;

// The whole command line of the driver-installation run, nothing else.
inline constexpr const char* kDriverInstallToken = "480317";

inline constexpr const char* kDriverServiceName = "DLPortIO";

// The service control manager as this step uses it; the platform's, or a
// stand-in in tests.
class ServiceControl {
public:
    virtual ~ServiceControl() = default;
    virtual bool present() = 0;
    virtual std::string systemDirectory() = 0;
    virtual LONG openManager(DWORD access, platform::ScHandle* manager) = 0;
    virtual LONG openService(platform::ScHandle manager, const char* name, DWORD access,
                             platform::ScHandle* service) = 0;
    virtual LONG queryStatus(platform::ScHandle service, DWORD* currentState) = 0;
    virtual LONG stop(platform::ScHandle service) = 0;
    virtual LONG remove(platform::ScHandle service) = 0;
    virtual LONG create(platform::ScHandle manager, const platform::ServiceDefinition& definition, DWORD access,
                        platform::ScHandle* service) = 0;
    virtual LONG start(platform::ScHandle service) = 0;
    virtual LONG close(platform::ScHandle handle) = 0;
};

// The platform's service control manager.
class PlatformServiceControl : public ServiceControl {
public:
    bool present() override;
    std::string systemDirectory() override;
    LONG openManager(DWORD access, platform::ScHandle* manager) override;
    LONG openService(platform::ScHandle manager, const char* name, DWORD access,
                     platform::ScHandle* service) override;
    LONG queryStatus(platform::ScHandle service, DWORD* currentState) override;
    LONG stop(platform::ScHandle service) override;
    LONG remove(platform::ScHandle service) override;
    LONG create(platform::ScHandle manager, const platform::ServiceDefinition& definition, DWORD access,
                platform::ScHandle* service) override;
    LONG start(platform::ScHandle service) override;
    LONG close(platform::ScHandle handle) override;
};

// The service as it is registered: a kernel driver started automatically,
// its image in the system's DRIVERS folder.
platform::ServiceDefinition driverServiceDefinition(const std::string& systemDirectory);

// Runs the start-up step for `commandLine` (everything after the program
// name). Success: go on to the main window. Refused with the installation
// or the "Start Service failed!" message (error icon): end the program.
// `pause` waits before the second installation attempt.
Outcome prepareDriverService(ServiceControl& services, const std::string& commandLine,
                             const std::function<void(DWORD milliseconds)>& pause);

}  // namespace setup
