// The job queue seen from the application: how long a synchronous caller
// waits, what a full queue answers, and that every asynchronous job ends
// in exactly one OutputComplete with OutputIDs that wrap after 4,800.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"
#include "platform/module.h"
#include "support/FakeNetPrinter.h"

namespace printertest {
namespace {

using namespace common;
using Clock = std::chrono::steady_clock;

// The service object's synchronous wait reads this clock: one real
// millisecond counts as a hundred, so minutes of time-out pass in seconds.
Clock::time_point g_clockStart = Clock::now();
platform::DWORD fastClock() {
    const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - g_clockStart).count();
    return static_cast<platform::DWORD>(real * 100);
}

using SetClock = void (*)(platform::DWORD (*)());

class ReceiptSoQueueTest : public ReceiptSoTest {
protected:
    static constexpr int kStallJobsPerRound = 50;
    static constexpr int kMostStallRounds = 16;

    void TearDown() override {
        setClock(nullptr);
        ReceiptSoTest::TearDown();
    }

    static void setClock(platform::DWORD (*source)()) {
        static const SetClock set = platform::getProcAddressAs<SetClock>(platform::loadLibrary(RECEIPTSO_PATH),
                                                                         "CvReceiptSetSynchronousClockForTesting");
        ASSERT_NE(set, nullptr);
        set(source);
    }

    // A printer that accepts the claim and then stops reading: jobs go out
    // until every buffer between here and the printer is full, then the
    // printer thread is held in a write and further jobs stay queued.
    // *queued receives the jobs it took.
    std::unique_ptr<opos::PosPrinter> stalledPrinter(testsupport::FakeNetPrinter& fake, const std::string& keyName,
                                                     opos::EventHandler handler = {}, int* queued = nullptr) {
        addDevice(keyName, fake.portValue());
        auto control = openPrinter(keyName);
        auto completes = std::make_shared<std::atomic<int>>(0);
        control->setEventHandler([completes, handler](opos::Event& event) {
            if (event.kind == opos::EventKind::OutputComplete) {
                ++*completes;
            }
            if (handler) {
                handler(event);
            }
        });
        EXPECT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
        EXPECT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
        fake.setReading(false);
        EXPECT_EQ(control->setNumber("AsyncMode", 1), OPOS_SUCCESS);
        int count = 0;
        for (int round = 0; round < kMostStallRounds && completes->load() == count; ++round) {
            for (int i = 0; i < kStallJobsPerRound; ++i, ++count) {
                EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, std::wstring(16000, L'x')), OPOS_SUCCESS);
            }
            std::this_thread::sleep_for(200ms);
        }
        EXPECT_LT(completes->load(), count) << "the printer never stopped taking jobs";
        EXPECT_EQ(control->setNumber("AsyncMode", 0), OPOS_SUCCESS);
        if (queued != nullptr) {
            *queued = count;
        }
        return control;
    }

    static Clock::duration timeSynchronous(opos::PosPrinter& control, std::size_t characters, LONG* rc) {
        const auto start = Clock::now();
        *rc = control.printNormal(PTR_S_RECEIPT, std::wstring(characters, L's'));
        return Clock::now() - start;
    }
};

TEST_F(ReceiptSoQueueTest, ASynchronousCallerWaitsByTheLengthOfItsJobAndTheModel) {
    testsupport::FakeNetPrinter a14;
    auto control = stalledPrinter(a14, "RX-A14");
    setClock(fastClock);

    LONG rc = 0;
    // Up to 100 bytes: 5 s, a twentieth of a second here.
    auto waited = timeSynchronous(*control, 50, &rc);
    EXPECT_EQ(rc, OPOS_E_FAILURE);
    EXPECT_GE(waited, 45ms);
    EXPECT_LT(waited, 300ms);
    // Above 10,000 bytes on most models: 33 s.
    waited = timeSynchronous(*control, 15000, &rc);
    EXPECT_EQ(rc, OPOS_E_FAILURE);
    EXPECT_GE(waited, 320ms);
    EXPECT_LT(waited, 1200ms);

    testsupport::FakeNetPrinter b20;
    auto slow = stalledPrinter(b20, "RX-B20");
    // The slow B20: 15 x 6 s + 63 s = 153 s.
    waited = timeSynchronous(*slow, 15000, &rc);
    EXPECT_EQ(rc, OPOS_E_FAILURE);
    EXPECT_GE(waited, 1500ms);
    EXPECT_LT(waited, 3500ms);

    setClock(nullptr);
    a14.setReading(true);
    b20.setReading(true);
}

