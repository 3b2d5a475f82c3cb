// Status the printer sends by itself reaches the application at once; the
// poll still finds a printer that sends nothing, and the events stay the
// same ones, in the same order.
#include <functional>
#include <thread>
#include <utility>

#include "ReceiptStatusFixture.h"

namespace printertest {
namespace {

using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class StatusArrivalTest : public ReceiptStatusTest {
public:
    using ReceiptStatusTest::collect;
};

// Cover changes at different points of the monitor's cycle, each reported
// well inside one cycle; most of them within a few milliseconds.
void expectPromptCoverChanges(PrinterUnderTest& printer, opos::ControlObject& control) {
    // What enabling reported of the printer's first state.
    StatusArrivalTest::collect(control, 300ms);
    std::vector<long long> took;
    for (int change = 0; change < 7; ++change) {
        const bool open = change % 2 == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(37 * change));
        const auto changed = Clock::now();
        printer.changeState([open](PrinterState& state) { state.coverOpen = open; });
        opos::Event event;
        ASSERT_TRUE(control.waitForEvent(&event, 5s)) << "change " << change;
        took.push_back(millisecondsSince(changed));
        EXPECT_EQ(event.number, open ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK) << "change " << change;
        EXPECT_LT(took.back(), 150) << "change " << change;
    }
    std::sort(took.begin(), took.end());
    EXPECT_LT(took[took.size() / 2], 30) << "median of " << took.size() << " changes";
}


TEST_F(StatusArrivalTest, NetworkCoverChangesAreSeenAsThePrinterSendsThem) {
    auto& printer = addNetworkPrinter("A14", "RX-A14");
    auto control = enabled("RX-A14");
    expectPromptCoverChanges(printer, *control);
}

TEST_F(StatusArrivalTest, SerialCoverChangesAreSeenAsThePrinterSendsThem) {
    auto& printer = addSerialPrinter("A14", "RX-A14");
    auto control = enabled("RX-A14");
    expectPromptCoverChanges(printer, *control);
}

TEST_F(StatusArrivalTest, APrinterThatSendsNoStatusByItselfIsStillSeenByThePoll) {
    auto& printer = addNetworkPrinter("A14", "RX-A14");
    auto control = enabled("RX-A14");
    // GS a 0: automatic status off, as a printer set up that way runs.
    const std::uint8_t off[] = {0x1D, 0x61, 0x00};
    printer.receive(off);
    ASSERT_FALSE(printer.automaticStatusEnabled());
    change(printer, &PrinterState::coverOpen, true);
    Events received;
    EXPECT_TRUE(collectUntil(*control, [](const opos::Event& e) { return isStatus(e, PTR_SUE_COVER_OPEN); },
                             &received, 2s));
    change(printer, &PrinterState::coverOpen, false);
    EXPECT_TRUE(collectUntil(*control, [](const opos::Event& e) { return isStatus(e, PTR_SUE_COVER_OK); },
                             &received, 2s));
    EXPECT_EQ(numbers(received, opos::EventKind::StatusUpdate), (V{PTR_SUE_COVER_OPEN, PTR_SUE_COVER_OK}));
}

// Each change is reported once, in the order it happened, and nothing more
// follows while the printer stays as it is.
TEST_F(StatusArrivalTest, EachPushedChangeIsReportedOnceAndInOrder) {
    for (const bool serial : {false, true}) {
        SCOPED_TRACE(serial ? "serial" : "network");
        const std::string key = serial ? "RX-A14S" : "RX-A14";
        auto& printer = serial ? addSerialPrinter("A14", key) : addNetworkPrinter("A14", key);
        auto control = enabled(key);
        collect(*control, 300ms);
        const std::vector<std::pair<std::function<void(PrinterState&)>, LONG>> steps = {
            {[](PrinterState& s) { s.coverOpen = true; }, PTR_SUE_COVER_OPEN},
            {[](PrinterState& s) { s.receiptNearEnd = true; }, PTR_SUE_REC_NEAREMPTY},
            {[](PrinterState& s) { s.receiptEnd = true; }, PTR_SUE_REC_EMPTY},
            {[](PrinterState& s) { s.receiptEnd = false, s.receiptNearEnd = false; }, PTR_SUE_REC_PAPEROK},
            {[](PrinterState& s) { s.coverOpen = false; }, PTR_SUE_COVER_OK},
        };
        Events received;
        V expected;
        for (const auto& [step, status] : steps) {
            printer.changeState(step);
            expected.push_back(status);
            const LONG wanted = status;
            ASSERT_TRUE(collectUntil(*control, [wanted](const opos::Event& e) { return isStatus(e, wanted); },
                                     &received));
        }
        const Events after = collect(*control, 600ms);
        received.insert(received.end(), after.begin(), after.end());
        EXPECT_EQ(numbers(received, opos::EventKind::StatusUpdate), expected);
        control->close();
    }
}

}  // namespace
}  // namespace printertest
