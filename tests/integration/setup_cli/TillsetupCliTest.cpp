#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/services.h"
#include "support/ChildProcess.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"
#include "support/TempRegistry.h"

namespace {

using namespace schema;
using Args = std::vector<std::string>;

struct Result {
    int status = -1;
    std::string output;  // standard output and error together

    bool says(const std::string& text) const { return output.find(text) != std::string::npos; }
};

class TillsetupCli : public ::testing::Test {
protected:
    // Without arguments on a display the program opens its window; these
    // tests are about the command line, so no display is handed down.
    void SetUp() override {
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            platform::setEnvironmentVariable(display, nullptr);
        }
    }
    void TearDown() override { platform::setEnvironmentVariable("FAKE_USBLINK_PRINTERS", nullptr); }

    // The child inherits the temporary registry through the environment.
    static Result tillsetup(const Args& args) {
        testsupport::ChildProcess child;
        Result run;
        EXPECT_TRUE(child.start(TILLSETUP_PATH, args));
        child.openGate();
        EXPECT_TRUE(child.finish(std::chrono::seconds(20)));
        run.status = child.exitCode();
        run.output = child.output();
        return run;
    }

    static std::optional<std::string> text(const std::string& keyPath, const char* name) {
        RegKey key;
        std::string value;
        if (key.open(platform::HKLM, keyPath, platform::KEY_READ) != platform::ERROR_SUCCESS ||
            key.readString(name, 255, &value) != platform::ERROR_SUCCESS) {
            return std::nullopt;
        }
        return value;
    }

    static std::optional<DWORD> number(const std::string& keyPath, const char* name) {
        RegKey key;
        DWORD value = 0;
        if (key.open(platform::HKLM, keyPath, platform::KEY_READ) != platform::ERROR_SUCCESS ||
            key.readDword(name, &value) != platform::ERROR_SUCCESS) {
            return std::nullopt;
        }
        return value;
    }

    static std::string printer(const std::string& keyName) { return deviceKeyPath(kPosPrinterClass, keyName); }
    static std::string drawer(const std::string& keyName) { return deviceKeyPath(kCashDrawerClass, keyName); }
    static std::string printers() { return classKeyPath(DeviceClass::PosPrinter); }
    static std::string drawers() { return classKeyPath(DeviceClass::CashDrawer); }

    testsupport::TempRegistry registry;
};

