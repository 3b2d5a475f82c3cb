#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/com.h"
#include "platform/module.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "schema/DeviceEntry.h"
#include "schema/RegKey.h"
#include "setup/core/ControlObjectHost.h"
#include "setup/core/DeviceTest.h"
#include "LineHolder.h"
#include "support/ChildProcess.h"
#include "support/Host.h"
#include "support/PrinterUnderTest.h"
#include "support/SystemComRegistration.h"
#include "support/TempRegistry.h"

namespace devicetest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kPrinterKey = "RX-K93";
constexpr const char* kDrawerKey = "RX-K93Drawer";

void registerModule(const char* path) {
    platform::HModule module = platform::loadLibrary(path);
    ASSERT_NE(module, nullptr) << path;
    auto registerServer =
        platform::getProcAddressAs<platform::DllRegisterServerFunction>(module, platform::kDllRegisterServerExport);
    ASSERT_NE(registerServer, nullptr) << path;
    ASSERT_EQ(registerServer(path), platform::S_OK) << path;
}

class DeviceTestIntegration : public ::testing::Test {
protected:
    // No one answers the interactive health check's dialog here.
    void SetUp() override {
        platform::setDialogProvider(platform::headlessDialog);
        registerModule(RECEIPTSO_PATH);
        registerModule(DRAWERSO_PATH);
    }

    void TearDown() override { platform::setDialogProvider({}); }

    // The printer on a loopback address of its own.
    std::string networkPort() {
        std::string error;
        EXPECT_TRUE(m_printer->startNetwork(&error)) << error;
        return m_printer->address().empty() ? std::string() : m_printer->portSetting();
    }

    // The printer on serial port COM4; its device is `line()`.
    std::string serialPort() {
        std::string error;
        if (!m_printer->startSerial("COM4", &error)) {
            ADD_FAILURE() << error;
            return {};
        }
        schema::RegKey map;
        EXPECT_EQ(map.create(platform::HKLM, platform::kPortMapKeyPath), platform::ERROR_SUCCESS);
        EXPECT_EQ(map.writeString("COM4", m_printer->portDevice()), platform::ERROR_SUCCESS);
        return "COM4";
    }

    std::string line() const { return m_printer->portDevice(); }

    void addPrinter(const std::string& port) {
        schema::RegKey key;
        ASSERT_EQ(key.create(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, kPrinterKey)),
                  platform::ERROR_SUCCESS);
        schema::PrinterValues values;
        values.settings.port = port;
        values.settings.baudrate = 19200;
        values.logicalName = "till";
        ASSERT_EQ(schema::writePrinterValues(key, values), platform::ERROR_SUCCESS);
        addLogicalName(schema::kPosPrinterClass, "till", kPrinterKey);
    }

    void addDrawer(const std::string& port) {
        schema::PortSettings settings;
        settings.port = port;
        schema::RegKey key;
        ASSERT_EQ(key.create(platform::HKLM, schema::deviceKeyPath(schema::kCashDrawerClass, kDrawerKey)),
                  platform::ERROR_SUCCESS);
        ASSERT_EQ(schema::writeDrawerValues(key, schema::drawerValuesFor(kPrinterKey, settings, "cash",
                                                                       schema::OpenSignalLow, schema::DrawerPin2)),
                  platform::ERROR_SUCCESS);
        addLogicalName(schema::kCashDrawerClass, "cash", kDrawerKey);
    }

    // The control object finds the device through this value.
    static void addLogicalName(const char* className, const char* logicalName, const char* keyName) {
        schema::RegKey classKey;
        ASSERT_EQ(classKey.create(platform::HKLM, schema::classKeyPath(className)), platform::ERROR_SUCCESS);
        ASSERT_EQ(classKey.writeString(logicalName, keyName), platform::ERROR_SUCCESS);
    }

    testsupport::TempRegistry m_registry;
    // Registered with the system as well, so the device test's control
    // objects take COM where there is COM.
    testsupport::SystemComRegistration m_com{{RECEIPTSO_PATH, DRAWERSO_PATH}};
    std::unique_ptr<testsupport::PrinterUnderTest> m_printer = testsupport::makePrinterUnderTest("K93", m_registry.directory());
};

// The claim fails at once on a line another process has locked, and the test
// closes the device again: the same window tests it once the line is free.
TEST_F(DeviceTestIntegration, PrinterOnLineHeldByAnotherProcessEndsAtTheClaim) {
    if (!testsupport::runsOnLinux()) {
        GTEST_SKIP() << "Wine does not enforce a COM port's exclusive opening when the port is a "
                        "pseudo-terminal: a second CreateFile without sharing opens it too";
    }
    const std::string port = serialPort();
    ASSERT_FALSE(port.empty());
    addPrinter(port);
    testsupport::ChildProcess holder;
    ASSERT_TRUE(holder.start(PORT_HOLDER_PATH, {line()}));
    ASSERT_TRUE(waitUntilHeldElsewhere(line(), 5s));

    setup::ControlObjectHost host;
    const auto started = Clock::now();
    const setup::Outcome held = setup::runDeviceTest(host, kPrinterKey, "till");
    EXPECT_LT(Clock::now() - started, 3s);
    EXPECT_FALSE(held.success);
    EXPECT_EQ(held.message.text, "Error occurred in calling the ClaimeDevice method:\nClaim(3000) = 111");
    EXPECT_EQ(held.message.icon, setup::MessageIcon::Error);

    holder.openGate();
    ASSERT_TRUE(holder.finish(5s));
    EXPECT_EQ(holder.exitCode(), 0) << holder.output();
    const setup::Outcome freed = setup::runDeviceTest(host, kPrinterKey, "till");
    EXPECT_TRUE(freed.success) << freed.message.text;
    EXPECT_FALSE(freed.hasMessage()) << freed.message.text;
}

// The health check's own answer is not the test's business; the device is
// released and closed after it, so a second run from the same window works.
TEST_F(DeviceTestIntegration, NetworkPrinterReachesTheHealthCheck) {
    const std::string port = networkPort();
    ASSERT_FALSE(port.empty());
    addPrinter(port);
    setup::ControlObjectHost host;
    for (int run = 0; run < 2; ++run) {
        const setup::Outcome outcome = setup::runDeviceTest(host, kPrinterKey, "till");
        EXPECT_TRUE(outcome.success) << "run " << run << ": " << outcome.message.text;
        EXPECT_FALSE(outcome.hasMessage()) << "run " << run << ": " << outcome.message.text;
    }
}

// A drawer is enabled and checked without being claimed.
TEST_F(DeviceTestIntegration, DrawerReachesTheHealthCheckWithoutAClaim) {
    const std::string port = networkPort();
    ASSERT_FALSE(port.empty());
    addPrinter(port);
    addDrawer(port);
    setup::ControlObjectHost host;
    for (int run = 0; run < 2; ++run) {
        const setup::Outcome outcome = setup::runDeviceTest(host, kDrawerKey, "cash");
        EXPECT_TRUE(outcome.success) << "run " << run << ": " << outcome.message.text;
        EXPECT_FALSE(outcome.hasMessage()) << "run " << run << ": " << outcome.message.text;
    }
}

// A missing device stops at the open with the printer's own spelling of the
// message and the control object's OpenResult.
TEST_F(DeviceTestIntegration, UnknownPrinterStopsAtTheOpen) {
    setup::ControlObjectHost host;
    const setup::Outcome outcome = setup::runDeviceTest(host, kPrinterKey, "till");
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.message.text, "Error Occurred in calling the Open method:\nOpenResult = 302");
}

}  // namespace
}  // namespace devicetest
