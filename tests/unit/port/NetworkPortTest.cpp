#include <atomic>
#include <random>

#include "PortTestFixture.h"
#include "platform/socket.h"
#include "portlink/PortlinkTesting.h"
#include "portlink/portlink.h"
#include "support/FakeNetPrinter.h"

namespace porttest {
namespace {

using namespace std::chrono_literals;
using testsupport::FakeNetPrinter;

std::atomic<platform::DWORD> g_testNow{0};
platform::DWORD testNow() { return g_testNow; }

// A loopback address nothing listens on: connects to it are refused.
std::string silentAddress() {
    std::random_device seed;
    std::uniform_int_distribution<int> part(1, 254);
    return "127." + std::to_string(part(seed)) + "." + std::to_string(part(seed)) + ".255";
}

class NetworkPortTest : public PortTest {
protected:
    void TearDown() override {
        PortTest::TearDown();
        port::setTickSourceForTesting(nullptr);
    }
};

TEST_F(NetworkPortTest, DataAndStatusTravelOnTheirOwnConnections) {
    FakeNetPrinter printer;
    addPrinter("RX-H81", settingsFor(printer.portValue()));
    const Opened opened = openPrinter("RX-H81");
    EXPECT_EQ(opened.handle, 1);
    EXPECT_EQ(opened.kind, PORT_ETH);
    EXPECT_GE(opened.index, 52);
    EXPECT_LE(opened.index, 101);
    EXPECT_EQ(opened.step, 60);
    EXPECT_EQ(opened.sysError, -2);
    EXPECT_TRUE(printer.waitForOpenConnections(1, 1, 2s));

    Result result = write(opened.index, bytesOf("receipt"));
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 4);
    EXPECT_EQ(result.sysError, -2);
    printer.setStatus({0x14, 0x00, 0x0C, 0x0F});
    Block block{};
    result = read(opened.index, &block);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 4);
    EXPECT_EQ(block, (Block{0x14, 0x00, 0x0C, 0x0F}));
    ASSERT_TRUE(printer.waitForReceived(7, 2s));
    EXPECT_EQ(printer.received(), bytesOf("receipt")) << "status requests stay off the data connection";

    result = status(opened.index);
    EXPECT_EQ(result.value, 0xF0);
    EXPECT_EQ(result.step, 8);
}

TEST_F(NetworkPortTest, DevicesOnOneAddressShareASlotUntilTheLastClose) {
    FakeNetPrinter printer;
    addPrinter("RX-H81", settingsFor(printer.portValue()));
    addDevice(schema::kCashDrawerClass, "RX-H81Drawer", settingsFor(printer.portValue()));
    const Opened first = openPrinter("RX-H81");
    const Opened second = open(schema::kCashDrawerClass, "RX-H81Drawer");
    EXPECT_EQ(second.index, first.index);
    EXPECT_EQ(second.handle, 1);
    EXPECT_EQ(second.kind, PORT_ETH);
    EXPECT_EQ(second.step, 2);
    EXPECT_TRUE(printer.waitForOpenConnections(1, 1, 2s));
    EXPECT_EQ(printer.dataConnectionsAccepted(), 1);

    EXPECT_EQ(close(first.index).step, 2);
    EXPECT_TRUE(printer.waitForOpenConnections(1, 1, 2s));
    EXPECT_EQ(write(first.index, bytesOf("drawer")).step, 4);
    EXPECT_EQ(close(first.index).step, 2);
    EXPECT_TRUE(printer.waitForOpenConnections(0, 0, 2s));

    const Result extra = close(first.index);
    EXPECT_EQ(extra.value, 1);
    EXPECT_EQ(extra.step, 2);
    EXPECT_EQ(extra.sysError, -1);
    EXPECT_EQ(write(first.index, bytesOf("closed")).step, 1);
}

TEST_F(NetworkPortTest, FiftyFirstPrinterFindsNoSlot) {
    std::vector<std::unique_ptr<FakeNetPrinter>> printers;
    for (int number = 0; number <= 50; ++number) {
        printers.push_back(std::make_unique<FakeNetPrinter>());
        addPrinter("RX-H81_" + std::to_string(number), settingsFor(printers.back()->portValue()));
    }
    for (int number = 0; number < 50; ++number) {
        ASSERT_EQ(openPrinter("RX-H81_" + std::to_string(number)).step, 60) << number;
    }
    const Opened last = openPrinter("RX-H81_50");
    EXPECT_EQ(last.handle, -1);
    EXPECT_EQ(last.step, 5);
    EXPECT_EQ(last.sysError, -1);
}

