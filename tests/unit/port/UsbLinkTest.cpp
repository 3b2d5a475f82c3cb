// usblink on its own: how it finds and numbers printers, what its entry
// points answer, and how it behaves when a printer goes away.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "UsbTestSupport.h"
#include "support/FakePtyPrinter.h"
#include "support/TempRegistry.h"
#include "usblink/usblink.h"

namespace porttest {
namespace {

using namespace std::chrono_literals;
using testsupport::Bytes;
using testsupport::FakePtyPrinter;

struct UsbLink {
    USBLINK_OPENDEVICE openDevice;
    USBLINK_OPENDEVICEX openDeviceX;
    USBLINK_OPENDEVICEBYNAME openDeviceByName;
    USBLINK_OPENDEVICEBYINTERNALID openDeviceByInternalId;
    USBLINK_GETPRINTERINTERNALID getPrinterInternalId;
    USBLINK_SETUSBTIMEOUTS setUsbTimeouts;
    USBLINK_UWRITE write;
    USBLINK_GETSPECSTATUS getSpecStatus;
    USBLINK_CLOSEDEVICE closeDevice;
};

class UsbLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        const platform::HModule module = usblinkModule();
        ASSERT_NE(module, nullptr);
        using platform::getProcAddressAs;
        link = {getProcAddressAs<USBLINK_OPENDEVICE>(module, "OpenDevice"),
                getProcAddressAs<USBLINK_OPENDEVICEX>(module, "OpenDeviceX"),
                getProcAddressAs<USBLINK_OPENDEVICEBYNAME>(module, "OpenDeviceByName"),
                getProcAddressAs<USBLINK_OPENDEVICEBYINTERNALID>(module, "OpenDeviceByInternalID"),
                getProcAddressAs<USBLINK_GETPRINTERINTERNALID>(module, "GetPrinterInternalID"),
                getProcAddressAs<USBLINK_SETUSBTIMEOUTS>(module, "SetUSBTimeouts"),
                getProcAddressAs<USBLINK_UWRITE>(module, "uWrite"),
                getProcAddressAs<USBLINK_GETSPECSTATUS>(module, "GetSpecStatus"),
                getProcAddressAs<USBLINK_CLOSEDEVICE>(module, "CloseDevice")};
        ASSERT_NE(link.closeDevice, nullptr);
        pattern = std::make_unique<UsbDevicePattern>(directory.directory() + "/lp*");
    }

    std::string node(const std::string& name) const { return directory.directory() + "/" + name; }

    std::unique_ptr<FakePtyPrinter> printer(const std::string& name, const std::string& deviceId) {
        return std::make_unique<FakePtyPrinter>(FakePtyPrinter::Options{node(name), deviceId});
    }

    // Only for its private folder; usblink reads no registry.
    testsupport::TempRegistry directory;
    std::unique_ptr<UsbDevicePattern> pattern;
    UsbLink link{};
};

