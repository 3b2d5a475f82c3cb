#include "setup/core/DriverService.h"

#include "MessageTexts.h"

namespace setup {

namespace {

using platform::ScHandle;

// The service control manager may still be settling after a fresh
// installation; one short pause is enough for a second attempt.
constexpr DWORD kRetryPauseMs = 100;

// Closes a service handle when the step is done with it.
class ServiceHandle {
public:
    explicit ServiceHandle(ServiceControl& services) : m_services(services) {}
    ~ServiceHandle() { reset(); }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;

    ScHandle* out() { return &m_handle; }
    ScHandle get() const { return m_handle; }
    void reset() {
        if (m_handle != nullptr) {
            m_services.close(m_handle);
            m_handle = nullptr;
        }
    }

private:
    ServiceControl& m_services;
    ScHandle m_handle = nullptr;
};

bool installDriver(ServiceControl& services) {
    const platform::ServiceDefinition definition = driverServiceDefinition(services.systemDirectory());
    ServiceHandle manager(services);
    if (services.openManager(platform::SC_MANAGER_ALL_ACCESS, manager.out()) != platform::ERROR_SUCCESS) {
        // Without rights to the manager nothing can be installed, and the
        // start-up check reports what is missing.
        return true;
    }
    {
        ServiceHandle existing(services);
        if (services.openService(manager.get(), kDriverServiceName, platform::SERVICE_ALL_ACCESS, existing.out()) ==
            platform::ERROR_SUCCESS) {
            services.stop(existing.get());
            services.remove(existing.get());
        }
    }
    ServiceHandle created(services);
    return services.create(manager.get(), definition, platform::SERVICE_ALL_ACCESS, created.out()) ==
           platform::ERROR_SUCCESS;
}

bool serviceRuns(ServiceControl& services) {
    ServiceHandle manager(services);
    ServiceHandle service(services);
    DWORD state = 0;
    if (services.openManager(platform::SC_MANAGER_CONNECT, manager.out()) != platform::ERROR_SUCCESS ||
        services.openService(manager.get(), kDriverServiceName,
                             platform::SERVICE_QUERY_STATUS | platform::SERVICE_START,
                             service.out()) != platform::ERROR_SUCCESS ||
        services.queryStatus(service.get(), &state) != platform::ERROR_SUCCESS) {
        return false;
    }
    if (state == platform::SERVICE_STOPPED) {
        return services.start(service.get()) == platform::ERROR_SUCCESS;
    }
    return true;
}

}  // namespace

bool PlatformServiceControl::present() { return platform::hasServiceControlManager(); }
std::string PlatformServiceControl::systemDirectory() { return platform::systemDirectory(); }
LONG PlatformServiceControl::openManager(DWORD access, ScHandle* manager) {
    return platform::openSCManager(access, manager);
}
LONG PlatformServiceControl::openService(ScHandle manager, const char* name, DWORD access, ScHandle* service) {
    return platform::openService(manager, name, access, service);
}
LONG PlatformServiceControl::queryStatus(ScHandle service, DWORD* currentState) {
    return platform::queryServiceStatus(service, currentState);
}
LONG PlatformServiceControl::stop(ScHandle service) { return platform::stopService(service); }
LONG PlatformServiceControl::remove(ScHandle service) { return platform::deleteService(service); }
LONG PlatformServiceControl::create(ScHandle manager, const platform::ServiceDefinition& definition, DWORD access,
                                    ScHandle* service) {
    return platform::createService(manager, definition, access, service);
}
LONG PlatformServiceControl::start(ScHandle service) { return platform::startService(service); }
LONG PlatformServiceControl::close(ScHandle handle) { return platform::closeServiceHandle(handle); }

platform::ServiceDefinition driverServiceDefinition(const std::string& systemDirectory) {
    platform::ServiceDefinition definition;
    definition.name = kDriverServiceName;
    definition.displayName = "DriverLINX Port I/O Driver";
    definition.serviceType = platform::SERVICE_KERNEL_DRIVER;
    definition.startType = platform::SERVICE_AUTO_START;
    definition.errorControl = platform::SERVICE_ERROR_NORMAL;
    definition.imagePath = systemDirectory + "\\DRIVERS" + "\\dlportio.sys";
    definition.loadOrderGroup = "SST miniport drivers";
    return definition;
}

Outcome prepareDriverService(ServiceControl& services, const std::string& commandLine,
                             const std::function<void(DWORD milliseconds)>& pause) {
    if (!services.present()) {
        return Outcome::done();
    }
    if (commandLine == kDriverInstallToken && !installDriver(services)) {
        pause(kRetryPauseMs);
        if (!installDriver(services)) {
            return Outcome::refused(text::DriverInstallFail, MessageIcon::Error);
        }
    }
    return serviceRuns(services) ? Outcome::done() : Outcome::refused(text::StartServiceFail, MessageIcon::Error);
}

}  // namespace setup
