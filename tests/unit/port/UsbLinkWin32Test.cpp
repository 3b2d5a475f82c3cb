// usblink.dll as the port library and the setup tool meet it on Windows:
// found by name beside them, with every entry point they resolve. Wine
// has no USB printing-class devices, so its search finds none and no
// transfer can run here.
#include <gtest/gtest.h>

#include "PortTestFixture.h"
#include "platform/module.h"
#include "portlink/portlink.h"
#include "usblink/usblink.h"

namespace porttest {
namespace {

TEST(UsbLinkLibrary, IsFoundByNameWithEveryEntryPointItsCallersResolve) {
    platform::ModuleError error;
    const platform::HModule module = platform::loadLibrary("usblink", &error);
    ASSERT_NE(module, nullptr) << error.message;
    for (const char* name : {"OpenDevice", "OpenDeviceX", "OpenDeviceByName", "OpenDeviceByInternalID",
                             "GetPrinterInternalID", "SetUSBTimeouts", "uWrite", "GetSpecStatus", "WaitDeviceInput",
                             "CloseDevice"}) {
        EXPECT_NE(platform::getProcAddress(module, name, &error), nullptr) << name << ": " << error.message;
    }
    // The SetupAPI search runs and finds no printer under Wine.
    const auto openDeviceX = platform::getProcAddressAs<USBLINK_OPENDEVICEX>(module, "OpenDeviceX");
    ASSERT_NE(openDeviceX, nullptr);
    EXPECT_EQ(openDeviceX(0), -1);
    EXPECT_TRUE(platform::freeLibrary(module));
}

using UsbPortWin32Test = PortTest;

// Loading stops at step 13 when usblink.dll is missing and at 15 ... 25 when
// an entry point is; 27 is the search for the printer itself.
TEST_F(UsbPortWin32Test, PortLibraryLoadsUsblinkAndLooksForThePrinter) {
    schema::PortSettings settings = settingsFor("USB1");
    settings.internalId = 90;
    settings.usbPrintName = "USB_RX-K92_3";
    addPrinter("RX-K92", settings);

    const Opened opened = openPrinter("RX-K92");
    EXPECT_EQ(opened.handle, -1);
    EXPECT_EQ(opened.step, 27);
    EXPECT_EQ(opened.sysError, -1);
}

}  // namespace
}  // namespace porttest