TEST_F(UsbLinkTest, PrintersAreNumberedInNodeOrderSkippingThoseWithoutAnId) {
    auto first = printer("lp0", usbDeviceId(90));
    auto anonymous = printer("lp1", "");
    auto bySerial = printer("lp2", "MFG:Corvane;MDL:RX-H81;SN:123;");
    auto badId = printer("lp3", "MFG:Corvane;IID:9x;");
    std::ofstream(node("lp4.ieee1284_id")) << usbDeviceId(7);  // an ID file without its node

    const int32_t zero = link.openDeviceX(0);
    const int32_t one = link.openDeviceX(1);
    ASSERT_GT(zero, 0);
    ASSERT_GT(one, 0);
    EXPECT_NE(zero, one);
    EXPECT_EQ(link.getPrinterInternalId(zero), 90u);
    EXPECT_EQ(link.getPrinterInternalId(one), 123u);
    EXPECT_EQ(link.openDeviceX(2), -1);
    EXPECT_EQ(link.openDeviceX(-1), -1);

    const int32_t byName = link.openDeviceByName("lp2");
    EXPECT_EQ(link.getPrinterInternalId(byName), 123u);
    const int32_t byPath = link.openDeviceByName(node("lp0").c_str());
    EXPECT_EQ(link.getPrinterInternalId(byPath), 90u);
    EXPECT_EQ(link.openDeviceByName("lp1"), -1);
    const int32_t byId = link.openDeviceByInternalId(123);
    EXPECT_EQ(link.getPrinterInternalId(byId), 123u);
    EXPECT_EQ(link.openDeviceByInternalId(7), -1);
    const int32_t any = link.openDevice();
    EXPECT_EQ(link.getPrinterInternalId(any), 90u);

    for (const int32_t handle : {zero, one, byName, byPath, byId, any}) {
        EXPECT_EQ(link.closeDevice(handle), 1);
    }
    EXPECT_EQ(link.closeDevice(zero), 0);
    EXPECT_EQ(link.getPrinterInternalId(zero), 0xFFFFFFFFu);
    EXPECT_EQ(link.setUsbTimeouts(zero, 10, 10), 0);
    const int32_t again = link.openDeviceX(0);
    EXPECT_GT(again, any) << "handles are never reused";
    link.closeDevice(again);
}

TEST_F(UsbLinkTest, StatusRequestDropsStaleInputAndToleratesASilentPrinter) {
    auto device = printer("lp0", usbDeviceId(90));
    const int32_t handle = link.openDeviceByInternalId(90);
    ASSERT_GT(handle, 0);

    device->send({0x01, 0x02, 0x03});
    ASSERT_TRUE(device->waitForHostInput(3, 2s));
    device->setStatus({0x14, 0x00, 0x0C, 0x0F});
    uint8_t block[4] = {};
    int32_t got = -1;
    EXPECT_EQ(link.getSpecStatus(handle, block, 4, &got), 1);
    EXPECT_EQ(got, 4);
    EXPECT_EQ(Bytes(block, block + 4), (Bytes{0x14, 0x00, 0x0C, 0x0F}));

    device->setAnswering(false);
    EXPECT_EQ(link.setUsbTimeouts(handle, 100, 50), 1);
    EXPECT_EQ(link.getSpecStatus(handle, block, 4, &got), 1);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(Bytes(block, block + 4), (Bytes{0, 0, 0, 0}));

    EXPECT_EQ(link.write(handle, 0, reinterpret_cast<const uint8_t*>("data"), 4), 4);
    EXPECT_EQ(link.write(handle, 1, reinterpret_cast<const uint8_t*>("data"), 4), -1);
    EXPECT_EQ(link.getSpecStatus(handle, nullptr, 4, &got), 0);
    link.closeDevice(handle);
}

TEST_F(UsbLinkTest, AnUnpluggedPrinterFailsEveryTransfer) {
    auto device = printer("lp0", usbDeviceId(90));
    const int32_t handle = link.openDeviceByInternalId(90);
    ASSERT_GT(handle, 0);
    device->unplug();

    EXPECT_LT(link.write(handle, 0, reinterpret_cast<const uint8_t*>("data"), 4), 1);
    uint8_t block[4];
    int32_t got = -1;
    EXPECT_EQ(link.getSpecStatus(handle, block, 4, &got), 0);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(link.openDeviceByInternalId(90), -1);

    // Plugged back it is a new device under the same ID; the old handle stays
    // dead until closed.
    device->plug();
    const int32_t fresh = link.openDeviceByInternalId(90);
    EXPECT_GT(fresh, handle);
    EXPECT_EQ(link.write(fresh, 0, reinterpret_cast<const uint8_t*>("data"), 4), 4);
    EXPECT_LT(link.write(handle, 0, reinterpret_cast<const uint8_t*>("data"), 4), 1);
    link.closeDevice(handle);
    link.closeDevice(fresh);
}

}  // namespace
}  // namespace porttest
