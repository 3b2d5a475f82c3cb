#include "PortTestFixture.h"
#include "platform/serial.h"
#include "portlink/portlink.h"
#include "support/FakePtyPrinter.h"

namespace porttest {
namespace {

using namespace std::chrono_literals;
using testsupport::FakePtyPrinter;

class ParallelPortTest : public PortTest {
protected:
    void SetUp() override {
        m_printer = std::make_unique<FakePtyPrinter>(FakePtyPrinter::Options{path("LPT2"), {}});
        mapPort("LPT2", m_printer->linkPath());
        addPrinter("RX-H81", settingsFor("LPT2"));
        const Opened opened = openPrinter("RX-H81");
        ASSERT_EQ(opened.index, 41);
        ASSERT_EQ(opened.kind, PORT_PAR);
        ASSERT_EQ(opened.step, 8);
        ASSERT_EQ(opened.sysError, -2);
    }

    FakePtyPrinter& printer() { return *m_printer; }

private:
    std::unique_ptr<FakePtyPrinter> m_printer;
};

TEST_F(ParallelPortTest, StatusReadReopensThePortAndKeepsTheLastBlock) {
    EXPECT_EQ(write(41, bytesOf("ticket")).step, 2);
    ASSERT_TRUE(printer().waitForReceived(6, 2s));

    printer().send({0x34, 0x00, 0x00, 0x0F});
    Block block{};
    Result result = read(41, &block);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 22);
    EXPECT_EQ(result.sysError, -22);
    EXPECT_EQ(block, (Block{0x34, 0x00, 0x00, 0x0F}));

    // Nothing to read: after the port's read time-out the shared block stands.
    const auto start = Clock::now();
    block = {};
    result = read(41, &block);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 44);
    EXPECT_EQ(result.sysError, -44);
    EXPECT_EQ(block, (Block{0x34, 0x00, 0x00, 0x0F}));
    EXPECT_GE(millisecondsSince(start), 2900);

    // The reopened port still prints, and the printer never saw it go.
    EXPECT_TRUE(printer().hostConnected());
    EXPECT_EQ(write(41, bytesOf("more")).step, 2);
    ASSERT_TRUE(printer().waitForReceived(10, 2s));
    EXPECT_EQ(printer().received(), bytesOf("ticketmore"));
}

TEST_F(ParallelPortTest, PortThatCouldNotBeReopenedIsOpenedAgainOnceThePrinterIsBack) {
    printer().unplug();
    Block block{};
    const Result result = read(41, &block);
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 1);
    EXPECT_EQ(result.sysError, platform::ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(write(41, bytesOf("off")).step, 1);

    printer().plug();
    EXPECT_EQ(write(41, bytesOf("on")).step, 2);
    ASSERT_TRUE(printer().waitForReceived(2, 2s));
    EXPECT_EQ(printer().received(), bytesOf("on"));
}

TEST_F(ParallelPortTest, StatusQueryAsksThePrinterAndTwiceBeforeGivingUp) {
    Result result = status(41);
    EXPECT_EQ(result.value, 0xF0);
    EXPECT_EQ(result.step, 6);
    EXPECT_EQ(result.sysError, static_cast<int8_t>(platform::PARALLEL_SELECTED));
    EXPECT_EQ(printer().statusRequests(), 1);

    printer().setAnswering(false);
    result = status(41);
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 3);
    EXPECT_EQ(result.sysError, platform::PARALLEL_OFF_LINE);
    EXPECT_EQ(printer().statusRequests(), 3);

    printer().unplug();
    result = status(41);
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.step, 3);
    EXPECT_EQ(result.sysError, platform::PARALLEL_POWER_OFF | platform::PARALLEL_NOT_CONNECTED);

    printer().setAnswering(true);
    printer().plug();
    EXPECT_EQ(status(41).value, 0xF0);
}

TEST_F(ParallelPortTest, AutomaticStatusWaitingBeforeAQuerySurvivesIt) {
    printer().send({0x14, 0x00, 0x0C, 0x0F});
    ASSERT_TRUE(printer().waitForHostInput(4, 2s));
    EXPECT_EQ(status(41).value, 0xF0);

    Block block{};
    const Result result = read(41, &block);
    EXPECT_EQ(result.step, 22);
    EXPECT_EQ(block, (Block{0x14, 0x00, 0x0C, 0x0F}));
}

}  // namespace
}  // namespace porttest
