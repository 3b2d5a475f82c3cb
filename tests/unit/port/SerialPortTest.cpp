#include <future>
#include <thread>

#include "PortTestFixture.h"
#include "platform/types.h"
#include "portlink/portlink.h"
#include "support/FakePtyPrinter.h"

namespace porttest {
namespace {

using namespace std::chrono_literals;
using testsupport::FakePtyPrinter;

class SerialPortTest : public PortTest {
protected:
    // A printer on `port`, published at a link named after it.
    std::unique_ptr<FakePtyPrinter> printerOn(const std::string& port) {
        auto printer = std::make_unique<FakePtyPrinter>(FakePtyPrinter::Options{path(port), {}});
        mapPort(port, printer->linkPath());
        return printer;
    }
};

TEST_F(SerialPortTest, MoreThanOneBlockWaitingIsDrainedToTheNewestWholeBlock) {
    auto printer = printerOn("COM3");
    addPrinter("RX-H81", settingsFor("COM3"));
    openPrinter("RX-H81");

    printer->send({0x34, 0x00, 0x00, 0x0F});
    ASSERT_TRUE(printer->waitForHostInput(4, 2s));
    Block block{};
    Result result = read(2, &block);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 10);
    EXPECT_EQ(block, (Block{0x34, 0x00, 0x00, 0x0F}));

    // Two whole blocks queued: the newer one wins and the queue is empty,
    // so a later change is seen instead of the status freezing.
    printer->send({0x14, 0x08, 0x00, 0x0F, 0x14, 0x00, 0x00, 0x0F});
    ASSERT_TRUE(printer->waitForHostInput(8, 2s));
    result = read(2, &block);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 10);
    EXPECT_EQ(block, (Block{0x14, 0x00, 0x00, 0x0F}));
    EXPECT_TRUE(printer->waitForHostInput(0, 2s));

    // A block and a half: the whole block is handed out, the half is kept
    // for the next read, which completes it.
    printer->send({0x14, 0x08, 0x00, 0x0F, 0x34, 0x00});
    ASSERT_TRUE(printer->waitForHostInput(6, 2s));
    result = read(2, &block);
    EXPECT_EQ(result.step, 10);
    EXPECT_EQ(block, (Block{0x14, 0x08, 0x00, 0x0F}));
    EXPECT_TRUE(printer->waitForHostInput(0, 2s));
    printer->send({0x00, 0x0F});
    ASSERT_TRUE(printer->waitForHostInput(2, 2s));
    result = read(2, &block);
    EXPECT_EQ(result.step, 10);
    EXPECT_EQ(block, (Block{0x34, 0x00, 0x00, 0x0F}));
}

TEST_F(SerialPortTest, MisalignedBlockIsRepairedExceptOnF60) {
    auto repairing = printerOn("COM3");
    auto f60 = printerOn("COM4");
    addPrinter("RX-H81", settingsFor("COM3"));
    addPrinter("RX-F60", settingsFor("COM4"));
    openPrinter("RX-H81");

    // The read catches the tail of one block and the start of the next; the
    // missing 0F follows once the read has taken the four.
    repairing->send({0x0F, 0x14, 0x00, 0x00});
    ASSERT_TRUE(repairing->waitForHostInput(4, 2s));
    Block block{};
    auto reading = std::async(std::launch::async, [&] { return read(2, &block); });
    ASSERT_TRUE(repairing->waitForHostInput(0, 2s));
    repairing->send({0x0F});
    Result result = reading.get();
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 10);
    EXPECT_EQ(block, (Block{0x14, 0x00, 0x00, 0x0F}));

    // Opening the F60 makes model class 1 the current one.
    openPrinter("RX-F60");
    f60->send({0x0F, 0x14, 0x00, 0x00});
    ASSERT_TRUE(f60->waitForHostInput(4, 2s));
    result = read(3, &block);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 10);
    EXPECT_EQ(block, (Block{0x0F, 0x14, 0x00, 0x00}));
}

TEST_F(SerialPortTest, UnrepairableBlocksAreMarkedAndFail) {
    struct Case {
        Block read;
        Block marked;
        int32_t step;
    };
    const Case cases[] = {
        {{0x03, 0x83, 0x00, 0x00}, {0x00, 0x00, 0x00, 0xF0}, 31},
        {{0x03, 0x01, 0x81, 0x00}, {0x00, 0x00, 0x00, 0xF0}, 33},
        {{0x83, 0x01, 0x02, 0x03}, {0x01, 0x02, 0x03, 0xF0}, 35},
        {{0x03, 0x01, 0x02, 0x00}, {0x14, 0x00, 0x00, 0x0F}, 39},
    };
    auto printer = printerOn("COM3");
    addPrinter("RX-H81", settingsFor("COM3"));
    openPrinter("RX-H81");
    for (const Case& c : cases) {
        printer->send(Bytes(c.read.begin(), c.read.end()));
        ASSERT_TRUE(printer->waitForHostInput(4, 2s));
        Block block{};
        const Result result = read(2, &block);
        EXPECT_EQ(result.value, 0) << c.step;
        EXPECT_EQ(result.step, c.step);
        EXPECT_EQ(result.sysError, -1) << c.step;
        EXPECT_EQ(block, c.marked) << c.step;
    }
}

