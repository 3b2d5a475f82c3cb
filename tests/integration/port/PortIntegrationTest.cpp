// portlink against the virtual printer on each of its transports: what is
// written arrives whole, the status block is the printer's own, and a
// printer switched off or unplugged is lost and found again.

#include <atomic>
#include <future>
#include <optional>

#include "PortTestFixture.h"
#include "UsbTestSupport.h"
#include "emulator/NetworkPort.h"
#include "emulator/PtyPort.h"
#include "emulator/UsbNode.h"
#include "emulator/VirtualPrinter.h"
#include "portlink/portlink.h"
#include "support/emulator/LoopbackPrinter.h"

namespace porttest {
namespace {

using namespace std::chrono_literals;
using emulator::PrinterState;
using emulator::VirtualPrinter;

// Retries `attempt` until it returns true or the deadline passes: for
// conditions the test can only observe by asking again (a printer that is
// coming back, a status block on its way).
template <typename Attempt>
bool eventually(Attempt attempt, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = Clock::now() + timeout;
    while (!attempt()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

Block blockOf(const emulator::StatusBlock& status) { return {status[0], status[1], status[2], status[3]}; }

// A small receipt: initialise, a line of text, a full cut.
Bytes receipt() {
    Bytes bytes = {0x1B, 0x40};
    const Bytes text = bytesOf("Corvane OPOS\n");
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.insert(bytes.end(), {0x1D, 0x56, 0x00});
    return bytes;
}

void setPower(VirtualPrinter& printer, bool on) {
    printer.changeState([on](PrinterState& state) { state.powerOn = on; });
}

class PortIntegrationTest : public PortTest {};

TEST_F(PortIntegrationTest, LastWriteBeforeCloseReachesTheNetworkPrinterWhileStatusIsUnread) {
    VirtualPrinter printer("H81");
    std::unique_ptr<emulator::NetworkPort> network = testsupport::openOnOwnLoopbackAddress(printer);
    ASSERT_TRUE(network);
    addPrinter("RX-H81", settingsFor("NET" + network->address()));
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
    VirtualPrinter printer("K92");
    std::unique_ptr<emulator::NetworkPort> network = testsupport::openOnOwnLoopbackAddress(printer);
    ASSERT_TRUE(network);
    addPrinter("RX-K92", settingsFor("NET" + network->address()));
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
    VirtualPrinter printer("H81");
    std::string error;
    auto line = emulator::PtyPort::open(printer, {path("com3"), {}}, &error);
    ASSERT_TRUE(line) << error;
    mapPort("COM3", line->linkPath());
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

// Two status readers on one port (a printer and its drawer) both wake when
// the printer sends its status by itself, whichever of them watched the
// line; a wake-up ends a reader's wait at once, also one given just before
// it began to wait.
TEST_F(PortIntegrationTest, StatusReadersWakeWhenThePrinterSendsAndWhenWoken) {
    for (const std::string kind : {"network", "serial", "USB"}) {
        SCOPED_TRACE(kind);
        VirtualPrinter printer("H81", 81);
        std::string error;
        std::unique_ptr<emulator::NetworkPort> network;
        std::unique_ptr<emulator::PtyPort> line;
        std::unique_ptr<emulator::UsbNode> node;
        std::optional<UsbDevicePattern> pattern;
        schema::PortSettings settings;
        if (kind == "network") {
            network = testsupport::openOnOwnLoopbackAddress(printer);
            ASSERT_TRUE(network);
            settings = settingsFor("NET" + network->address());
        } else if (kind == "serial") {
            line = emulator::PtyPort::open(printer, {path("com3"), {}}, &error);
            ASSERT_TRUE(line) << error;
            mapPort("COM3", line->linkPath());
            settings = settingsFor("COM3");
        } else {
            ASSERT_TRUE(usblinkLoaded());
            pattern.emplace(path("usb/lp*"));
            node = emulator::UsbNode::open(printer, {path("usb"), -1, {}}, &error);
            ASSERT_TRUE(node) << error;
            settings = settingsFor("USB1");
            settings.internalId = 81;
            settings.usbPrintName = "USB_RX-H81_1";
        }
        addPrinter("RX-H81", settings);
        const int32_t index = openPrinter("RX-H81").index;
        ASSERT_GE(index, 0);
        ASSERT_EQ(write(index, {0x1D, 0x61, 0xFF}).value, 1);
        ASSERT_TRUE(eventually([&] { return printer.automaticStatusEnabled(); }));
        Block block{};
        read(index, &block);

        std::uint64_t marks[2] = {};
        for (std::uint64_t& mark : marks) {
            WaitPortStatus(index, &mark, 0);
        }
        std::future<int32_t> readers[2];
        std::atomic<Clock::time_point> woke[2];
        for (int reader = 0; reader < 2; ++reader) {
            readers[reader] = std::async(std::launch::async, [&, reader] {
                const int32_t arrived = WaitPortStatus(index, &marks[reader], 5000);
                woke[reader] = Clock::now();
                return arrived;
            });
        }
        const auto changed = Clock::now();
        printer.changeState([](PrinterState& state) { state.coverOpen = !state.coverOpen; });
        for (int reader = 0; reader < 2; ++reader) {
            EXPECT_EQ(readers[reader].get(), 1) << "reader " << reader;
            EXPECT_LT(woke[reader].load() - changed, 150ms) << "reader " << reader;
        }
        EXPECT_TRUE(eventually([&] { return read(index, &block).value == 1 && block == blockOf(printer.statusBlock()); }));

        WaitPortStatus(index, &marks[0], 0);
        WakePortStatus(index);
        const auto woken = Clock::now();
        EXPECT_EQ(WaitPortStatus(index, &marks[0], 5000), 0);
        EXPECT_LT(Clock::now() - woken, 150ms);
        close(index);
    }
}

}  // namespace
}  // namespace porttest
