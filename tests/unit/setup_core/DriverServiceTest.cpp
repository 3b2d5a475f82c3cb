#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "setup/core/DriverService.h"

namespace setuptest {
namespace {

using namespace setup;
using platform::ScHandle;

// A service control manager holding at most the one driver service, with
// failures to order. Every call is logged by name.
class FakeServices : public ServiceControl {
public:
    bool hasManager = true;
    bool managerRefusesFullAccess = false;
    bool installed = false;
    DWORD state = platform::SERVICE_RUNNING;
    int createFailures = 0;
    bool startFails = false;
    platform::ServiceDefinition created;
    std::vector<std::string> calls;

    bool present() override { return hasManager; }
    std::string systemDirectory() override { return "C:\\Windows\\system32"; }

    LONG openManager(DWORD access, ScHandle* manager) override {
        calls.push_back(access == platform::SC_MANAGER_ALL_ACCESS ? "openManager(all)" : "openManager");
        if (managerRefusesFullAccess && access == platform::SC_MANAGER_ALL_ACCESS) {
            *manager = nullptr;
            return platform::ERROR_ACCESS_DENIED;
        }
        *manager = newHandle();
        return platform::ERROR_SUCCESS;
    }
    LONG openService(ScHandle, const char* name, DWORD, ScHandle* service) override {
        calls.push_back(std::string("openService(") + name + ")");
        *service = installed && std::string(name) == kDriverServiceName ? newHandle() : nullptr;
        return *service != nullptr ? platform::ERROR_SUCCESS : platform::ERROR_SERVICE_DOES_NOT_EXIST;
    }
    LONG queryStatus(ScHandle, DWORD* currentState) override {
        calls.push_back("queryStatus");
        *currentState = state;
        return platform::ERROR_SUCCESS;
    }
    LONG stop(ScHandle) override {
        calls.push_back("stop");
        state = platform::SERVICE_STOPPED;
        return platform::ERROR_SUCCESS;
    }
    LONG remove(ScHandle) override {
        calls.push_back("remove");
        installed = false;
        return platform::ERROR_SUCCESS;
    }
    LONG create(ScHandle, const platform::ServiceDefinition& definition, DWORD, ScHandle* service) override {
        calls.push_back("create");
        if (createFailures > 0 || installed) {
            --createFailures;
            *service = nullptr;
            return platform::ERROR_SERVICE_EXISTS;
        }
        created = definition;
        installed = true;
        state = platform::SERVICE_STOPPED;
        *service = newHandle();
        return platform::ERROR_SUCCESS;
    }
    LONG start(ScHandle) override {
        calls.push_back("start");
        if (startFails) {
            return platform::ERROR_ACCESS_DENIED;
        }
        state = platform::SERVICE_RUNNING;
        return platform::ERROR_SUCCESS;
    }
    LONG close(ScHandle handle) override {
        m_open.erase(reinterpret_cast<std::uintptr_t>(handle));
        return platform::ERROR_SUCCESS;
    }

    std::size_t openHandles() const { return m_open.size(); }
    bool called(const std::string& name) const { return std::find(calls.begin(), calls.end(), name) != calls.end(); }

private:
    ScHandle newHandle() {
        m_open.insert(++m_last);
        return reinterpret_cast<ScHandle>(m_last);
    }

    std::set<std::uintptr_t> m_open;
    std::uintptr_t m_last = 0;
};

class DriverService : public ::testing::Test {
protected:
    Outcome prepare(const std::string& commandLine) {
        return prepareDriverService(services, commandLine, [this](DWORD ms) { pauses.push_back(ms); });
    }

