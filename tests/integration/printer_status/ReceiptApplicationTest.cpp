// receiptso driven as a point-of-sale application drives it: handlers that
// call back into the device, an application that clears or retries and
// counts its completions, events frozen across a disable, a code page
// chosen before the printer is enabled, and calls made while a printer
// error holds the output.
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "ReceiptStatusFixture.h"
#include "platform/serial.h"
#include "schema/RegKey.h"

namespace printertest {
namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

bool contains(const emulator::Bytes& bytes, const std::vector<std::uint8_t>& wanted) {
    return std::search(bytes.begin(), bytes.end(), wanted.begin(), wanted.end()) != bytes.end();
}

// A handler that runs one call on the first event `trigger` accepts, on
// the thread that delivers it, and counts the events delivered after that
// call returned.
class HandlerProbe {
public:
    using Trigger = std::function<bool(const opos::Event&)>;
    using Action = std::function<LONG(opos::PosPrinter&)>;

    HandlerProbe(Trigger trigger, Action action) : m_trigger(std::move(trigger)), m_action(std::move(action)) {}

    // The probe must outlive the control object.
    void attach(opos::PosPrinter& control) {
        control.setEventHandler([this, &control](opos::Event& event) { onEvent(control, event); });
    }

    // Waits for the call to return; false when it did not within `limit`.
    // A call still under way is waited for anyway (60 s at most), since it
    // uses this probe.
    bool waitForCall(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        const bool inTime = m_changed.wait_for(lock, limit, [this] { return m_returned; });
        m_changed.wait_for(lock, std::chrono::seconds(60), [this] { return m_returned; });
        return inTime;
    }
    // True when an event was delivered after the call, within `window`.
    bool eventAfterCall(std::chrono::milliseconds window) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, window, [this] { return m_afterwards > 0; });
    }
    LONG rc() const { return m_rc; }
    std::chrono::milliseconds took() const { return m_took; }

private:
    void onEvent(opos::PosPrinter& control, opos::Event& event) {
        {
            std::lock_guard lock(m_mutex);
            if (m_acting) {
                ++m_afterwards;
                m_changed.notify_all();
                return;
            }
            if (!m_trigger(event)) {
                return;
            }
            m_acting = true;
        }
        const auto start = Clock::now();
        const LONG rc = m_action(control);
        std::lock_guard lock(m_mutex);
        m_took = since(start);
        m_rc = rc;
        m_returned = true;
        m_changed.notify_all();
    }

    Trigger m_trigger;
    Action m_action;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_acting = false;
    bool m_returned = false;
    int m_afterwards = 0;
    LONG m_rc = -1;
    std::chrono::milliseconds m_took{0};
};

TEST_F(ReceiptStatusTest, ReleaseCloseAndDisableFromAHandlerReturnAtOnceAndEndTheEvents) {
    struct Action {
        const char* name;
        HandlerProbe::Action call;
    };
    const Action actions[] = {
        {"release", [](opos::PosPrinter& c) { return c.releaseDevice(); }},
        {"close", [](opos::PosPrinter& c) { return c.close().rc; }},
        {"disable", [](opos::PosPrinter& c) { return c.setDeviceEnabled(false); }},
    };
    int device = 0;
    for (const bool onError : {false, true}) {
        for (const Action& action : actions) {
            SCOPED_TRACE(std::string(action.name) + (onError ? " on an error event" : " on a status event"));
            const std::string name = "RX-A14-" + std::to_string(++device);
            PrinterUnderTest& printer = addNetworkPrinter("A14", name);
            HandlerProbe probe(
                [onError](const opos::Event& e) {
                    return onError ? e.kind == opos::EventKind::Error : isStatus(e, PTR_SUE_COVER_OPEN);
                },
                action.call);
            auto control = enabled(name);
            probe.attach(*control);
            if (onError) {
                ASSERT_EQ(control->setNumber("AsyncMode", 1), OPOS_SUCCESS);
                setReceiptOut(printer, true);
                const auto deadline = Clock::now() + 5s;
                while (number(*control, "RecEmpty") == 0 && Clock::now() < deadline) {
                    std::this_thread::sleep_for(10ms);
                }
                ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, L"held\n"), OPOS_SUCCESS);
            } else {
                change(printer, &PrinterState::coverOpen, true);
            }
            EXPECT_TRUE(probe.waitForCall(5s)) << "the call from the handler blocked";
            EXPECT_EQ(probe.rc(), OPOS_SUCCESS);
            EXPECT_LT(probe.took(), 1000ms);
            // Changes that would be reported to an enabled device.
            change(printer, &PrinterState::coverOpen, !printer.state().coverOpen);
            change(printer, &PrinterState::receiptNearEnd, true);
            EXPECT_FALSE(probe.eventAfterCall(700ms)) << "an event came after the call returned";
        }
    }
}