TEST_F(NetworkPortTest, UnreachablePrinterFailsAfterThreeSecondsLeavingNothing) {
    addPrinter("RX-H81", settingsFor("NET" + silentAddress()));
    // The first failed open may set up what the process keeps for good
    // (Wine's socket machinery); every later one must leave nothing behind.
    openPrinter("RX-H81");
    const std::size_t descriptors = openDescriptorCount();
    const auto start = Clock::now();
    const Opened opened = openPrinter("RX-H81");
    const long long elapsed = millisecondsSince(start);
    EXPECT_EQ(opened.handle, -1);
    EXPECT_EQ(opened.step, 79);
    EXPECT_EQ(opened.sysError, 0);
    EXPECT_GE(elapsed, 2900);
    EXPECT_LT(elapsed, 4500);
    EXPECT_EQ(openDescriptorCount(), descriptors);
    // The slot was not taken: reading it finds no printer.
    Block block{};
    EXPECT_EQ(read(opened.index, &block).step, 1);
}

TEST_F(NetworkPortTest, WriteAfterMoreThanTwoIdleMinutesReconnectsFirst) {
    g_testNow = 1000;
    port::setTickSourceForTesting(&testNow);
    FakeNetPrinter printer;
    addPrinter("RX-H81", settingsFor(printer.portValue()));
    const int32_t index = openPrinter("RX-H81").index;

    EXPECT_EQ(write(index, bytesOf("a")).step, 4);
    g_testNow += 119000;
    EXPECT_EQ(write(index, bytesOf("b")).step, 4);
    ASSERT_TRUE(printer.waitForReceived(2, 2s));
    EXPECT_EQ(printer.dataConnectionsAccepted(), 1);

    g_testNow += 121000;
    EXPECT_EQ(write(index, bytesOf("c")).step, 4);
    ASSERT_TRUE(printer.waitForReceived(3, 2s));
    EXPECT_EQ(printer.received(), bytesOf("abc"));
    EXPECT_EQ(printer.dataConnectionsAccepted(), 2);
    EXPECT_TRUE(printer.waitForOpenConnections(1, 1, 2s)) << "the idle connection is closed";
}

TEST_F(NetworkPortTest, SilentPrinterLeavesTheSlotHalfConnectedUntilReconnected) {
    FakeNetPrinter printer;
    addPrinter("RX-H81", settingsFor(printer.portValue()));
    const int32_t index = openPrinter("RX-H81").index;

    printer.setAnswering(false);
    Block block{};
    Result result = read(index, &block);
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 7);
    EXPECT_EQ(result.sysError, platform::WSAEWOULDBLOCK);
    EXPECT_TRUE(printer.waitForOpenConnections(0, 0, 2s));
    EXPECT_EQ(status(index).value, 0xF0);

    printer.setAnswering(true);
    result = read(index, &block);
    EXPECT_EQ(result.step, 4);
    EXPECT_EQ(write(index, bytesOf("x")).sysError, platform::WSAENOTSOCK);

    result.value = ReOpenNetPort(index, 1, &result.step, &result.sysError);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 24);
    result.value = ReOpenNetPort(index, 1, &result.step, &result.sysError);
    EXPECT_EQ(result.step, 22);
    EXPECT_EQ(write(index, bytesOf("back")).step, 4);
    ASSERT_TRUE(printer.waitForReceived(4, 2s));
    EXPECT_EQ(printer.received(), bytesOf("back"));

    // A second device on the half-connected address connects it afresh.
    addDevice(schema::kCashDrawerClass, "RX-H81Drawer", settingsFor(printer.portValue()));
    printer.setAnswering(false);
    EXPECT_EQ(read(index, &block).step, 7);
    const Opened drawer = open(schema::kCashDrawerClass, "RX-H81Drawer");
    EXPECT_EQ(drawer.index, index);
    EXPECT_EQ(drawer.step, 60);
    EXPECT_TRUE(printer.waitForOpenConnections(1, 1, 2s));
}

TEST_F(NetworkPortTest, SendThePrinterDoesNotTakeEndsAfterFiveSeconds) {
    FakeNetPrinter printer;
    addPrinter("RX-H81", settingsFor(printer.portValue()));
    const int32_t index = openPrinter("RX-H81").index;
    printer.setReading(false);

    const auto start = Clock::now();
    const Result result = write(index, Bytes(32 * 1024 * 1024, 'x'));
    const long long elapsed = millisecondsSince(start);
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 5);
    EXPECT_EQ(result.sysError, platform::WSAETIMEDOUT);
    EXPECT_GE(elapsed, 4900);
    EXPECT_LT(elapsed, 15000);
}

}  // namespace
}  // namespace porttest
