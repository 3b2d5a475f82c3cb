// Printers as a till meets them: slow to take data, late to answer, paused
// by a cut, switched off under a shared port, of two models in one
// process. Every byte that WritePort accepted must reach the printer in
// order, or WritePort must report that it did not.
#include <future>
#include <memory>

#include "PortTestFixture.h"
#include "platform/socket.h"
#include "portlink/portlink.h"
#include "support/FakeNetPrinter.h"
#if CVOPOS_PSEUDO_TERMINALS
#include "UsbTestSupport.h"
#include "support/FakePtyPrinter.h"
#endif

namespace porttest {
namespace {

using namespace std::chrono_literals;
using testsupport::FakeNetPrinter;
#if CVOPOS_PSEUDO_TERMINALS
using testsupport::FakePtyPrinter;
#endif

// A job whose bytes tell their place, so a gap or a reordering shows.
Bytes numberedJob(std::size_t size) {
    Bytes job(size);
    for (std::size_t i = 0; i < size; ++i) {
        job[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return job;
}

class SlowPrinterTest : public PortTest {
#if CVOPOS_PSEUDO_TERMINALS
protected:
    std::unique_ptr<FakePtyPrinter> printerOn(const std::string& port, FakePtyPrinter::Options options = {}) {
        options.linkPath = path(port);
        auto printer = std::make_unique<FakePtyPrinter>(options);
        mapPort(port, printer->linkPath());
        return printer;
    }
#endif
};

TEST_F(SlowPrinterTest, NetworkJobSurvivesALateStatusAnswerAndTheClose) {
    FakeNetPrinter printer;
    printer.setPace(4096, 20ms);
    printer.setAnswerDelay(300ms);
    addPrinter("RX-A14", settingsFor(printer.portValue()));
    const int32_t index = openPrinter("RX-A14").index;

    const Bytes job = numberedJob(400 * 1024);
    auto writing = std::async(std::launch::async, [&] { return write(index, job, 0); });
    ASSERT_TRUE(printer.waitForReceived(32 * 1024, 10s));
    // Automatic status waits unread on the data connection while the
    // status thread's request goes unanswered in time.
    printer.sendAutomaticStatus();
    Block block{};
    EXPECT_EQ(read(index, &block).step, 7);
    const Result written = writing.get();
    EXPECT_EQ(written.value, 1);
    EXPECT_EQ(written.step, 4);
    printer.sendAutomaticStatus();
    EXPECT_EQ(read(index, &block).step, 7);

    const Result closed = close(index);
    EXPECT_EQ(closed.step, 2);
    EXPECT_NE(closed.sysError, platform::WSAETIMEDOUT);
    // ClosePort returned only after the printer had read everything.
    EXPECT_EQ(printer.received().size(), job.size());
    ASSERT_TRUE(printer.waitForReceived(job.size(), 10s));
    EXPECT_EQ(printer.received(), job);
}

#if CVOPOS_PSEUDO_TERMINALS
TEST_F(SlowPrinterTest, UsbJobAfterAReopenSurvivesASlowPausingPrinter) {
    ASSERT_TRUE(usblinkLoaded());
    UsbDevicePattern pattern(path("lp*"));
    FakePtyPrinter::Options options;
    options.linkPath = path("lp0");
    options.deviceId = usbDeviceId(90);
    options.paceBytes = 1024;
    options.paceInterval = 20ms;
    options.pauseAfter = 40 * 1024;
    options.pauseFor = 800ms;
    FakePtyPrinter printer(options);
    schema::PortSettings settings = settingsFor("USB1");
    settings.internalId = 90;
    settings.usbPrintName = "USB_RX-A14_3";
    addPrinter("RX-A14", settings);
    const int32_t index = openPrinter("RX-A14").index;
    ASSERT_EQ(index, 44);

    // Pulled and plugged back: the status reader reopens the device.
    printer.unplug();
    Block block{};
    EXPECT_EQ(read(index, &block).value, 0);
    printer.plug();
    ASSERT_EQ(read(index, &block).step, 8);
    const std::size_t before = printer.received().size();

    const Bytes job = numberedJob(96 * 1024);
    const Result written = write(index, job, 0);
    EXPECT_EQ(written.value, 1);
    EXPECT_EQ(written.step, 8);
    ASSERT_TRUE(printer.waitForReceived(before + job.size(), 10s));
    const Bytes received = printer.received();
    EXPECT_EQ(Bytes(received.begin() + static_cast<std::ptrdiff_t>(before), received.end()), job);

    // The last close waits for a transfer under way instead of closing the
    // device beneath it.
    auto writing = std::async(std::launch::async, [&] { return write(index, numberedJob(8 * 1024), 0); });
    ASSERT_TRUE(printer.waitForReceived(before + job.size() + 1024, 5s));
    close(index);
    EXPECT_EQ(writing.get().value, 1);
}

TEST_F(SlowPrinterTest, TwoModelsInOneProcessKeepTheirOwnRules) {
    auto f60 = printerOn("COM4");
    auto a14 = printerOn("COM3");
    auto b20 = printerOn("COM5");
    addPrinter("RX-F60", settingsFor("COM4"));
    addPrinter("RX-A14", settingsFor("COM3"));
    schema::PortSettings slow = settingsFor("COM5");
    slow.handshake = schema::HandshakeXonXoff;
    slow.timeOut = 300;
    addPrinter("RX-B20", slow);
    ASSERT_EQ(openPrinter("RX-F60").index, 3);
    ASSERT_EQ(openPrinter("RX-B20").index, 4);
    ASSERT_EQ(openPrinter("RX-A14").index, 2);

    // The F60's own block is aligned for it, whoever opened a port last.
    f60->send({0x14, 0x00, 0x60, 0x6F});
    ASSERT_TRUE(f60->waitForHostInput(4, 2s));
    Block block{};
    Result result = read(3, &block);
    EXPECT_EQ(result.step, 10);
    EXPECT_EQ(block, (Block{0x14, 0x00, 0x60, 0x6F}));

    // A B20 that holds the line (XOFF) for longer than a fast printer's
    // wait for 2500 bytes (2 x 1000 + 300 ms) still gets them all.
    b20->send({0x13});
    const auto deadline = Clock::now() + 5s;
    while (write(4, bytesOf("probe"), 50).step != 15 && Clock::now() < deadline) {
    }
    const std::size_t before = b20->received().size();
    auto writing = std::async(std::launch::async, [&] { return write(4, Bytes(2500, 'b'), 0); });
    EXPECT_EQ(writing.wait_for(2600ms), std::future_status::timeout);
    b20->send({0x11});
    result = writing.get();
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 12);
    EXPECT_TRUE(b20->waitForReceived(before + 2500, 5s));
}

TEST_F(SlowPrinterTest, SerialBlockIsHandedOutOnlyWhenAlignedForItsModel) {
    auto common = printerOn("COM3");
    auto e50 = printerOn("COM4");
    addPrinter("RX-A14", settingsFor("COM3"));
    addPrinter("RX-E50", settingsFor("COM4"));
    openPrinter("RX-A14");
    openPrinter("RX-E50");

    // A backlog with no aligned block: nothing is made up from it, and its
    // tail completes the block that follows.
    common->send({0x00, 0x0F, 0x2C, 0x34, 0x00, 0x00});
    ASSERT_TRUE(common->waitForHostInput(6, 2s));
    Block block{};
    Result result = read(2, &block);
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 41);
    EXPECT_EQ(block, (Block{0x14, 0x00, 0x00, 0x0F}));
    EXPECT_TRUE(common->waitForHostInput(0, 2s));
    common->send({0x0F});
    ASSERT_TRUE(common->waitForHostInput(1, 2s));
    result = read(2, &block);
    EXPECT_EQ(result.step, 10);
    EXPECT_EQ(block, (Block{0x34, 0x00, 0x00, 0x0F}));

    // An E50 reports cover open and closed in its own layout.
    for (const Block& sent : {Block{0x02, 0x00, 0x00, 0x0F}, Block{0x00, 0x00, 0x00, 0x0F}}) {
        e50->send(Bytes(sent.begin(), sent.end()));
        ASSERT_TRUE(e50->waitForHostInput(4, 2s));
        result = read(3, &block);
        EXPECT_EQ(result.value, 1);
        EXPECT_EQ(result.step, 10);
        EXPECT_EQ(block, sent);
    }
    // Caught mid-block, the E50's block is found once its last byte follows.
    e50->send({0x0F, 0x02, 0x00, 0x00});
    ASSERT_TRUE(e50->waitForHostInput(4, 2s));
    auto reading = std::async(std::launch::async, [&] { return read(3, &block); });
    ASSERT_TRUE(e50->waitForHostInput(0, 2s));
    e50->send({0x0F});
    result = reading.get();
    EXPECT_EQ(result.step, 10);
    EXPECT_EQ(block, (Block{0x02, 0x00, 0x00, 0x0F}));
}

TEST_F(SlowPrinterTest, ParallelPortSwitchedOffStaysCountedForEveryUser) {
    auto printer = printerOn("LPT1");
    addPrinter("RX-A14", settingsFor("LPT1"));
    addDevice(schema::kCashDrawerClass, "RX-A14Drawer", settingsFor("LPT1"));
    const Opened opened = openPrinter("RX-A14");
    ASSERT_EQ(opened.index, 40);

    printer->unplug();
    Block block{};
    EXPECT_EQ(read(40, &block).step, 1);
    printer->plug();
    const Opened drawer = open(schema::kCashDrawerClass, "RX-A14Drawer");
    EXPECT_EQ(drawer.index, 40);
    EXPECT_EQ(drawer.step, 4);

    EXPECT_EQ(close(40).step, 6);
    EXPECT_EQ(write(40, bytesOf("kick")).step, 2);
    ASSERT_TRUE(printer->waitForReceived(4, 2s));
    EXPECT_TRUE(printer->hostConnected()) << "the drawer's reference keeps the port open";
}

TEST_F(SlowPrinterTest, ParallelWriteNeverWaitsBehindAStatusRead) {
    auto printer = printerOn("LPT1");
    addPrinter("RX-A14", settingsFor("LPT1"));
    ASSERT_EQ(openPrinter("RX-A14").index, 40);

    // The idle printer sends no status, so the read waits its full time.
    Block block{};
    auto reading = std::async(std::launch::async, [&] { return read(40, &block); });
    long long slowest = 0;
    int writes = 0;
    while (reading.wait_for(20ms) != std::future_status::ready) {
        const auto start = Clock::now();
        EXPECT_EQ(write(40, bytesOf("line\n")).step, 2);
        slowest = std::max(slowest, millisecondsSince(start));
        ++writes;
    }
    EXPECT_EQ(reading.get().step, 44);
    EXPECT_GT(writes, 10);
    EXPECT_LT(slowest, 100);
}

#else
// Printers on pseudo-terminals are made with POSIX calls.
TEST_F(SlowPrinterTest, SerialParallelAndUsbCasesNeedPseudoTerminals) { GTEST_SKIP() << kNoPseudoTerminals; }
#endif

}  // namespace
}  // namespace porttest