TEST_F(ReceiptSoQueueTest, AFullQueueRefusesTheNextJobAfterTwoRetriesAndLosesNone) {
    testsupport::FakeNetPrinter fake;
    std::atomic<int> completes{0};
    std::atomic<int> queueFull{0};
    const auto count = [&](opos::Event& event) {
        if (event.kind == opos::EventKind::OutputComplete) {
            ++completes;
        } else if (event.kind == opos::EventKind::Error && event.resultCode == OPOS_E_EXTENDED &&
                   event.resultCodeExtended == 90090) {
            ++queueFull;
        }
    };
    int stallJobs = 0;
    auto control = stalledPrinter(fake, "RX-A14", count, &stallJobs);
    ASSERT_EQ(control->setNumber("AsyncMode", 1), OPOS_SUCCESS);

    int accepted = stallJobs;
    LONG rc = OPOS_SUCCESS;
    Clock::duration refusedAfter{};
    for (int i = 0; i < 3000 && rc == OPOS_SUCCESS; ++i) {
        const auto start = Clock::now();
        rc = control->printNormal(PTR_S_RECEIPT, L"small job\n");
        if (rc == OPOS_SUCCESS) {
            ++accepted;
        } else {
            refusedAfter = Clock::now() - start;
        }
    }
    ASSERT_EQ(rc, OPOS_E_FAILURE) << "the queue never filled";
    // The queue holds 1,200 jobs besides the few the printer thread took.
    EXPECT_GE(accepted, 1200);
    EXPECT_LE(accepted, 1200 + stallJobs);
    EXPECT_GE(refusedAfter, 190ms) << "two retries 100 ms apart";

    fake.setReading(true);
    const auto deadline = Clock::now() + 60s;
    while (completes.load() < accepted && Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(completes.load(), accepted);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(completes.load(), accepted) << "a job completed twice";
    EXPECT_GE(queueFull.load(), 3) << "each refused attempt raises the queue-full error";
}

TEST_F(ReceiptSoQueueTest, OutputIdsRunToFortyEightHundredAndStartAgainAtOne) {
    PrinterUnderTest& printer = addNetworkPrinter("A14", "RX-A14");
    auto control = openPrinter("RX-A14");
    ASSERT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    std::mutex mutex;
    std::vector<LONG> completed;
    control->setEventHandler([&](opos::Event& event) {
        if (event.kind == opos::EventKind::OutputComplete) {
            std::lock_guard lock(mutex);
            completed.push_back(event.number);
        }
    });
    ASSERT_EQ(control->setNumber("AsyncMode", 1), OPOS_SUCCESS);
    constexpr int kJobs = 4802;
    for (int i = 1; i <= kJobs; ++i) {
        ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, L"j\n"), OPOS_SUCCESS) << i;
        ASSERT_EQ(number(*control, "OutputID"), (i - 1) % 4800 + 1);
    }
    const auto deadline = Clock::now() + 60s;
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (completed.size() >= static_cast<std::size_t>(kJobs) || Clock::now() > deadline) {
                break;
            }
        }
        std::this_thread::sleep_for(20ms);
    }
    std::lock_guard lock(mutex);
    ASSERT_EQ(completed.size(), static_cast<std::size_t>(kJobs));
    for (int i = 1; i <= kJobs; ++i) {
        ASSERT_EQ(completed[static_cast<std::size_t>(i - 1)], (i - 1) % 4800 + 1);
    }
    (void)printer;
}

}  // namespace
}  // namespace printertest