TEST_F(PaperOutTest, ClearOutputDropsTheHeldJobsWithoutCompletionsOrPrinting) {
    holdJobs(OPOS_ER_RETRY);
    Events whileOut;
    ASSERT_TRUE(collectUntil(
        *m_control, [](const opos::Event& e) { return e.kind == opos::EventKind::Error; }, &whileOut));
    ASSERT_EQ(m_control->clearOutput(), OPOS_SUCCESS);
    setReceiptOut(*m_printer, false);
    const Events after = collect(*m_control, 1500ms);
    EXPECT_TRUE(numbers(after, opos::EventKind::OutputComplete).empty());
    EXPECT_EQ(number(*m_control, "State"), OPOS_S_IDLE);

    ASSERT_EQ(m_control->printNormal(PTR_S_RECEIPT, L"job D\n"), OPOS_SUCCESS);
    Events received;
    ASSERT_TRUE(collectUntil(
        *m_control, [](const opos::Event& e) { return e.kind == opos::EventKind::OutputComplete; }, &received));
    EXPECT_EQ(numbers(received, opos::EventKind::OutputComplete), V{4});
    settle(*m_printer);
    const emulator::Bytes bytes = m_printer->receivedBytes();
    EXPECT_EQ(occurrences(bytes, "job B\n"), 0u);
    EXPECT_EQ(occurrences(bytes, "job C\n"), 0u);
    EXPECT_EQ(occurrences(bytes, "job D\n"), 1u);
}

TEST_F(PaperOutTest, AStandingPaperOutRaisesOneErrorPerAnswerAtMostOneASecond) {
    std::mutex mutex;
    std::vector<Clock::time_point> raised;
    m_control->setEventHandler([&](opos::Event& e) {
        if (e.kind == opos::EventKind::Error) {
            std::lock_guard lock(mutex);
            raised.push_back(Clock::now());
            e.errorResponse = OPOS_ER_RETRY;
        }
    });
    holdJobs(OPOS_ER_RETRY);
    const Events whileOut = collect(*m_control, 4500ms);
    std::lock_guard lock(mutex);
    EXPECT_EQ(errors(whileOut, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY), raised.size());
    EXPECT_GE(raised.size(), 2u);
    EXPECT_LE(raised.size(), 5u);
    for (std::size_t i = 1; i < raised.size(); ++i) {
        EXPECT_GE(raised[i] - raised[i - 1], 950ms) << "error " << i;
    }
}

