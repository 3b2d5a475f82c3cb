#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/threads.h"

using namespace platform;
using Start = WorkerThread::Start;

namespace {

TEST(WorkerThread, ACreatedSuspendedBodyStartsAtTheLastResume) {
    Event ran(true, false);
    DWORD bodyThread = 0;
    auto worker = WorkerThread::create(
        [&] {
            bodyThread = currentThreadId();
            ran.set();
        },
        Start::Suspended);
    ASSERT_TRUE(worker);

    EXPECT_EQ(worker->suspend(), 1u);
    EXPECT_EQ(worker->resume(), 2u);
    EXPECT_EQ(ran.wait(50), WAIT_TIMEOUT);
    EXPECT_EQ(worker->resume(), 1u);
    ASSERT_EQ(ran.wait(5000), WAIT_OBJECT_0);
    ASSERT_EQ(worker->join(5000), WAIT_OBJECT_0);

    EXPECT_TRUE(worker->finished());
    EXPECT_EQ(bodyThread, worker->id());
    EXPECT_NE(worker->id(), currentThreadId());
    EXPECT_EQ(worker->resume(), SUSPEND_FAILED);
    EXPECT_EQ(worker->suspend(), SUSPEND_FAILED);
}

TEST(WorkerThread, DestroyingANeverResumedThreadCancelsItsBody) {
    std::atomic<bool> ran{false};
    {
        auto worker = WorkerThread::create([&] { ran = true; }, Start::Suspended);
        ASSERT_TRUE(worker);
    }
    EXPECT_FALSE(ran.load());
}

TEST(WorkerThread, ASuspendFromOutsideStopsTheThreadAtItsNextWait) {
    Event ticked(false, false);
    Event go(false, false);
    std::atomic<bool> stop{false};
    auto worker = WorkerThread::create([&] {
        while (!stop) {
            ticked.set();
            go.wait(INFINITE);
        }
    });
    ASSERT_TRUE(worker);
    ASSERT_EQ(ticked.wait(5000), WAIT_OBJECT_0);

    EXPECT_EQ(worker->suspend(), 0u);
    go.set();  // the wait returns, and the thread stops on its way out of it
    EXPECT_EQ(ticked.wait(100), WAIT_TIMEOUT);
    EXPECT_EQ(worker->resume(), 1u);
    EXPECT_EQ(ticked.wait(5000), WAIT_OBJECT_0);

    stop = true;
    go.set();
    EXPECT_EQ(worker->join(5000), WAIT_OBJECT_0);
}

TEST(WorkerThread, AResumeBeforeASelfSuspendIsKeptForIt) {
    Event running(false, false);
    Event gate(false, false);
    Event firstReturned(false, false);
    Event secondReturned(false, false);
    DWORD first = 99;
    DWORD second = 99;
    auto worker = WorkerThread::create([&] {
        running.set();
        gate.wait(INFINITE);
        first = WorkerThread::suspendCurrent();
        firstReturned.set();
        second = WorkerThread::suspendCurrent();
        secondReturned.set();
    });
    ASSERT_TRUE(worker);
    ASSERT_EQ(running.wait(5000), WAIT_OBJECT_0);

    EXPECT_EQ(worker->resume(), 0u) << "nothing to resume yet";
    gate.set();
    EXPECT_EQ(firstReturned.wait(5000), WAIT_OBJECT_0) << "the early resume was lost";
    EXPECT_EQ(secondReturned.wait(100), WAIT_TIMEOUT) << "one resume wakes one self-suspend";
    EXPECT_EQ(worker->resume(), 1u);
    EXPECT_EQ(secondReturned.wait(5000), WAIT_OBJECT_0);
    ASSERT_EQ(worker->join(5000), WAIT_OBJECT_0);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(second, 0u);
    EXPECT_EQ(WorkerThread::suspendCurrent(), SUSPEND_FAILED) << "the test thread is no worker";
}

// The printer thread's shape: it takes work until the queue is empty, clears
// its running flag and suspends itself; producers queue under the lock and
// resume it when the flag is clear.
struct SelfSuspendingQueue {
    std::mutex lock;
    std::deque<int> items;
    bool running = false;
    bool exit = false;
    std::atomic<int> suspensions{0};
    std::unique_ptr<WorkerThread> worker;

    void push(int item) {
        std::lock_guard guard(lock);
        items.push_back(item);
        if (!running) {
            running = true;
            worker->resume();
        }
    }

    // The body: hands every item to `process`, sets `exited` as it ends.
    void run(const std::function<void(int)>& process, Event& exited) {
        for (;;) {
            std::optional<int> item;
            {
                std::lock_guard guard(lock);
                if (!items.empty()) {
                    item = items.front();
                    items.pop_front();
                } else if (exit) {
                    break;
                } else {
                    running = false;
                }
            }
            if (item) {
                process(*item);
            } else {
                ++suspensions;
                WorkerThread::suspendCurrent();
            }
        }
        exited.set();
    }

