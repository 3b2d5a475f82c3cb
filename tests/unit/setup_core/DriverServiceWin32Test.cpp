// The driver-service step against the system's service control manager.
// The driver file itself is never there in a test prefix, so a service that
// was created cannot start: the step must say so instead of going on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "schema/RegKey.h"
#include "setup/core/DriverService.h"

namespace setuptest {
namespace {

using setup::DWORD;
using setup::kDriverServiceName;

// Where the service control manager keeps a service's definition.
const std::string kServiceKey = std::string("SYSTEM\\CurrentControlSet\\Services\\") + kDriverServiceName;

bool serviceExists() {
    platform::ScHandle manager = nullptr;
    platform::ScHandle service = nullptr;
    if (platform::openSCManager(platform::SC_MANAGER_CONNECT, &manager) != platform::ERROR_SUCCESS) {
        return false;
    }
    const bool exists = platform::openService(manager, kDriverServiceName, platform::SERVICE_QUERY_STATUS,
                                              &service) == platform::ERROR_SUCCESS;
    if (exists) {
        platform::closeServiceHandle(service);
    }
    platform::closeServiceHandle(manager);
    return exists;
}

void removeService() {
    platform::ScHandle manager = nullptr;
    platform::ScHandle service = nullptr;
    ASSERT_EQ(platform::openSCManager(platform::SC_MANAGER_ALL_ACCESS, &manager), platform::ERROR_SUCCESS);
    if (platform::openService(manager, kDriverServiceName, platform::SERVICE_ALL_ACCESS, &service) ==
        platform::ERROR_SUCCESS) {
        EXPECT_EQ(platform::deleteService(service), platform::ERROR_SUCCESS);
        platform::closeServiceHandle(service);
    }
    platform::closeServiceHandle(manager);
}

class DriverServiceOnThisSystem : public ::testing::Test {
protected:
    void SetUp() override { removeService(); }
    void TearDown() override { removeService(); }

    setup::Outcome prepare(const std::string& commandLine) {
        return setup::prepareDriverService(m_services, commandLine, [this](DWORD ms) { pauses.push_back(ms); });
    }

    std::vector<DWORD> pauses;

private:
    setup::PlatformServiceControl m_services;
};

TEST_F(DriverServiceOnThisSystem, StartWithoutTheServiceNeverCreatesIt) {
    ASSERT_TRUE(platform::hasServiceControlManager());
    for (const char* commandLine : {"", "480317 ", "4803170"}) {
        const setup::Outcome outcome = prepare(commandLine);
        EXPECT_FALSE(outcome.success) << commandLine;
        EXPECT_EQ(outcome.message.text, "Start Service failed!");
        EXPECT_FALSE(serviceExists()) << commandLine;
    }
}

TEST_F(DriverServiceOnThisSystem, InstallationRegistersTheDriverAndReportsThatItCannotStart) {
    for (int run = 0; run < 2; ++run) {  // the second run replaces the first run's service
        const setup::Outcome outcome = prepare("480317");
        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(outcome.message.text, "Start Service failed!");
        EXPECT_TRUE(pauses.empty()) << "the installation itself succeeded";
        ASSERT_TRUE(serviceExists());

        schema::RegKey key;
        ASSERT_EQ(key.open(platform::HKLM, kServiceKey, platform::KEY_READ), platform::ERROR_SUCCESS);
        DWORD type = 0;
        DWORD start = 0;
        DWORD errorControl = 0;
        std::string displayName;
        std::string group;
        std::string image;
        EXPECT_EQ(key.readDword("Type", &type), platform::ERROR_SUCCESS);
        EXPECT_EQ(key.readDword("Start", &start), platform::ERROR_SUCCESS);
        EXPECT_EQ(key.readDword("ErrorControl", &errorControl), platform::ERROR_SUCCESS);
        EXPECT_EQ(key.readString("DisplayName", 256, &displayName), platform::ERROR_SUCCESS);
        EXPECT_EQ(key.readString("Group", 256, &group), platform::ERROR_SUCCESS);
        EXPECT_EQ(key.readString("ImagePath", 1024, &image), platform::ERROR_SUCCESS);
        EXPECT_EQ(type, platform::SERVICE_KERNEL_DRIVER);
        EXPECT_EQ(start, platform::SERVICE_AUTO_START);
        EXPECT_EQ(errorControl, platform::SERVICE_ERROR_NORMAL);
        EXPECT_EQ(displayName, "DriverLINX Port I/O Driver");
        EXPECT_EQ(group, "SST miniport drivers");
        EXPECT_EQ(image, platform::systemDirectory() + "\\DRIVERS\\dlportio.sys");
    }
}

}  // namespace
}  // namespace setuptest
