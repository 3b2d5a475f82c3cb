// portlink against the printer under test on the transports every
// platform has: what is written arrives whole, the status block is the
// printer's own, and a printer switched off is lost and found again.

#include "PortIntegrationSupport.h"

namespace porttest {
namespace {

TEST_F(PortIntegrationTest, LastWriteBeforeCloseReachesTheNetworkPrinterWhileStatusIsUnread) {
    auto started = printerOn("H81");
    ASSERT_TRUE(started);
    auto& printer = *started;
    addPrinter("RX-H81", settingsFor(printer.portSetting()));
    for (int session = 0; session < 5; ++session) {
        printer.clearOutput();
        const int32_t index = openPrinter("RX-H81").index;
        // Automatic status on: the printer answers on the data connection,
        // and nobody reads those bytes before the close.
        ASSERT_EQ(write(index, {0x1D, 0x61, 0xFF}).value, 1);
        Bytes last = receipt();
        last.insert(last.end(), 60000, 'x');
        ASSERT_EQ(write(index, last).value, 1);
        close(index);
        EXPECT_TRUE(printer.waitForReceived(3 + last.size(), 5s))
            << "session " << session << ": " << printer.receivedBytes().size() << " of " << 3 + last.size();
    }
}

TEST_F(PortIntegrationTest, NetworkPrinterPrintsReportsAndReconnectsAfterPowerOff) {
    auto started = printerOn("K92");
    ASSERT_TRUE(started);
    auto& printer = *started;
    addPrinter("RX-K92", settingsFor(printer.portSetting()));
    const Opened opened = openPrinter("RX-K92");
    ASSERT_EQ(opened.step, 60);
    const int32_t index = opened.index;

    EXPECT_EQ(write(index, receipt()).step, 4);
    ASSERT_TRUE(printer.waitForReceived(receipt().size(), 5s));
    EXPECT_EQ(printer.receivedBytes(), receipt());

    Block block{};
    EXPECT_EQ(read(index, &block).step, 4);
    EXPECT_EQ(block, blockOf(printer.statusBlock()));
    printer.changeState([](PrinterState& state) { state.coverOpen = true; });
    EXPECT_EQ(read(index, &block).step, 4);
    EXPECT_EQ(block, blockOf(printer.statusBlock()));

    setPower(printer, false);
    EXPECT_EQ(read(index, &block).step, 7);
    setPower(printer, true);
    int32_t step = 0, sysError = 0;
    ASSERT_TRUE(eventually([&] { return ReOpenNetPort(index, 1, &step, &sysError) == 1; }));
    EXPECT_EQ(step, 24);
    ASSERT_TRUE(eventually([&] { return read(index, &block).value == 1; }));
    EXPECT_EQ(block, blockOf(printer.statusBlock()));
    const std::size_t before = printer.receivedBytes().size();
    EXPECT_EQ(write(index, bytesOf("again\n")).step, 4);
    EXPECT_TRUE(printer.waitForReceived(before + 6, 5s));
}

TEST_F(PortIntegrationTest, SerialPrinterSendsAutomaticStatusAndIsReopenedAfterPowerOff) {
    auto started = printerOn("H81", "COM3");
    ASSERT_TRUE(started);
    auto& printer = *started;
    addPrinter("RX-H81", settingsFor("COM3"));
    ASSERT_EQ(openPrinter("RX-H81").step, 10);
    EXPECT_EQ(status(2).value, 0x30);

    // Automatic status on: the printer reports at once (the cover is open,
    // so its first block differs from the idle one the port starts with),
    // and then every change by itself. Each block is read before the next
    // change, as a status thread does: with more than one block waiting the
    // reader returns the block it holds without reading.
    printer.changeState([](PrinterState& state) { state.coverOpen = true; });
    const Block coverOpen = blockOf(printer.statusBlock());
    const Bytes enable = {0x1D, 0x61, 0xFF};
    EXPECT_EQ(write(2, enable).step, 12);
    Block block{};
    EXPECT_TRUE(eventually([&] { return read(2, &block).value == 1 && block == coverOpen; }));
    printer.changeState([](PrinterState& state) { state.receiptNearEnd = true; });
    const Block nearEnd = blockOf(printer.statusBlock());
    EXPECT_NE(nearEnd, coverOpen);
    EXPECT_TRUE(eventually([&] { return read(2, &block).value == 1 && block == nearEnd; }));

    setPower(printer, false);
    EXPECT_TRUE(eventually([&] { return status(2).value == 0; }));
    EXPECT_EQ(write(2, bytesOf("off")).step, 13);
    setPower(printer, true);
    EXPECT_TRUE(eventually([&] { return status(2).value == 0x30; }));
    const std::size_t before = printer.receivedBytes().size();
    EXPECT_EQ(write(2, receipt()).step, 12);
    ASSERT_TRUE(printer.waitForReceived(before + receipt().size(), 5s));
    const Bytes received = printer.receivedBytes();
    EXPECT_EQ(Bytes(received.end() - static_cast<long>(receipt().size()), received.end()), receipt());
}

TEST_F(PortIntegrationTest, StatusReadersWakeWhenThePrinterSendsAndWhenWoken) {
    for (const std::string port : {"", "COM3"}) {
        SCOPED_TRACE(port.empty() ? "network" : port);
        auto printer = printerOn("H81", port);
        ASSERT_TRUE(printer);
        addPrinter("RX-H81", settingsFor(printer->portSetting()));
        const int32_t index = openPrinter("RX-H81").index;
        expectStatusReadersWake(*printer, index);
        close(index);
    }
}

}  // namespace
}  // namespace porttest