TEST_F(SerialPortTest, WriteWaitFollowsTimeOutLengthAndWriteClass) {
    auto printer = printerOn("COM3");
    schema::PortSettings settings = settingsFor("COM3");
    settings.handshake = schema::HandshakeXonXoff;
    settings.timeOut = 300;
    addPrinter("RX-H81", settings);
    openPrinter("RX-H81");

    // XOFF holds the host's output; wait until it has taken effect.
    printer->send({0x13});
    const auto deadline = Clock::now() + 5s;
    while (write(2, bytesOf("probe"), 50).step != 15 && Clock::now() < deadline) {
    }

    // 2500 bytes, write class 3, no caller time-out: 2 x 1000 + TimeOut.
    auto start = Clock::now();
    Result result = write(2, Bytes(2500, 'x'), 0);
    long long elapsed = millisecondsSince(start);
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 15);
    EXPECT_EQ(result.sysError, platform::ERROR_IO_PENDING);
    EXPECT_GE(elapsed, 2250);
    EXPECT_LT(elapsed, 3500);

    // A caller's time-out wins.
    start = Clock::now();
    result = write(2, bytesOf("short"), 400);
    elapsed = millisecondsSince(start);
    EXPECT_EQ(result.step, 15);
    EXPECT_GE(elapsed, 380);
    EXPECT_LT(elapsed, 1500);

    // ReSetPrintWork ends a waiting write as if it had completed.
    start = Clock::now();
    auto writing = std::async(std::launch::async, [&] { return write(2, bytesOf("woken"), 10000); });
    while (writing.wait_for(10ms) != std::future_status::ready) {
        ReSetPrintWork(2, 0);
    }
    result = writing.get();
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 12);
    EXPECT_LT(millisecondsSince(start), 5000);

    // XON: the line flows again, and what timed out was purged.
    const std::size_t before = printer->received().size();
    printer->send({0x11});
    EXPECT_EQ(write(2, bytesOf("flowing"), 0).step, 12);
    ASSERT_TRUE(printer->waitForReceived(before + 7, 2s));
    const Bytes received = printer->received();
    EXPECT_EQ(Bytes(received.end() - 7, received.end()), bytesOf("flowing"));
}

TEST_F(SerialPortTest, ModemStatusFollowsThePeerAndThePortReopensByPath) {
    auto printer = printerOn("COM3");
    addPrinter("RX-H81", settingsFor("COM3"));
    openPrinter("RX-H81");

    Result result = status(2);
    EXPECT_EQ(result.value, 0x30);
    EXPECT_EQ(result.step, 5);
    EXPECT_EQ(result.sysError, 0x30);

    printer->unplug();
    result = status(2);
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.sysError, 0);
    result = write(2, bytesOf("lost"));
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 13);
    EXPECT_EQ(result.sysError, platform::ERROR_DEVICE_NOT_CONNECTED);

    printer->plug();
    EXPECT_EQ(status(2).value, 0x30);
    EXPECT_EQ(write(2, bytesOf("back")).step, 12);
    ASSERT_TRUE(printer->waitForReceived(4, 2s));
    EXPECT_EQ(printer->received(), bytesOf("back"));
}

TEST_F(SerialPortTest, FailedOpensLeaveNothingBehind) {
    auto printer = printerOn("COM3");
    mapPort("COM7", path("no-such-device"));
    addPrinter("RX-K92", settingsFor("COM7"));
    Opened opened = openPrinter("RX-K92");
    EXPECT_EQ(opened.step, 45);
    EXPECT_EQ(opened.sysError, platform::ERROR_FILE_NOT_FOUND);

    // A rate the line cannot take fails after the device was opened.
    schema::PortSettings odd = settingsFor("COM3");
    odd.baudrate = 12345;
    addPrinter("RX-H81", odd);
    const std::size_t descriptors = openDescriptorCount();
    opened = openPrinter("RX-H81");
    EXPECT_EQ(opened.handle, -1);
    EXPECT_EQ(opened.step, 49);
    EXPECT_EQ(opened.sysError, platform::ERROR_INVALID_PARAMETER);
    EXPECT_EQ(openDescriptorCount(), descriptors);

    // Nothing holds the device now: a good open gets it, not a share.
    addPrinter("RX-G72", settingsFor("COM3"));
    opened = openPrinter("RX-G72");
    EXPECT_EQ(opened.step, 10);

    // A device is opened without sharing: another port name on it is refused.
    mapPort("COM8", printer->linkPath());
    addPrinter("RX-A11", settingsFor("COM8"));
    opened = openPrinter("RX-A11");
    EXPECT_EQ(opened.step, 45);
    EXPECT_EQ(opened.sysError, platform::ERROR_ACCESS_DENIED);
}

}  // namespace
}  // namespace porttest
