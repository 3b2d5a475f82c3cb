#pragma once
// What the receiptso status tests share: a device opened, claimed and
// enabled through the control object, and the ways they collect and count
// the events the application gets.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"

namespace printertest {

using namespace common;
using emulator::PrinterState;
using Events = std::vector<opos::Event>;
using V = std::vector<LONG>;

class ReceiptStatusTest : public ReceiptSoTest {
protected:
    // Opens, claims and enables `keyName`; PowerNotify is set before enabling.
    std::unique_ptr<opos::PosPrinter> enabled(const std::string& keyName, bool powerNotify = false) {
        auto control = openPrinter(keyName);
        EXPECT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
        if (powerNotify) {
            EXPECT_EQ(control->setNumber("PowerNotify", OPOS_PN_ENABLED), OPOS_SUCCESS);
        }
        EXPECT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
        return control;
    }

    // Every event that arrives within `window` (with none, those queued).
    static Events collect(opos::ControlObject& control, std::chrono::milliseconds window) {
        Events received;
        const auto deadline = std::chrono::steady_clock::now() + window;
        opos::Event event;
        for (;;) {
            const auto left = std::max(0ms, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                deadline - std::chrono::steady_clock::now()));
            if (!control.waitForEvent(&event, left)) {
                return received;
            }
            received.push_back(event);
        }
    }

    // Collects events until `done` holds for one of them (included) or the
    // time-out passed.
    template <typename Predicate>
    static bool collectUntil(opos::ControlObject& control, Predicate done, Events* received,
                             std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        opos::Event event;
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left <= 0ms || !control.waitForEvent(&event, left)) {
                return false;
            }
            received->push_back(event);
            if (done(event)) {
                return true;
            }
        }
    }

    static std::vector<LONG> numbers(const Events& events, opos::EventKind kind) {
        std::vector<LONG> values;
        for (const opos::Event& event : events) {
            if (event.kind == kind) {
                values.push_back(event.number);
            }
        }
        return values;
    }

    static std::size_t errors(const Events& events, LONG resultCode, LONG extended) {
        return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [&](const opos::Event& e) {
            return e.kind == opos::EventKind::Error && e.resultCode == resultCode &&
                   e.resultCodeExtended == extended;
        }));
    }

    static bool isStatus(const opos::Event& event, LONG status) {
        return event.kind == opos::EventKind::StatusUpdate && event.number == status;
    }

    static std::size_t occurrences(const emulator::Bytes& bytes, const std::string& text) {
        std::size_t count = 0;
        for (auto at = bytes.begin();; ++at) {
            at = std::search(at, bytes.end(), text.begin(), text.end());
            if (at == bytes.end()) {
                return count;
            }
            ++count;
        }
    }

    static void change(PrinterUnderTest& printer, bool PrinterState::*flag, bool on) {
        printer.changeState([&](PrinterState& state) { state.*flag = on; });
    }
    // The roll runs out, or a new one goes in: the near-end sensor, above
    // the end, reads the same.
    static void setReceiptOut(PrinterUnderTest& printer, bool out) {
        printer.changeState([&](PrinterState& state) { state.receiptEnd = state.receiptNearEnd = out; });
    }
};

class PaperOutTest : public ReceiptStatusTest {
protected:
    // An A14 on the network printing asynchronously; job A has been printed
    // and reported, then the paper ran out.
    void SetUp() override {
        ReceiptStatusTest::SetUp();
        m_printer = &addNetworkPrinter("A14", "RX-A14");
        m_control = enabled("RX-A14");
        ASSERT_EQ(m_control->setNumber("AsyncMode", 1), OPOS_SUCCESS);
        ASSERT_EQ(m_control->printNormal(PTR_S_RECEIPT, L"job A\n"), OPOS_SUCCESS);
        Events received;
        ASSERT_TRUE(collectUntil(
            *m_control, [](const opos::Event& e) { return e.kind == opos::EventKind::OutputComplete; }, &received));
        m_events = received;

        setReceiptOut(*m_printer, true);
        ASSERT_TRUE(collectUntil(
            *m_control, [](const opos::Event& e) { return isStatus(e, PTR_SUE_REC_EMPTY); }, &m_events));
    }

    // Jobs B and C, held by the empty receipt; the application answers
    // their error events with `answer`, from the first one on.
    void holdJobs(LONG answer) {
        m_control->setErrorResponse(answer);
        ASSERT_EQ(m_control->printNormal(PTR_S_RECEIPT, L"job B\n"), OPOS_SUCCESS);
        ASSERT_EQ(m_control->printNormal(PTR_S_RECEIPT, L"job C\n"), OPOS_SUCCESS);
    }

    // Collects while the paper is out (`errorCount` error events), then
    // puts the paper back and collects until the printer has been quiet.
    void paperBack(Events* whileOut, Events* after, int errorCount) {
        const auto isError = [](const opos::Event& e) { return e.kind == opos::EventKind::Error; };
        for (int i = 0; i < errorCount; ++i) {
            ASSERT_TRUE(collectUntil(*m_control, isError, whileOut));
        }
        setReceiptOut(*m_printer, false);
        *after = collect(*m_control, 2000ms);
    }

    PrinterUnderTest* m_printer = nullptr;
    std::unique_ptr<opos::PosPrinter> m_control;
    Events m_events;
};

}  // namespace printertest