    FakeServices services;
    std::vector<DWORD> pauses;
};

TEST_F(DriverService, InstallationRunReplacesAnExistingServiceAndStartsTheNewOne) {
    services.installed = true;
    const Outcome outcome = prepare("480317");
    ASSERT_TRUE(outcome.success) << outcome.message.text;
    EXPECT_EQ(services.calls,
              (std::vector<std::string>{"openManager(all)", "openService(DLPortIO)", "stop", "remove", "create",
                                        "openManager", "openService(DLPortIO)", "queryStatus", "start"}));
    EXPECT_EQ(services.openHandles(), 0u);

    const platform::ServiceDefinition& driver = services.created;
    EXPECT_EQ(driver.name, "DLPortIO");
    EXPECT_EQ(driver.displayName, "DriverLINX Port I/O Driver");
    EXPECT_EQ(driver.serviceType, platform::SERVICE_KERNEL_DRIVER);
    EXPECT_EQ(driver.startType, platform::SERVICE_AUTO_START);
    EXPECT_EQ(driver.errorControl, platform::SERVICE_ERROR_NORMAL);
    EXPECT_EQ(driver.imagePath, "C:\\Windows\\system32\\DRIVERS\\dlportio.sys");
    EXPECT_EQ(driver.loadOrderGroup, "SST miniport drivers");
}

TEST_F(DriverService, AnyOtherCommandLineOnlyChecksTheService) {
    services.installed = true;
    for (const char* commandLine : {"", "480317 ", "4803170", "/480317", "480317 480317"}) {
        services.calls.clear();
        EXPECT_TRUE(prepare(commandLine).success) << commandLine;
        EXPECT_EQ(services.calls, (std::vector<std::string>{"openManager", "openService(DLPortIO)", "queryStatus"}))
            << commandLine;
    }
}

TEST_F(DriverService, FailedInstallationIsRetriedOnceAfterAPause) {
    services.createFailures = 1;
    EXPECT_TRUE(prepare("480317").success);
    EXPECT_EQ(pauses, std::vector<DWORD>{100});

    FakeServices failing;
    failing.createFailures = 2;
    pauses.clear();
    const Outcome outcome =
        prepareDriverService(failing, "480317", [this](DWORD ms) { pauses.push_back(ms); });
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.message.icon, MessageIcon::Error);
    EXPECT_EQ(outcome.message.text,
              "An error occurred during the install parallel driver into the system.\nPlease install the CORVANE "
              "OPOS into the system over again!");
    EXPECT_EQ(pauses, std::vector<DWORD>{100});
    EXPECT_FALSE(failing.called("queryStatus"));
    EXPECT_EQ(failing.openHandles(), 0u);
}

TEST_F(DriverService, MissingOrUnstartableServiceEndsWithStartServiceFailed) {
    const Outcome missing = prepare("");
    EXPECT_FALSE(missing.success);
    EXPECT_EQ(missing.message.text, "Start Service failed!");
    EXPECT_EQ(missing.message.icon, MessageIcon::Error);
    EXPECT_FALSE(services.called("create"));

    services.installed = true;
    services.state = platform::SERVICE_STOPPED;
    services.startFails = true;
    EXPECT_EQ(prepare("").message.text, "Start Service failed!");

    services.startFails = false;
    EXPECT_TRUE(prepare("").success);
    EXPECT_EQ(services.state, platform::SERVICE_RUNNING);

    services.calls.clear();
    services.state = platform::SERVICE_START_PENDING;
    EXPECT_TRUE(prepare("").success);
    EXPECT_FALSE(services.called("start"));
    EXPECT_EQ(services.openHandles(), 0u);
}

TEST_F(DriverService, ManagerRefusingFullAccessCountsAsInstalled) {
    services.installed = true;
    services.managerRefusesFullAccess = true;
    EXPECT_TRUE(prepare("480317").success);
    EXPECT_FALSE(services.called("create"));
    EXPECT_TRUE(pauses.empty());
}

TEST_F(DriverService, SystemsWithoutAServiceManagerSkipBothSteps) {
    services.hasManager = false;
    EXPECT_TRUE(prepare("480317").success);
    EXPECT_TRUE(services.calls.empty());
}

}  // namespace
}  // namespace setuptest
