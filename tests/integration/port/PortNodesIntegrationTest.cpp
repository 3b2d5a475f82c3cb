// portlink against the virtual printer on the transports only Linux has
// here: a parallel line and a USB printer node, made on pseudo-terminals.

#include <optional>

#include "PortIntegrationSupport.h"
#include "UsbTestSupport.h"
#include "emulator/PtyPort.h"
#include "emulator/UsbNode.h"
#include "emulator/VirtualPrinter.h"

namespace porttest {
namespace {

using emulator::VirtualPrinter;

TEST_F(PortIntegrationTest, ParallelPrinterAnswersTheStatusQueryWhileSwitchedOn) {
    VirtualPrinter printer("H81");
    std::string error;
    auto line = emulator::PtyPort::open(printer, {path("lpt1"), {}}, &error);
    ASSERT_TRUE(line) << error;
    mapPort("LPT1", line->linkPath());
    addPrinter("RX-H81", settingsFor("LPT1"));
    ASSERT_EQ(openPrinter("RX-H81").step, 8);

    Result result = status(40);
    EXPECT_EQ(result.value, 0xF0);
    EXPECT_EQ(result.step, 6);
    const Bytes ticket = receipt();
    EXPECT_EQ(write(40, ticket).step, 2);
    // The printer has seen the status request and the receipt, in order.
    Bytes expected = {0x1B, 0x76};
    expected.insert(expected.end(), ticket.begin(), ticket.end());
    ASSERT_TRUE(printer.waitForReceived(expected.size(), 5s));
    EXPECT_EQ(printer.receivedBytes(), expected);

    setPower(printer, false);
    EXPECT_TRUE(eventually([&] { return status(40).step == 3; }));
    setPower(printer, true);
    EXPECT_TRUE(eventually([&] { return status(40).value == 0xF0; }));
}

TEST_F(PortIntegrationTest, UsbPrinterIsLostWhenUnpluggedAndFoundAgainByItsId) {
    ASSERT_TRUE(usblinkLoaded());
    UsbDevicePattern pattern(path("usb/lp*"));
    VirtualPrinter printer("K92", 90);
    std::string error;
    auto node = emulator::UsbNode::open(printer, {path("usb"), -1, {}}, &error);
    ASSERT_TRUE(node) << error;
    schema::PortSettings settings = settingsFor("USB1");
    settings.internalId = 90;
    settings.usbPrintName = "USB_RX-K92_3";
    addPrinter("RX-K92", settings);
    const Opened opened = openPrinter("RX-K92");
    ASSERT_EQ(opened.step, 6);
    ASSERT_EQ(opened.index, 44);

    EXPECT_EQ(write(44, receipt()).step, 10);
    ASSERT_TRUE(printer.waitForReceived(receipt().size(), 5s));
    EXPECT_EQ(printer.receivedBytes(), receipt());
    Block block{};
    EXPECT_TRUE(eventually([&] { return read(44, &block).step == 8 && block == blockOf(printer.statusBlock()); }));

    node->unplug();
    EXPECT_EQ(write(44, receipt()).step, 7);
    EXPECT_EQ(read(44, &block).step, 9);
    EXPECT_EQ(status(44).value, 0);
    ASSERT_TRUE(node->plug(&error)) << error;
    EXPECT_EQ(read(44, &block).step, 8);
    EXPECT_EQ(status(44).value, 0xF0);
    const std::size_t before = printer.receivedBytes().size();
    EXPECT_EQ(write(44, bytesOf("back\n")).step, 10);
    EXPECT_TRUE(printer.waitForReceived(before + 5, 5s));
}

TEST_F(PortIntegrationTest, UsbStatusReadersWakeWhenThePrinterSendsAndWhenWoken) {
    ASSERT_TRUE(usblinkLoaded());
    UsbDevicePattern pattern(path("usb/lp*"));
    VirtualPrinter printer("H81", 81);
    std::string error;
    auto node = emulator::UsbNode::open(printer, {path("usb"), -1, {}}, &error);
    ASSERT_TRUE(node) << error;
    schema::PortSettings settings = settingsFor("USB1");
    settings.internalId = 81;
    settings.usbPrintName = "USB_RX-H81_1";
    addPrinter("RX-H81", settings);
    const int32_t index = openPrinter("RX-H81").index;
    expectStatusReadersWake(printer, index);
    close(index);
}

}  // namespace
}  // namespace porttest
