#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/threads.h"

using namespace platform;

namespace {

TEST(Event, AutoResetIsConsumedByOneWaitManualResetStaysUntilReset) {
    Event automatic(false, true);
    EXPECT_EQ(automatic.wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(automatic.wait(0), WAIT_TIMEOUT);
    automatic.set();
    automatic.set();  // a second set before any wait is still one signal
    EXPECT_EQ(automatic.wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(automatic.wait(0), WAIT_TIMEOUT);

    Event manual(true, false);
    manual.set();
    EXPECT_EQ(manual.wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(manual.wait(0), WAIT_OBJECT_0);
    manual.reset();
    EXPECT_EQ(manual.wait(0), WAIT_TIMEOUT);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(manual.wait(30), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(WaitMultiple, WaitAnyReturnsTheLowestSignalledIndexAndConsumesOnlyThat) {
    Event a(false, false);
    Event b(false, false);
    Event c(true, false);
    Event* const events[] = {&a, &b, &c};
    EXPECT_EQ(Event::waitMultiple(events, false, 0), WAIT_TIMEOUT);
    b.set();
    c.set();
    EXPECT_EQ(Event::waitMultiple(events, false, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(Event::waitMultiple(events, false, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(Event::waitMultiple(events, false, 0), WAIT_OBJECT_0 + 2) << "manual-reset stays set";
}

TEST(WaitMultiple, WaitAllConsumesNothingUntilEveryEventIsSignalled) {
    Event a(false, true);
    Event b(false, false);
    Event manual(true, true);
    Event* const events[] = {&a, &b, &manual};
    EXPECT_EQ(Event::waitMultiple(events, true, 0), WAIT_TIMEOUT);
    EXPECT_EQ(a.wait(0), WAIT_OBJECT_0) << "a partial wait-all must not consume";

    a.set();
    b.set();
    EXPECT_EQ(Event::waitMultiple(events, true, 0), WAIT_OBJECT_0);
    EXPECT_EQ(a.wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(b.wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(manual.wait(0), WAIT_OBJECT_0);
}

TEST(WaitMultiple, AWaitAllLeavesItsEventsToOtherWaitersMeanwhile) {
    Event a(false, false);
    Event b(false, false);
    Event done(false, false);
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] {
        Event* const events[] = {&a, &b};
        result = Event::waitMultiple(events, true, INFINITE);
        done.set();
    });

    a.set();
    EXPECT_EQ(a.wait(5000), WAIT_OBJECT_0);
    a.set();
    b.set();
    ASSERT_EQ(done.wait(5000), WAIT_OBJECT_0);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(a.wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(b.wait(0), WAIT_TIMEOUT);
}

TEST(WaitMultiple, RejectsListsWindowsRejects) {
    Event a(true, true);
    EXPECT_EQ(Event::waitMultiple({}, false, 0), WAIT_FAILED);
    Event* const withNull[] = {&a, nullptr};
    EXPECT_EQ(Event::waitMultiple(withNull, false, 0), WAIT_FAILED);
    Event* const twice[] = {&a, &a};
    EXPECT_EQ(Event::waitMultiple(twice, true, 0), WAIT_FAILED);
    EXPECT_EQ(Event::waitMultiple(twice, false, 0), WAIT_OBJECT_0);
    std::vector<Event*> tooMany(MAXIMUM_WAIT_OBJECTS + 1, &a);
    EXPECT_EQ(Event::waitMultiple(tooMany, false, 0), WAIT_FAILED);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CriticalSection section;
    auto otherThreadGetsIn = [&] {
        bool entered = false;
        std::thread other([&] {
            entered = section.tryEnter();
            if (entered) {
                section.leave();
            }
        });
        other.join();
        return entered;
    };

    section.enter();
    {
        std::lock_guard again(section);
        EXPECT_FALSE(otherThreadGetsIn());
    }
    EXPECT_FALSE(otherThreadGetsIn()) << "still held once";
    section.leave();
    EXPECT_TRUE(otherThreadGetsIn());
}

TEST(Clock, TickCountCountsMilliseconds) {
    const DWORD start = tickCount();
    sleepMs(50);
    const DWORD elapsed = tickCount() - start;
    EXPECT_GE(elapsed, 50u);
    EXPECT_LT(elapsed, 5000u);
}

}  // namespace
