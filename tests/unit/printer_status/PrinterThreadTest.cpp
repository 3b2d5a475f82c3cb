// The printer thread against a port that fails or stalls on demand, with
// this test standing in for the delivery thread: the error gate, the
// application's answer to its error events, and what a failed write does.
// An asynchronous job ends in one OutputComplete when it was written in
// full, and in none when OPOS_ER_CLEAR or ClearOutput dropped it unwritten.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/OposConstants.h"
#include "portlink/portlink.h"
#include "printer/ModelCatalogue.h"
#include "printer/WorkerShared.h"
#include "support/TempRegistry.h"

namespace printer {
namespace {

using namespace common;
using namespace std::chrono_literals;

// The port the printer thread writes to.
struct FakePort {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> attempts;  // every write, failed or not
    std::vector<std::string> written;   // the writes that succeeded
    int failuresLeft = 0;
    bool stalled = false;
    int stalledWrites = 0;  // writes waiting while stalled
    // Called (without the lock) when a write fails.
    std::function<void()> onFailure;
};

FakePort* g_port = nullptr;

std::int32_t fakeWritePort(std::int32_t, std::int32_t, const std::uint8_t* data, std::int32_t length, std::int32_t,
                           std::int32_t, std::int32_t* step, std::int32_t* sysError) {
    std::unique_lock lock(g_port->mutex);
    ++g_port->stalledWrites;
    g_port->changed.notify_all();
    g_port->changed.wait(lock, [] { return !g_port->stalled; });
    --g_port->stalledWrites;
    const std::string text(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
    g_port->attempts.push_back(text);
    const bool fail = g_port->failuresLeft > 0;
    if (fail) {
        --g_port->failuresLeft;
    } else {
        g_port->written.push_back(text);
    }
    g_port->changed.notify_all();
    *step = fail ? 3 : 4;
    *sysError = fail ? 10054 : -2;
    if (fail && g_port->onFailure) {
        lock.unlock();
        g_port->onFailure();
    }
    return fail ? 0 : 1;
}

class PrinterThreadTest : public ::testing::Test {
protected:
    void SetUp() override { g_port = &m_port; }

    void TearDown() override {
        if (m_thread) {
            m_shared->setExit(true);
            m_thread->resume();
            EXPECT_EQ(m_shared->PrnExitEvent.wait(5000), platform::WAIT_OBJECT_0);
            EXPECT_EQ(m_thread->join(5000), platform::WAIT_OBJECT_0);
        }
        g_port = nullptr;
    }

    void start(std::int32_t model = model::A14) {
        m_shared = std::make_shared<WorkerShared>(std::make_shared<common::ModuleLog>(common::LogModule::Printer),
                                                  CallbackIds{});
        m_shared->port = PrinterPort{0, 1, 4, model, PORT_ETH, &fakeWritePort};
        const std::shared_ptr<WorkerShared> shared = m_shared;
        m_thread = platform::WorkerThread::create([shared] { lpPrn(shared); },
                                                  platform::WorkerThread::Start::Suspended);
        ASSERT_TRUE(m_thread);
        m_shared->printerThread = m_thread.get();
        m_shared->setDeviceEnabled(true);
    }

    std::int32_t queueAsync(const std::string& text) {
        PrintJobRecord job;
        job.data.assign(text.begin(), text.end());
        std::int32_t outputId = 0;
        EXPECT_GE(m_shared->IsJobInQue(&job, 0, kJobNormal, true, &outputId), 0);
        return outputId;
    }

    // The next queued event, as the delivery thread would take it.
    bool nextEvent(EventEntry* entry, std::chrono::milliseconds timeout = 3s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const std::uint64_t seen = m_shared->eventQueue.changes();
            if (m_shared->eventQueue.take(entry)) {
                if (entry->kind == EventKind::Error) {
                    m_errors.push_back(*entry);
                }
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left <= 0ms) {
                return false;
            }
            m_shared->eventQueue.waitForChange(seen, static_cast<std::uint32_t>(left.count()));
        }
    }

    // Takes events until one of `kind` arrives; the error events on the
    // way are answered with `response` unless it is 0.
    bool awaitKind(EventKind kind, EventEntry* found, std::int32_t response, std::chrono::milliseconds timeout = 3s) {
        EventEntry entry;
        while (nextEvent(&entry, timeout)) {
            if (entry.kind == EventKind::Error && response != 0) {
                m_shared->errorResponse.store(response);
            }
            if (entry.kind == kind) {
                *found = entry;
                return true;
            }
        }
        return false;
    }

    std::vector<std::string> written() {
        std::lock_guard lock(m_port.mutex);
        return m_port.written;
    }

    bool waitForWritten(std::size_t count, std::chrono::milliseconds timeout = 3s) {
        std::unique_lock lock(m_port.mutex);
        return m_port.changed.wait_for(lock, timeout, [&] { return m_port.written.size() >= count; });
    }

    bool waitUntilAWriteIsUnderWay() {
        std::unique_lock lock(m_port.mutex);
        return m_port.changed.wait_for(lock, 3s, [&] { return m_port.stalledWrites > 0; });
    }

    void setStalled(bool stalled) {
        std::lock_guard lock(m_port.mutex);
        m_port.stalled = stalled;
        m_port.changed.notify_all();
    }

    testsupport::TempRegistry m_registry;
    FakePort m_port;
    std::shared_ptr<WorkerShared> m_shared;
    std::unique_ptr<platform::WorkerThread> m_thread;
    std::vector<EventEntry> m_errors;
};

TEST_F(PrinterThreadTest, AFailedWriteIsAnErrorAndRetryWritesTheJobAgainBeforeItIsReportedComplete) {
    start();
    m_port.failuresLeft = 1;
    const std::int32_t id = queueAsync("job A\n");

    EventEntry event;
    ASSERT_TRUE(nextEvent(&event));
    EXPECT_EQ(event.kind, EventKind::Error);
    EXPECT_EQ(event.resultCode, OPOS_E_FAILURE);
    // Nothing more happens to the job until the application answers.
    EXPECT_FALSE(nextEvent(&event, 400ms));
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(m_shared->state.load(), OPOS_S_ERROR);

    m_shared->errorResponse.store(OPOS_ER_RETRY);
    ASSERT_TRUE(nextEvent(&event));
    EXPECT_EQ(event.kind, EventKind::OutputComplete);
    EXPECT_EQ(event.value, id);
    EXPECT_EQ(written(), std::vector<std::string>{"job A\n"});
    EXPECT_EQ(m_port.attempts.size(), 2u);
    EXPECT_FALSE(nextEvent(&event, 300ms)) << "one OutputComplete per job";
    EXPECT_EQ(m_shared->state.load(), OPOS_S_IDLE);
}

TEST_F(PrinterThreadTest, AFailedWriteToAPrinterThatWentOffLineIsReportedAsAnEmptyReceipt) {
    start();
    m_port.failuresLeft = 1;
    m_port.onFailure = [this] { m_shared->conditions.online = false; };
    const std::int32_t id = queueAsync("job A\n");
    EventEntry event;
    ASSERT_TRUE(nextEvent(&event));
    EXPECT_EQ(event.kind, EventKind::Error);
    EXPECT_EQ(event.resultCode, OPOS_E_EXTENDED);
    EXPECT_EQ(event.extendedCode, OPOS_EPTR_REC_EMPTY);
    m_shared->errorResponse.store(OPOS_ER_RETRY);
    // Held off line: the off-line error, until the printer is back.
    ASSERT_TRUE(nextEvent(&event));
    EXPECT_EQ(event.resultCode, OPOS_E_OFFLINE);
    EXPECT_EQ(event.extendedCode, OPOS_EPTR_REC_EMPTY);
    m_shared->errorResponse.store(OPOS_ER_RETRY);
    m_shared->conditions.online = true;
    ASSERT_TRUE(awaitKind(EventKind::OutputComplete, &event, OPOS_ER_RETRY));
    EXPECT_EQ(event.value, id);
    EXPECT_EQ(written().size(), 1u);
}

TEST_F(PrinterThreadTest, ClearDropsTheJobAndQueuedAsynchronousOutputButNotWhatOthersWaitFor) {
    start();
    setStalled(true);
    m_port.failuresLeft = 1;
    queueAsync("job A\n");
    queueAsync("job B\n");
    PrintJobRecord marker;
    marker.data.assign(10, 0);
    ASSERT_GE(m_shared->IsJobInQue(&marker, 0, kJobIdleMarker, true), 0);
    PrintJobRecord synchronous;
    synchronous.data = {'s', 'y', 'n', 'c', '\n'};
    ASSERT_GE(m_shared->IsJobInQue(&synchronous, 0, kJobNormal, false), 0);
    const std::uint64_t ticket = synchronous.ticket;
    setStalled(false);

    EventEntry event;
    ASSERT_TRUE(nextEvent(&event));
    ASSERT_EQ(event.kind, EventKind::Error);
    m_shared->errorResponse.store(OPOS_ER_CLEAR);
    // The failed job and the queued one go unwritten and uncompleted.
    ASSERT_TRUE(nextEvent(&event));
    EXPECT_EQ(event.kind, EventKind::StatusUpdate);
    EXPECT_EQ(event.value, PTR_SUE_IDLE);
    bool printOk = false;
    EXPECT_TRUE(m_shared->waitSynchronous(ticket, 3000, &printOk));
    EXPECT_TRUE(printOk);
    EXPECT_EQ(written(), std::vector<std::string>{"sync\n"});
    EXPECT_FALSE(nextEvent(&event, 300ms)) << "a dropped job was reported";
    EXPECT_EQ(m_shared->jobs.MyNumJob(), 0);

    // The printer goes on with what comes next.
    const std::int32_t id = queueAsync("job C\n");
    ASSERT_TRUE(nextEvent(&event));
    EXPECT_EQ(event.kind, EventKind::OutputComplete);
    EXPECT_EQ(event.value, id);
}

TEST_F(PrinterThreadTest, PaperOutHoldsAJobWithAnErrorPerRetryAndPrintsItOnceWhenPaperIsBack) {
    start();
    m_shared->status->receipt = PTR_SUE_REC_EMPTY;
    const std::int32_t id = queueAsync("job A\n");
    EventEntry event;
    ASSERT_TRUE(nextEvent(&event));
    // Unanswered, the error is not raised again.
    EXPECT_FALSE(nextEvent(&event, 1500ms));
    m_shared->errorResponse.store(OPOS_ER_RETRY);
    for (int i = 0; i < 2; ++i) {
        const auto answered = std::chrono::steady_clock::now();
        ASSERT_TRUE(nextEvent(&event));
        EXPECT_GE(std::chrono::steady_clock::now() - answered, 950ms) << "a RETRY is followed after a pause";
        EXPECT_EQ(event.kind, EventKind::Error);
        EXPECT_EQ(event.resultCode, OPOS_E_EXTENDED);
        EXPECT_EQ(event.extendedCode, OPOS_EPTR_REC_EMPTY);
        m_shared->errorResponse.store(OPOS_ER_RETRY);
    }
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(m_shared->sendError.load(), 1);

    m_shared->status->receipt = PTR_SUE_REC_PAPEROK;
    ASSERT_TRUE(awaitKind(EventKind::OutputComplete, &event, OPOS_ER_RETRY));
    EXPECT_EQ(event.value, id);
    EXPECT_EQ(written(), std::vector<std::string>{"job A\n"});
    EXPECT_FALSE(nextEvent(&event, 300ms));
    EXPECT_EQ(m_shared->sendError.load(), 0);
}

TEST_F(PrinterThreadTest, AJobQueuedBeforeThePaperRanOutIsDroppedByClear) {
    start();
    setStalled(true);
    queueAsync("job A\n");
    ASSERT_TRUE(waitUntilAWriteIsUnderWay());
    queueAsync("job B\n");  // the paper is still there
    m_shared->status->receipt = PTR_SUE_REC_EMPTY;
    setStalled(false);

    EventEntry event;
    ASSERT_TRUE(nextEvent(&event));
    EXPECT_EQ(event.kind, EventKind::OutputComplete) << "job A was already under way";
    ASSERT_TRUE(nextEvent(&event));
    ASSERT_EQ(event.kind, EventKind::Error);
    m_shared->errorResponse.store(OPOS_ER_CLEAR);
    m_shared->status->receipt = PTR_SUE_REC_PAPEROK;
    // Errors raised before the paper came back are answered too; job B
    // goes unwritten and is never reported complete.
    int completes = 0;
    while (nextEvent(&event, 500ms)) {
        if (event.kind == EventKind::OutputComplete) {
            ++completes;
            continue;
        }
        EXPECT_EQ(event.kind, EventKind::Error);
        m_shared->errorResponse.store(OPOS_ER_CLEAR);
    }
    EXPECT_EQ(completes, 0);
    EXPECT_EQ(written(), std::vector<std::string>{"job A\n"});
}

TEST_F(PrinterThreadTest, TheAnswerToAnEarlierErrorDoesNotDecideForTheJobInHand) {
    start();
    // An error of the status monitor, answered CLEAR.
    m_shared->fEventJob(3, OPOS_E_EXTENDED, 100021);
    EventEntry event;
    ASSERT_TRUE(nextEvent(&event));
    m_shared->errorResponse.store(OPOS_ER_CLEAR);

    m_shared->status->cover = PTR_SUE_COVER_OPEN;
    const std::int32_t id = queueAsync("job A\n");
    ASSERT_TRUE(nextEvent(&event));
    EXPECT_EQ(event.extendedCode, 201);
    m_shared->status->cover = PTR_SUE_COVER_OK;
    // Not answered yet: the job is neither written nor dropped.
    EXPECT_FALSE(waitForWritten(1, 500ms));
    m_shared->errorResponse.store(OPOS_ER_RETRY);
    ASSERT_TRUE(awaitKind(EventKind::OutputComplete, &event, OPOS_ER_RETRY));
    EXPECT_EQ(event.value, id);
    EXPECT_EQ(written().size(), 1u);
}

TEST_F(PrinterThreadTest, F60IsHeldByItsOwnReceiptAndItsJournal) {
    start(model::F60);
    // The slot the other models use does not hold F60's jobs.
    m_shared->status->receipt = PTR_SUE_REC_EMPTY;
    queueAsync("one\n");
    EventEntry event;
    ASSERT_TRUE(nextEvent(&event));
    EXPECT_EQ(event.kind, EventKind::OutputComplete);

    m_shared->status->f60Receipt = PTR_SUE_REC_EMPTY;
    queueAsync("two\n");
    ASSERT_TRUE(nextEvent(&event));
    EXPECT_EQ(event.extendedCode, OPOS_EPTR_REC_EMPTY);
    m_shared->errorResponse.store(OPOS_ER_RETRY);
    // The journal runs out before the receipt paper is back.
    m_shared->status->journal = PTR_SUE_JRN_EMPTY;
    m_shared->status->f60Receipt = PTR_SUE_REC_PAPEROK;
    do {
        ASSERT_TRUE(awaitKind(EventKind::Error, &event, OPOS_ER_RETRY));
    } while (event.extendedCode != OPOS_EPTR_JRN_EMPTY);
    EXPECT_TRUE(written().size() == 1u);
    m_shared->status->journal = PTR_SUE_JRN_PAPEROK;
    ASSERT_TRUE(awaitKind(EventKind::OutputComplete, &event, OPOS_ER_RETRY));
    EXPECT_EQ(written(), (std::vector<std::string>{"one\n", "two\n"}));
}

TEST_F(PrinterThreadTest, TheExitEndsAThreadWaitingForAnAnswer) {
    start();
    m_shared->status->cover = PTR_SUE_COVER_OPEN;
    queueAsync("job A\n");
    EventEntry event;
    ASSERT_TRUE(nextEvent(&event));
    m_shared->status->cover = PTR_SUE_COVER_OK;
    platform::sleepMs(300);
    const auto before = std::chrono::steady_clock::now();
    m_shared->setExit(true);
    m_thread->resume();
    EXPECT_EQ(m_shared->PrnExitEvent.wait(1000), platform::WAIT_OBJECT_0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    EXPECT_EQ(m_thread->join(1000), platform::WAIT_OBJECT_0);
    m_thread.reset();
    EXPECT_TRUE(written().empty());
}

}  // namespace
}  // namespace printer
