#include <algorithm>
#include <cstdlib>
#include <future>
#include <memory>

#include "PortTestFixture.h"
#include "UsbTestSupport.h"
#include "portlink/portlink.h"
#include "support/FakePtyPrinter.h"

namespace porttest {
namespace {

using namespace std::chrono_literals;
using testsupport::FakePtyPrinter;

class UsbPortTest : public PortTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(usblinkLoaded());
        m_pattern = std::make_unique<UsbDevicePattern>(path("lp*"));
    }
    void TearDown() override {
        PortTest::TearDown();
        m_pattern.reset();
    }

    // A USB printer with internal ID `id` at node lp<number>.
    std::unique_ptr<FakePtyPrinter> printerAt(int number, uint32_t id) {
        return std::make_unique<FakePtyPrinter>(
            FakePtyPrinter::Options{path("lp" + std::to_string(number)), usbDeviceId(id)});
    }

    void addUsbDevice(const char* deviceClass, const std::string& name, uint32_t id) {
        schema::PortSettings settings = settingsFor("USB1");
        settings.internalId = id;
        settings.usbPrintName = "USB_RX-K92_3";
        addDevice(deviceClass, name, settings);
    }

private:
    std::unique_ptr<UsbDevicePattern> m_pattern;
};

TEST_F(UsbPortTest, DevicesAreFoundByInternalIdAndShareASlot) {
    auto other = printerAt(0, 91);
    auto printer = printerAt(1, 90);
    addUsbDevice(schema::kPosPrinterClass, "RX-K92", 90);
    addUsbDevice(schema::kCashDrawerClass, "RX-K92Drawer", 90);

    const Opened first = openPrinter("RX-K92");
    EXPECT_EQ(first.kind, PORT_USB);
    EXPECT_EQ(first.index, 44);
    EXPECT_EQ(first.step, 6);
    EXPECT_EQ(first.sysError, -2);
    EXPECT_GT(first.handle, 0);
    EXPECT_TRUE(printer->waitForHostConnected(true, 2s));
    EXPECT_FALSE(other->hostConnected());

    const Opened second = open(schema::kCashDrawerClass, "RX-K92Drawer");
    EXPECT_EQ(second.handle, first.handle);
    EXPECT_EQ(second.index, 44);
    EXPECT_EQ(second.kind, PORT_USB);
    EXPECT_EQ(second.step, 4);

    Result result = write(44, bytesOf("receipt"));
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 10);
    printer->setStatus({0x14, 0x00, 0x03, 0x0F});
    Block block{};
    result = read(44, &block);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 8);
    EXPECT_EQ(block, (Block{0x14, 0x00, 0x03, 0x0F}));
    ASSERT_TRUE(printer->waitForReceived(9, 2s));
    EXPECT_EQ(printer->received(), bytesOf("receipt\x1b\x76"));

    result = status(44);
    EXPECT_EQ(result.value, 0xF0);
    EXPECT_EQ(result.step, 2);

    close(44);
    EXPECT_TRUE(printer->hostConnected());
    close(44);
    EXPECT_TRUE(printer->waitForHostConnected(false, 2s));
}

TEST_F(UsbPortTest, NinthDeviceFindsNoSlot) {
    std::vector<std::unique_ptr<FakePtyPrinter>> printers;
    for (int number = 0; number < 9; ++number) {
        printers.push_back(printerAt(number, 88 + static_cast<uint32_t>(number)));
        addUsbDevice(schema::kPosPrinterClass, "RX-K92_" + std::to_string(number), 88 + static_cast<uint32_t>(number));
    }
    for (int number = 0; number < 8; ++number) {
        const Opened opened = openPrinter("RX-K92_" + std::to_string(number));
        EXPECT_EQ(opened.index, 44 + number);
        EXPECT_EQ(opened.step, 6);
    }
    const Opened ninth = openPrinter("RX-K92_8");
    EXPECT_EQ(ninth.handle, -1);
    EXPECT_EQ(ninth.index, -1);
    EXPECT_EQ(ninth.step, 9);
}

TEST_F(UsbPortTest, UnpluggedDeviceIsLostAndReopenedByTheStatusReader) {
    auto printer = printerAt(0, 90);
    addUsbDevice(schema::kPosPrinterClass, "RX-K92", 90);
    openPrinter("RX-K92");

    printer->unplug();
    Result result = write(44, bytesOf("lost"));
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 7);
    EXPECT_EQ(status(44).step, 1);
    EXPECT_EQ(status(44).value, 0);

    Block block{0xFF, 0xFF, 0xFF, 0xFF};
    result = read(44, &block);
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 9);
    EXPECT_EQ(block, (Block{}));

    printer->plug();
    result = read(44, &block);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 8);
    EXPECT_EQ(status(44).value, 0xF0);

    // Lost again; a write issued meanwhile waits for the reopen.
    printer->unplug();
    EXPECT_EQ(write(44, bytesOf("lost")).step, 7);
    const std::size_t before = printer->received().size();
    auto writing = std::async(std::launch::async, [&] { return write(44, bytesOf("late")); });
    printer->plug();
    EXPECT_EQ(read(44, &block).step, 8);
    result = writing.get();
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 10);
    ASSERT_TRUE(printer->waitForReceived(before + 4, 2s));
    const Bytes received = printer->received();
    const Bytes late = bytesOf("late");
    EXPECT_NE(std::search(received.begin(), received.end(), late.begin(), late.end()), received.end());
}

TEST_F(UsbPortTest, WriteGivesUpWhenTheDeviceIsNotBackInFiveSeconds) {
    auto printer = printerAt(0, 90);
    addUsbDevice(schema::kPosPrinterClass, "RX-K92", 90);
    openPrinter("RX-K92");
    printer->unplug();
    EXPECT_EQ(write(44, bytesOf("lost")).step, 7);

    const auto start = Clock::now();
    const Result result = write(44, bytesOf("never"));
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 5);
    EXPECT_GE(millisecondsSince(start), 4900);
}

TEST_F(UsbPortTest, FailedOpensLeaveNothingBehind) {
    auto printer = printerAt(0, 90);
    addUsbDevice(schema::kPosPrinterClass, "RX-K92", 91);
    addUsbDevice(schema::kPosPrinterClass, "RX-K92_2", 90);
    deleteValue(schema::kPosPrinterClass, "RX-K92_2", schema::value::InternalID);

    const std::size_t descriptors = openDescriptorCount();
    Opened opened = openPrinter("RX-K92");
    EXPECT_EQ(opened.handle, -1);
    EXPECT_EQ(opened.step, 27);
    EXPECT_EQ(opened.sysError, -1);
    EXPECT_EQ(openDescriptorCount(), descriptors);

    opened = openPrinter("RX-K92_2");
    EXPECT_EQ(opened.step, 7);

    // The slot the failed open looked at is still free for the next one.
    addUsbDevice(schema::kPosPrinterClass, "RX-K92_3", 90);
    opened = openPrinter("RX-K92_3");
    EXPECT_EQ(opened.index, 44);
    EXPECT_EQ(opened.step, 6);
}

}  // namespace
}  // namespace porttest
