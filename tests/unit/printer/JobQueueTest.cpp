// The print job rings: capacity, immediate jobs first, OutputIDs, discard,
// and the synchronous time-outs.
#include <gtest/gtest.h>

#include "printer/JobQueue.h"
#include "printer/ModelCatalogue.h"

namespace printer {
namespace {

PrintJobRecord jobOf(std::uint8_t tag) {
    PrintJobRecord job;
    job.data = {tag};
    return job;
}

std::uint8_t takeTag(JobQueue& queue) {
    PrintJobRecord job;
    EXPECT_TRUE(queue.takeNext(&job));
    return job.data.empty() ? 0 : job.data.front();
}

TEST(JobQueueTest, NormalRingHoldsTwelveHundredAndRefusesTheNextUntouched) {
    auto queue = std::make_unique<JobQueue>();
    for (int i = 0; i < MAX_PRNJob; ++i) {
        auto job = jobOf(static_cast<std::uint8_t>(i));
        ASSERT_EQ(queue->queueNormal(&job, false, false), i + 1);
    }
    auto extra = jobOf(0xEE);
    EXPECT_EQ(queue->queueNormal(&extra, false, false), -1);
    // A refused job stays with the caller for a retry.
    EXPECT_EQ(extra.data, std::vector<std::uint8_t>{0xEE});
    EXPECT_EQ(queue->queueImmediate(&extra), -1);

    // Taking one frees one slot; the ring wraps and keeps its order.
    EXPECT_EQ(takeTag(*queue), 0);
    EXPECT_EQ(queue->queueNormal(&extra, false, false), MAX_PRNJob);
    for (int i = 1; i < MAX_PRNJob; ++i) {
        ASSERT_EQ(takeTag(*queue), static_cast<std::uint8_t>(i));
    }
    EXPECT_EQ(takeTag(*queue), 0xEE);
    PrintJobRecord none;
    EXPECT_FALSE(queue->takeNext(&none));
}

TEST(JobQueueTest, ImmediateJobsGoFirstAndTheirRingRefusesTheHundredAndTwentyNinth) {
    auto queue = std::make_unique<JobQueue>();
    auto first = jobOf(1);
    auto second = jobOf(2);
    queue->queueNormal(&first, true, false);
    queue->queueNormal(&second, true, false);
    for (int i = 0; i < kImmediateSlots; ++i) {
        auto job = jobOf(static_cast<std::uint8_t>(100 + (i % 100)));
        ASSERT_GT(queue->queueImmediate(&job), 0);
    }
    auto refused = jobOf(0xEE);
    EXPECT_EQ(queue->queueImmediate(&refused), -1);
    // Normal jobs are still taken while the immediate ring is full.
    auto third = jobOf(3);
    EXPECT_EQ(queue->queueNormal(&third, true, false), 2 + kImmediateSlots + 1);
    EXPECT_EQ(queue->NumImPrnJob(), kImmediateSlots);

    for (int i = 0; i < kImmediateSlots; ++i) {
        PrintJobRecord job;
        ASSERT_TRUE(queue->takeNext(&job));
        EXPECT_EQ(job.outputId, 0);
        EXPECT_EQ(job.async, 0);
        EXPECT_GE(queue->currentJob(), MAX_PRNJob);
    }
    EXPECT_EQ(takeTag(*queue), 1);
    EXPECT_EQ(takeTag(*queue), 2);
    EXPECT_EQ(takeTag(*queue), 3);
}

TEST(JobQueueTest, OutputIdsCountOnlyAsynchronousJobsAndWrapAfterFortyEightHundred) {
    auto queue = std::make_unique<JobQueue>();
    PrintJobRecord job;
    for (int id = 1; id <= kMaxOutputId; ++id) {
        job = jobOf(0);
        queue->queueNormal(&job, true, false);
        ASSERT_EQ(queue->lastOutputId(), id);
        queue->takeNext(&job);
        ASSERT_EQ(job.outputId, id);
        ASSERT_EQ(job.async, 1);
    }
    job = jobOf(0);
    queue->queueNormal(&job, true, false);
    EXPECT_EQ(queue->lastOutputId(), 1);
    // A synchronous job does not use up an OutputID.
    job = jobOf(0);
    queue->queueNormal(&job, false, false);
    job = jobOf(0);
    queue->queueNormal(&job, true, false);
    EXPECT_EQ(queue->lastOutputId(), 2);
    // The idle marker is told apart by its OutputID.
    job = jobOf(0);
    queue->queueNormal(&job, true, true);
    queue->takeNext(&job);
    queue->takeNext(&job);
    queue->takeNext(&job);
    queue->takeNext(&job);
    EXPECT_EQ(job.outputId, -1);
}

TEST(JobQueueTest, DiscardEmptiesBothRingsOnceAndQueueingStartsAfresh) {
    auto queue = std::make_unique<JobQueue>();
    for (int i = 0; i < 5; ++i) {
        auto normal = jobOf(1);
        auto immediate = jobOf(2);
        queue->queueNormal(&normal, false, false);
        queue->queueImmediate(&immediate);
    }
    queue->discardAll();
    EXPECT_EQ(queue->MyNumJob(), 0);
    EXPECT_EQ(queue->NumImPrnJob(), 0);
    PrintJobRecord none;
    EXPECT_FALSE(queue->takeNext(&none));
    queue->discardAll();

    // Both rings take their full capacity again: no count was left behind.
    for (int i = 0; i < kImmediateSlots; ++i) {
        auto job = jobOf(7);
        ASSERT_GT(queue->queueImmediate(&job), 0);
    }
    auto normal = jobOf(9);
    EXPECT_EQ(queue->queueNormal(&normal, false, false), kImmediateSlots + 1);
    for (int i = 0; i < kImmediateSlots; ++i) {
        ASSERT_EQ(takeTag(*queue), 7);
    }
    EXPECT_EQ(takeTag(*queue), 9);
}

TEST(JobQueueTest, AWithdrawnJobLeavesItsRingAndTheOthersKeepTheirOrderAcrossTheWrap) {
    auto queue = std::make_unique<JobQueue>();
    // Move the normal ring's indexes near its end, so the jobs wrap.
    for (int i = 0; i < MAX_PRNJob - 2; ++i) {
        auto job = jobOf(0);
        queue->queueNormal(&job, false, false);
        takeTag(*queue);
    }
    for (std::uint8_t tag = 1; tag <= 5; ++tag) {
        auto job = jobOf(tag);
        job.ticket = tag;
        queue->queueNormal(&job, false, false);
    }
    auto immediate = jobOf(9);
    immediate.ticket = 9;
    queue->queueImmediate(&immediate);

    EXPECT_TRUE(queue->withdraw(3));
    EXPECT_TRUE(queue->withdraw(9));
    EXPECT_FALSE(queue->withdraw(3));
    EXPECT_EQ(queue->MyNumJob(), 4);
    EXPECT_EQ(queue->NumImPrnJob(), 0);
    auto later = jobOf(6);
    queue->queueNormal(&later, false, false);
    for (std::uint8_t tag : {1, 2, 4, 5, 6}) {
        EXPECT_EQ(takeTag(*queue), tag);
    }
    PrintJobRecord none;
    EXPECT_FALSE(queue->takeNext(&none));
}

TEST(JobQueueTest, SynchronousTimeOutGrowsWithLengthAndIsLongerForTheSlowModels) {
    EXPECT_EQ(synchronousTimeoutMs(model::A14, 50), 5000u);
    EXPECT_EQ(synchronousTimeoutMs(model::A14, 100), 5000u);
    EXPECT_EQ(synchronousTimeoutMs(model::A14, 101), 13000u);
    EXPECT_EQ(synchronousTimeoutMs(model::A14, 10000), 13000u);
    EXPECT_EQ(synchronousTimeoutMs(model::A14, 10001), 33000u);
    EXPECT_EQ(synchronousTimeoutMs(model::B20, 100), 5000u);
    EXPECT_EQ(synchronousTimeoutMs(model::B20, 5000), 43000u);
    EXPECT_EQ(synchronousTimeoutMs(model::B20, 20000), 183000u);
    EXPECT_EQ(synchronousTimeoutMs(model::A10X, 65536), 65u * 6000 + 63000);
}

TEST(JobQueueTest, LogTextsShowBytesReadablyAndStopAtTheirLimit) {
    const std::vector<std::uint8_t> data = {'A', 0x1B, '|', 0x0A};
    EXPECT_EQ(jobText(data, 100), "A0x1b |0x0a ");
    EXPECT_EQ(jobHexText(data, 100), " 41 1b 7c 0a");
    const std::vector<std::uint8_t> many(1000, 0x00);
    EXPECT_LE(jobHexText(many, 30).size(), 33u);
}

}  // namespace
}  // namespace printer
