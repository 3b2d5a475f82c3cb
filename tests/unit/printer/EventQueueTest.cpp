#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "printer/EventQueue.h"

namespace printer {
namespace {

EventEntry status(std::int32_t value) { return {value, EventKind::StatusUpdate, 0, 0}; }

TEST(EventQueueTest, FirstEventAfterResetComesFromEntryZeroInOrder) {
    EventQueue queue;
    queue.reset();
    ASSERT_TRUE(queue.push(status(1)));
    ASSERT_TRUE(queue.push(status(2)));
    EventEntry entry;
    ASSERT_TRUE(queue.take(&entry));
    EXPECT_EQ(queue.readIndex(), 0);
    EXPECT_EQ(entry.value, 1);
    ASSERT_TRUE(queue.take(&entry));
    EXPECT_EQ(entry.value, 2);
    EXPECT_FALSE(queue.take(&entry));
    queue.reset();
    ASSERT_TRUE(queue.push(status(3)));
    ASSERT_TRUE(queue.take(&entry));
    EXPECT_EQ(queue.readIndex(), 0);
}

TEST(EventQueueTest, AFullRingRefusesNewEventsInsteadOfOverwritingOldOnes) {
    EventQueue queue;
    for (int i = 0; i < EventQueue::kSize; ++i) {
        ASSERT_TRUE(queue.push(status(i)));
    }
    EXPECT_FALSE(queue.push(status(-1)));
    EXPECT_EQ(queue.pending(), EventQueue::kSize);
    EventEntry entry;
    for (int i = 0; i < EventQueue::kSize; ++i) {
        ASSERT_TRUE(queue.take(&entry));
        EXPECT_EQ(entry.value, i);
    }
    EXPECT_FALSE(queue.take(&entry));
    // Wraps around: room again after taking.
    EXPECT_TRUE(queue.push(status(7)));
    ASSERT_TRUE(queue.take(&entry));
    EXPECT_EQ(entry.value, 7);
    EXPECT_EQ(queue.readIndex(), 0);
}

TEST(EventQueueTest, DroppingStaleStatusUpdatesKeepsEverythingElseInOrder) {
    EventQueue queue;
    // Start past the ring's end so the pending events wrap.
    EventEntry entry;
    for (int i = 0; i < EventQueue::kSize - 2; ++i) {
        queue.push(status(0));
        queue.take(&entry);
    }
    queue.push(status(11));
    queue.push({7, EventKind::OutputComplete, 0, 0});
    queue.push(status(1001));
    queue.push({114, EventKind::Error, 114, 203});
    queue.push(status(24));
    EXPECT_EQ(queue.dropStatusUpdates([](std::int32_t value) { return value != 1001; }), 2);
    EXPECT_EQ(queue.pending(), 3);
    queue.push(status(12));
    const std::pair<EventKind, std::int32_t> expected[] = {
        {EventKind::OutputComplete, 7}, {EventKind::StatusUpdate, 1001}, {EventKind::Error, 114},
        {EventKind::StatusUpdate, 12}};
    for (const auto& [kind, value] : expected) {
        ASSERT_TRUE(queue.take(&entry));
        EXPECT_EQ(entry.kind, kind);
        EXPECT_EQ(entry.value, value);
    }
    EXPECT_FALSE(queue.take(&entry));
}

TEST(EventQueueTest, AWaiterSeesAChangeMadeBeforeItStartedWaiting) {
    EventQueue queue;
    const std::uint64_t seen = queue.changes();
    queue.wake();
    EXPECT_TRUE(queue.waitForChange(seen, 0));
    const std::uint64_t now = queue.changes();
    EXPECT_FALSE(queue.waitForChange(now, 10));
    std::thread producer([&] { queue.push(status(1)); });
    EXPECT_TRUE(queue.waitForChange(now, 5000));
    producer.join();
}

}  // namespace
}  // namespace printer

namespace printer {
namespace {

TEST(EventQueueTest, AProducerWaitingForRoomGoesOnWhenTheDeliveryTakesAnEvent) {
    EventQueue queue;
    queue.reset();
    for (int i = 0; i < EventQueue::kSize; ++i) {
        ASSERT_TRUE(queue.push(EventEntry{i, EventKind::OutputComplete, 0, 0}));
    }
    EXPECT_FALSE(queue.waitForRoom(20));
    std::thread delivery([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EventEntry entry;
        queue.take(&entry);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(queue.waitForRoom(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    delivery.join();
    EXPECT_TRUE(queue.push(EventEntry{}));
}

}  // namespace
}  // namespace printer