TEST_F(PaperOutTest, WithEventsFrozenOneErrorWaitsAndStatusUpdatesAreKept) {
    ASSERT_EQ(m_control->setNumber("FreezeEvents", 1), OPOS_SUCCESS);
    holdJobs(OPOS_ER_RETRY);
    const auto deadline = Clock::now() + 5s;
    while (number(*m_control, "State") != OPOS_S_ERROR && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(number(*m_control, "State"), OPOS_S_ERROR);
    // Long enough for a flood to fill the application's side.
    EXPECT_TRUE(collect(*m_control, 2000ms).empty());
    change(*m_printer, &PrinterState::coverOpen, true);
    while (number(*m_control, "CoverOpen") == 0 && Clock::now() < deadline + 5s) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(m_control->setNumber("FreezeEvents", 0), OPOS_SUCCESS);
    const Events thawed = collect(*m_control, 1000ms);
    EXPECT_EQ(errors(thawed, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY), 1u);
    EXPECT_EQ(numbers(thawed, opos::EventKind::StatusUpdate), V{PTR_SUE_COVER_OPEN});
}

TEST_F(PaperOutTest, PrintImmediateAndExternalCheckHealthGiveUpOnAHeldPrinterAndNeverPrintLater) {
    holdJobs(OPOS_ER_RETRY);
    Events whileOut;
    ASSERT_TRUE(collectUntil(
        *m_control, [](const opos::Event& e) { return e.kind == opos::EventKind::Error; }, &whileOut));
    // Each is bounded by the synchronous rule for its length: 5 s for the
    // short text, 13 s for the 255-byte check block.
    struct Call {
        const char* name;
        std::function<LONG()> run;
        std::chrono::milliseconds limit;
    };
    const Call calls[] = {
        {"PrintImmediate", [&] { return m_control->printImmediate(PTR_S_RECEIPT, L"immediate\n"); }, 5000ms},
        {"CheckHealth", [&] { return m_control->checkHealth(OPOS_CH_EXTERNAL); }, 13000ms},
    };
    for (const Call& call : calls) {
        SCOPED_TRACE(call.name);
        const auto start = Clock::now();
        auto result = std::async(std::launch::async, call.run);
        if (result.wait_for(call.limit + 5s) != std::future_status::ready) {
            ADD_FAILURE() << "still blocked";
            setReceiptOut(*m_printer, false);
        }
        const LONG rc = result.get();
        const auto took = since(start);
        EXPECT_EQ(rc, OPOS_E_EXTENDED);
        EXPECT_EQ(number(*m_control, "ResultCodeExtended"), OPOS_EPTR_REC_EMPTY);
        EXPECT_GE(took, call.limit - 100ms);
        EXPECT_LT(took, call.limit + 3000ms);
    }
    EXPECT_EQ(text(*m_control, "CheckHealthText"), L"External HCheck: Not Responding");
    setReceiptOut(*m_printer, false);
    Events after;
    ASSERT_TRUE(collectUntil(
        *m_control, [](const opos::Event& e) { return e.kind == opos::EventKind::OutputComplete && e.number == 3; },
        &after));
    settle(*m_printer);
    const emulator::Bytes bytes = m_printer->receivedBytes();
    EXPECT_EQ(occurrences(bytes, "immediate\n"), 0u);
    EXPECT_EQ(occurrences(bytes, "External Check!!"), 0u);
    EXPECT_EQ(occurrences(bytes, "job C\n"), 1u);
}

TEST_F(ReceiptStatusTest, AfterFreezeDisableChangeEnableTheLastUpdateMatchesTheProperty) {
    PrinterUnderTest& printer = addSerialPrinter("A14", "RX-A14");
    auto control = enabled("RX-A14");
    collect(*control, 300ms);
    ASSERT_EQ(control->setNumber("FreezeEvents", 1), OPOS_SUCCESS);
    change(printer, &PrinterState::coverOpen, true);
    const auto deadline = Clock::now() + 5s;
    while (number(*control, "CoverOpen") == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(number(*control, "CoverOpen"), 1);
    ASSERT_EQ(control->setDeviceEnabled(false), OPOS_SUCCESS);
    change(printer, &PrinterState::coverOpen, false);
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    ASSERT_EQ(control->setNumber("FreezeEvents", 0), OPOS_SUCCESS);
    const Events received = collect(*control, 1000ms);

    LONG lastCover = 0;
    for (const LONG status : numbers(received, opos::EventKind::StatusUpdate)) {
        if (status == PTR_SUE_COVER_OPEN || status == PTR_SUE_COVER_OK) {
            lastCover = status;
        }
    }
    EXPECT_EQ(number(*control, "CoverOpen"), 0);
    EXPECT_EQ(lastCover, PTR_SUE_COVER_OK);
}

TEST_F(ReceiptStatusTest, ACharacterSetChosenBeforeEnablingReachesThePrinter) {
    PrinterUnderTest& printer = addNetworkPrinter("A14", "RX-A14");
    auto control = openPrinter("RX-A14");
    ASSERT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
    ASSERT_EQ(control->setNumber("CharacterSet", 850), OPOS_SUCCESS);
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    const std::vector<std::uint8_t> table850 = {0x1B, 0x74, 0x02, 0x1B, 0x52, 0x00};
    const auto deadline = Clock::now() + 3s;
    while (!contains(printer.receivedBytes(), table850) && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(contains(printer.receivedBytes(), table850));
    EXPECT_EQ(number(*control, "CharacterSet"), 850);
}

TEST_F(ReceiptStatusTest, EnablingAPrinterThatWentOffAfterTheClaimReportsItOnce) {
    PrinterUnderTest& printer = addSerialPrinter("H81", "RX-H81");
    auto control = openPrinter("RX-H81");
    ASSERT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
    ASSERT_EQ(control->setNumber("PowerNotify", OPOS_PN_ENABLED), OPOS_SUCCESS);
    change(printer, &PrinterState::powerOn, false);
    // The line follows the power on the printer's own thread: it goes.
    const auto deadline = Clock::now() + 5s;
    while (printer.lineUp() && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_FALSE(printer.lineUp());
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    const Events received = collect(*control, 1500ms);
    const V updates = numbers(received, opos::EventKind::StatusUpdate);
    EXPECT_EQ(std::count(updates.begin(), updates.end(), OPOS_SUE_POWER_OFF_OFFLINE), 1);
    EXPECT_EQ(number(*control, "PowerState"), OPOS_PS_OFF_OFFLINE);
}

}  // namespace
}  // namespace printertest