TEST_F(TillsetupCli, AddedDevicesAreWrittenAndListed) {
    Result run = tillsetup({"add-printer", "RX-H81", "--port", "COM1", "--ldn", "Till1", "--baud", "19200"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(text(printers(), "till1"), "RX-H81");
    EXPECT_EQ(number(printer("RX-H81"), "Baudrate"), 19200u);

    run = tillsetup({"add-printer", "RX-H81", "--port", "COM1", "--ldn", "till2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.says("COM1 already occupy by RX-H81")) << run.output;
    run = tillsetup({"add-printer", "RX-H81", "--port", "COM2", "--ldn", "TILL1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.says("Logical Device Name 'till1' already occupy!")) << run.output;
    EXPECT_FALSE(text(printer("RX-H81_2"), "Port"));

    run = tillsetup({"add-drawer", "RX-H81", "--ldn", "Cash", "--open-phase", "high", "--pin", "5"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(text(drawers(), "cash"), "RX-H81Drawer");
    EXPECT_EQ(number(drawer("RX-H81Drawer"), "OpenSingle"), 1u);
    EXPECT_EQ(number(drawer("RX-H81Drawer"), "Baudrate"), 19200u);
    run = tillsetup({"add-drawer", "RX-H81", "--ldn", "cash2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.says("RX-H81 already has a cashDrawer of RX-H81Drawer")) << run.output;

    ASSERT_EQ(tillsetup({"add-name", "RX-H81", "--ldn", "Extra"}).status, 0);
    EXPECT_EQ(text(printers(), "extra"), "RX-H81");

    run = tillsetup({"list"});
    EXPECT_EQ(run.status, 0);
    // The names come in the registry's value order: creation order in our
    // store and on Windows, name order in Wine's registry.
    EXPECT_TRUE(run.says("RX-H81  COM1  (till1, extra)") || run.says("RX-H81  COM1  (extra, till1)")) << run.output;
    EXPECT_TRUE(run.says("RX-H81Drawer  COM1  (cash)")) << run.output;
}

TEST_F(TillsetupCli, DeleteAnswersCancelUnlessTold) {
    ASSERT_EQ(tillsetup({"add-printer", "RX-H81", "--port", "COM1", "--ldn", "a"}).status, 0);
    ASSERT_EQ(tillsetup({"add-name", "RX-H81", "--ldn", "b"}).status, 0);
    ASSERT_EQ(tillsetup({"add-drawer", "RX-H81", "--ldn", "cash"}).status, 0);

    // Several names: Cancel removes only the selected one.
    Result run = tillsetup({"delete", "RX-H81", "--ldn", "b"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(run.says("Cancel:Delete the current logic device name.")) << run.output;
    EXPECT_FALSE(text(printers(), "b"));
    EXPECT_EQ(text(printers(), "a"), "RX-H81");

    // One name: Cancel deletes nothing.
    run = tillsetup({"delete", "RX-H81"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.says("Are you sure delete the RX-H81 device?")) << run.output;
    EXPECT_TRUE(text(printer("RX-H81"), "Port"));

    ASSERT_EQ(tillsetup({"delete", "RX-H81", "--yes"}).status, 0);
    EXPECT_FALSE(text(printer("RX-H81"), "Port"));
    EXPECT_FALSE(text(drawer("RX-H81Drawer"), "Port"));
    EXPECT_FALSE(text(drawers(), "cash"));
}

TEST_F(TillsetupCli, PortChangeReachesThePrinterAndItsDrawer) {
    ASSERT_EQ(tillsetup({"add-printer", "RX-H81", "--port", "LPT1", "--ldn", "till"}).status, 0);
    ASSERT_EQ(tillsetup({"add-drawer", "RX-H81", "--ldn", "cash"}).status, 0);
    const Result run = tillsetup({"set-port", "RX-H81", "--port", "COM2", "--parity", "even", "--flow", "rts/cts"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(run.says("Modify success!"));
    for (const std::string& path : {printer("RX-H81"), drawer("RX-H81Drawer")}) {
        EXPECT_EQ(text(path, "Port"), "COM2") << path;
        EXPECT_FALSE(number(path, "LPTAddress")) << path;
        EXPECT_EQ(number(path, "Parity"), 2u) << path;
        EXPECT_EQ(number(path, "Handshake"), 1u) << path;
    }
    ASSERT_EQ(tillsetup({"set-signals", "RX-H81Drawer", "--pin", "5"}).status, 0);
    EXPECT_EQ(number(drawer("RX-H81Drawer"), "PinSingle"), 1u);
}

TEST_F(TillsetupCli, PortRangeBelowAPortInUseIsRefused) {
    {
        RegKey key;
        ASSERT_EQ(key.create(platform::HKLM, printer("RX-H81")), platform::ERROR_SUCCESS);
        ASSERT_EQ(key.writeString(value::Port, "COM12"), platform::ERROR_SUCCESS);
    }
    Result run = tillsetup({"port-range", "--com", "10"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.says("can not set COM port maximun")) << run.output;
    EXPECT_FALSE(number(kPortRangePath, "COMMAX"));

    ASSERT_EQ(tillsetup({"port-range", "--com", "12", "--lpt", "default"}).status, 0);
    EXPECT_EQ(number(kPortRangePath, "COMMAX"), 12u);
    EXPECT_EQ(number(kPortRangePath, "LPTMAX"), 2u);

    run = tillsetup({"port-range", "--com", "50"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(number(kPortRangePath, "COMMAX"), 12u);
    EXPECT_TRUE(tillsetup({"ports"}).says("COM12 LPT1"));
}

TEST_F(TillsetupCli, UsbPrinterIsFoundThroughTheNamedLibrary) {
    platform::setEnvironmentVariable("FAKE_USBLINK_PRINTERS", "90,91");
    Result run = tillsetup({"add-printer", "RX-K92", "--port", "USB", "--ldn", "usb", "--usblink", FAKE_USBLINK_DIR});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.says("Make sure that only one USB port printer is on-line!")) << run.output;

    platform::setEnvironmentVariable("FAKE_USBLINK_PRINTERS", "90");
    run = tillsetup({"add-printer", "RX-K92", "--port", "USB", "--ldn", "usb", "--usblink", FAKE_USBLINK_DIR});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(run.says("Please Power off and power on the printer"));
    EXPECT_EQ(text(printer("RX-K92"), "Port"), "USB1");
    EXPECT_EQ(number(printer("RX-K92"), "InternalID"), 90u);
    EXPECT_EQ(text(printer("RX-K92"), "USBPrintName"), "USB_RX-K92_3");
}

TEST_F(TillsetupCli, StartUpChecksTheDriverServiceWhereTheSystemHasAServiceManager) {
    if (platform::hasServiceControlManager()) {
        // No driver service in a test prefix, and the installation run
        // registers one whose driver file is missing: both end the program.
        for (const Args& args : {Args{}, Args{"480317"}}) {
            const Result run = tillsetup(args);
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(run.says("Start Service failed!")) << run.output;
            EXPECT_FALSE(run.says("usage: tillsetup")) << run.output;
        }
        platform::ScHandle manager = nullptr;
        platform::ScHandle service = nullptr;
        ASSERT_EQ(platform::openSCManager(platform::SC_MANAGER_ALL_ACCESS, &manager), platform::ERROR_SUCCESS);
        ASSERT_EQ(platform::openService(manager, "DLPortIO", platform::SERVICE_ALL_ACCESS, &service),
                  platform::ERROR_SUCCESS);
        EXPECT_EQ(platform::deleteService(service), platform::ERROR_SUCCESS);
        platform::closeServiceHandle(service);
        platform::closeServiceHandle(manager);
        return;
    }
    for (const Args& args : {Args{}, Args{"480317"}}) {
        const Result run = tillsetup(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.says("usage: tillsetup")) << run.output;
    }
}

TEST_F(TillsetupCli, UsageErrorsAndTestOfADeviceWhoseServiceObjectIsNotRegistered) {
    Result run;
    EXPECT_EQ(tillsetup({"frobnicate"}).status, 2);
    EXPECT_EQ(tillsetup({"add-printer", "RX-H81", "--port", "COM1", "--parity", "sometimes"}).status, 2);

    ASSERT_EQ(tillsetup({"add-printer", "RX-H81", "--port", "COM1", "--ldn", "till"}).status, 0);
    // The store holds the device but no registered module behind its ProgID.
    run = tillsetup({"test", "RX-H81"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.says("Error Occurred in calling the Open method")) << run.output;
    EXPECT_TRUE(run.says("OpenResult = 303")) << run.output;
}

}  // namespace
