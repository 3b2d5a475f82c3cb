#include <gtest/gtest.h>

#include <fstream>

#include "TransportTestSupport.h"
#include "emulator/PtyPort.h"

using namespace emulator;
using namespace transporttest;

namespace {

struct LinePrinter {
    explicit LinePrinter(const std::string& model = "H81") : printer(model, 3) {
        std::string error;
        port = PtyPort::open(printer, {scratch.file("COM3"), {}}, &error);
        EXPECT_TRUE(port) << error;
    }
    std::string link() const { return scratch.file("COM3"); }

    ScratchDir scratch;
    VirtualPrinter printer;
    std::unique_ptr<PtyPort> port;
};

void setPower(VirtualPrinter& printer, bool on) {
    printer.changeState([on](PrinterState& s) { s.powerOn = on; });
}

TEST(PtyPort, MovesEveryByteUnalteredBothWays) {
    LinePrinter line;
    Fd host = openLine(line.link());
    ASSERT_TRUE(host.valid());

    // Bytes a cooked line would translate, swallow or act on.
    const Bytes tricky{0x0A, 0x0D, 0x03, 0x04, 0x11, 0x13, 0x1A, 0x7F, 0xFF, 0x00, 0x0A};
    ASSERT_TRUE(writeAll(host.get(), tricky));
    ASSERT_TRUE(line.printer.waitForReceived(tricky.size(), 3s));
    EXPECT_EQ(line.printer.receivedBytes(), tricky);

    ASSERT_TRUE(writeAll(host.get(), {0x1B, 0x76}));
    const Bytes reply = readBytes(host.get(), 4);
    const StatusBlock block = line.printer.statusBlock();
    EXPECT_EQ(reply, Bytes(block.begin(), block.end()));
    EXPECT_TRUE(staysQuiet(host.get(), 50ms)) << "no echo of the host's bytes";
}

TEST(PtyPort, HostMayCloseAndReopenTheLineWhileThePrinterRuns) {
    LinePrinter line;
    for (int round = 0; round < 3; ++round) {
        Fd host = openLine(line.link());
        ASSERT_TRUE(host.valid());
        ASSERT_TRUE(writeAll(host.get(), {static_cast<std::uint8_t>('a' + round)}));
        ASSERT_TRUE(line.printer.waitForReceived(static_cast<std::size_t>(round) + 1, 3s));
    }
    EXPECT_EQ(line.printer.receivedBytes(), asBytes("abc"));
}

TEST(PtyPort, PowerCycleHangsUpTheHostAndBringsTheLineBackAtTheSamePath) {
    LinePrinter line;
    Fd host = openLine(line.link());
    ASSERT_TRUE(host.valid());

    setPower(line.printer, false);
    ASSERT_TRUE(hangsUp(host.get()));
    EXPECT_EQ(::write(host.get(), "x", 1), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_FALSE(exists(line.link())) << "nothing to reopen while the printer is off";
    EXPECT_FALSE(openLine(line.link()).valid());

    setPower(line.printer, true);
    ASSERT_TRUE(eventually([&] { return exists(line.link()); }));
    Fd again = openLine(line.link());
    ASSERT_TRUE(again.valid());
    ASSERT_TRUE(writeAll(again.get(), {0x1B, 0x76}));
    EXPECT_EQ(readBytes(again.get(), 4).size(), 4u);
    EXPECT_TRUE(line.port->lastError().empty());
}

TEST(PtyPort, AutomaticStatusArrivesWhenTheStateChanges) {
    LinePrinter line;
    Fd host = openLine(line.link());
    ASSERT_TRUE(host.valid());
    ASSERT_TRUE(writeAll(host.get(), {0x1D, 0x61, 0xFF}));
    ASSERT_TRUE(line.printer.waitForReceived(3, 3s));
    ASSERT_TRUE(line.printer.automaticStatusEnabled());
    // Switching it on reports the present block at once.
    const StatusBlock closed = line.printer.statusBlock();
    EXPECT_EQ(readBytes(host.get(), 4), Bytes(closed.begin(), closed.end()));

    line.printer.changeState([](PrinterState& s) { s.coverOpen = true; });
    const StatusBlock open = line.printer.statusBlock();
    ASSERT_NE(open, closed);
    EXPECT_EQ(readBytes(host.get(), 4), Bytes(open.begin(), open.end()));
    EXPECT_TRUE(staysQuiet(host.get(), 50ms));
}

TEST(PtyPort, ReplacesAStaleLinkButNeverAFileAndCleansUp) {
    ScratchDir scratch;
    const std::string link = scratch.file("LPT1");
    ASSERT_EQ(::symlink("/nonexistent/pts/99", link.c_str()), 0);
    VirtualPrinter printer("F60", 1);
    std::string error;
    auto port = PtyPort::open(printer, {link, {}}, &error);
    ASSERT_TRUE(port) << error;
    EXPECT_TRUE(openLine(link).valid());
    port.reset();
    EXPECT_FALSE(exists(link));

    const std::string file = scratch.file("notes");
    std::ofstream(file) << "keep me";
    EXPECT_FALSE(PtyPort::open(printer, {file, {}}, &error));
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(exists(file));
    EXPECT_FALSE(PtyPort::open(printer, {scratch.file("missing/COM1"), {}}, &error));
}

TEST(PtyPort, StartsWithoutALineWhenThePrinterIsOff) {
    ScratchDir scratch;
    VirtualPrinter printer("H81", 1);
    setPower(printer, false);
    auto port = PtyPort::open(printer, {scratch.file("COM1"), {}});
    ASSERT_TRUE(port);
    EXPECT_FALSE(exists(scratch.file("COM1")));
    setPower(printer, true);
    EXPECT_TRUE(eventually([&] { return openLine(scratch.file("COM1")).valid(); }));
}

}  // namespace