    void shutDown() {
        {
            std::lock_guard guard(lock);
            exit = true;
        }
        // Unconditionally: the running flag may still be set by a thread
        // that is about to clear it and sleep.
        worker->resume();
    }
};

TEST(WorkerThread, ASelfSuspendingWorkerNeverMissesQueuedWork) {
    constexpr int kProducers = 2;
    constexpr int kItemsEach = 10000;
    constexpr int kTotal = kProducers * kItemsEach;
    SelfSuspendingQueue queue;
    Event allProcessed(true, false);
    Event exited(true, false);
    int processed = 0;
    long long sum = 0;
    queue.worker = WorkerThread::create(
        [&] {
            queue.run(
                [&](int item) {
                    sum += item;
                    if (++processed == kTotal) {
                        allProcessed.set();
                    }
                },
                exited);
        },
        Start::Suspended);
    ASSERT_TRUE(queue.worker);

    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&queue] {
            for (int i = 1; i <= kItemsEach; ++i) {
                queue.push(i);
                // Give the worker the chance to empty the queue and suspend,
                // so that the next push races with its suspension.
                std::this_thread::yield();
            }
        });
    }
    for (auto& producer : producers) {
        producer.join();
    }
    EXPECT_EQ(allProcessed.wait(20000), WAIT_OBJECT_0) << "work left in the queue";
    queue.shutDown();
    ASSERT_EQ(exited.wait(5000), WAIT_OBJECT_0);
    ASSERT_EQ(queue.worker->join(5000), WAIT_OBJECT_0);

    EXPECT_EQ(processed, kTotal);
    EXPECT_EQ(sum, static_cast<long long>(kProducers) * kItemsEach * (kItemsEach + 1) / 2);
    EXPECT_GT(queue.suspensions.load(), 1) << "the worker never went to sleep, the race was not run";
}

// A claimed service object's three threads: the printer thread (self-
// suspending queue), the status monitor (suspended and resumed from outside
// by disable and enable) and the event thread (created suspended, resumed by
// enable). Release sets the exit flag, resumes every thread and waits for
// all exit events at once.
TEST(WorkerThread, ServiceObjectThreadsAlwaysEndAtRelease) {
    for (int round = 0; round < 50; ++round) {
        std::atomic<bool> exitFlag{false};
        Event prnExitEvent(false, false);
        Event evtExitEvent(false, false);
        Event sndExitEvent(false, false);
        std::atomic<int> printed{0};
        std::atomic<int> polls{0};

        SelfSuspendingQueue jobs;
        jobs.worker = WorkerThread::create(
            [&] { jobs.run([&](int) { ++printed; }, prnExitEvent); }, Start::Suspended);
        auto status = WorkerThread::create(
            [&] {
                while (!exitFlag) {
                    ++polls;
                    sleepMs(1);
                }
                evtExitEvent.set();
            },
            Start::Suspended);
        auto delivery = WorkerThread::create(
            [&] {
                while (!exitFlag) {
                    sleepMs(1);
                }
                sndExitEvent.set();
            },
            Start::Suspended);
        ASSERT_TRUE(jobs.worker && status && delivery);

        delivery->resume();  // enable
        status->resume();
        jobs.push(1);
        jobs.push(2);
        status->suspend();  // disable
        status->resume();   // enable again
        jobs.push(3);
        if (round % 2 == 1) {
            status->suspend();  // release while disabled
        }

        exitFlag = true;
        jobs.shutDown();
        status->resume();
        delivery->resume();
        Event* const exits[] = {&prnExitEvent, &evtExitEvent, &sndExitEvent};
        ASSERT_EQ(Event::waitMultiple(exits, true, 5000), WAIT_OBJECT_0) << "round " << round;
        EXPECT_EQ(jobs.worker->join(5000), WAIT_OBJECT_0);
        EXPECT_EQ(status->join(5000), WAIT_OBJECT_0);
        EXPECT_EQ(delivery->join(5000), WAIT_OBJECT_0);
        EXPECT_EQ(printed.load(), 3);
    }
}

TEST(WorkerThread, JoinTimesOutWhileTheBodyRunsAndRefusesToWaitForItself) {
    Event handedOver(false, false);
    Event release(false, false);
    WorkerThread* self = nullptr;
    DWORD selfJoin = 0;
    auto worker = WorkerThread::create([&] {
        handedOver.wait(INFINITE);
        selfJoin = self->join(INFINITE);
        release.wait(INFINITE);
    });
    ASSERT_TRUE(worker);
    self = worker.get();
    handedOver.set();

    EXPECT_EQ(worker->join(20), WAIT_TIMEOUT);
    EXPECT_FALSE(worker->finished());
    release.set();
    EXPECT_EQ(worker->join(5000), WAIT_OBJECT_0);
    EXPECT_EQ(selfJoin, WAIT_FAILED);
}

TEST(WorkerThread, AThrowingBodyEndsOnlyItsThread) {
    auto worker = WorkerThread::create([] { throw std::runtime_error("device gone"); });
    ASSERT_TRUE(worker);
    EXPECT_EQ(worker->join(5000), WAIT_OBJECT_0);
    EXPECT_TRUE(worker->finished());
}

}  // namespace
