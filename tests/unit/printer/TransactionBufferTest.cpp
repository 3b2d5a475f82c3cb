// What PrintJob collects: transactions, rotated-90 page-mode blocks with
// their completed headers, and the bound of the 64 KiB buffer.
#include <gtest/gtest.h>

#include <vector>

#include "printer/TransactionBuffer.h"

namespace printer {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::initializer_list<std::uint8_t> list) { return Bytes(list); }

struct Collector {
    TransactionBuffer buffer;
    LineMetrics metrics;
    Bytes job;

    Collector() { buffer.setPrintWidth(512); }
    Collected collect(std::int32_t mode, const Bytes& data = {}) {
        job.clear();
        return buffer.collect(mode, data, metrics, &job);
    }
};

TEST(TransactionBufferTest, OutsideATransactionNormalOutputPrintsAtOnce) {
    Collector c;
    EXPECT_EQ(c.collect(job_mode::NORMAL, bytes({'A', '\n'})), Collected::Print);
    EXPECT_EQ(c.job, bytes({'A', '\n'}));
    EXPECT_EQ(c.collect(job_mode::IMMEDIATE, bytes({'B'})), Collected::Print);
    EXPECT_EQ(c.job, bytes({'B'}));
}

TEST(TransactionBufferTest, ATransactionCollectsUntilItEndsThenPrintsEverythingWithTheEnding) {
    Collector c;
    EXPECT_EQ(c.collect(job_mode::ENTERTRANS), Collected::Held);
    EXPECT_EQ(c.collect(job_mode::NORMAL, bytes({'1'})), Collected::Held);
    EXPECT_EQ(c.collect(job_mode::NORMAL, bytes({'2'})), Collected::Held);
    // Immediate output is never part of a transaction.
    EXPECT_EQ(c.collect(job_mode::IMMEDIATE, bytes({'!'})), Collected::Print);
    EXPECT_EQ(c.job, bytes({'!'}));
    // A second start changes nothing.
    EXPECT_EQ(c.collect(job_mode::ENTERTRANS), Collected::Held);
    EXPECT_EQ(c.buffer.TransSize(), 2u);
    EXPECT_EQ(c.collect(job_mode::EXITTRANS, bytes({0x1B, 0x7B, 0x00})), Collected::Print);
    EXPECT_EQ(c.job, bytes({'1', '2', 0x1B, 0x7B, 0x00}));
    EXPECT_EQ(c.buffer.transactionState(), kTransactionNormal);
    EXPECT_FALSE(c.buffer.hasBuffer());
}

TEST(TransactionBufferTest, AnEmptyTransactionFailsAndLeavesTheTransaction) {
    Collector c;
    c.collect(job_mode::ENTERTRANS);
    EXPECT_EQ(c.collect(job_mode::EXITTRANS, bytes({0x1B, 0x7B, 0x00})), Collected::Failed);
    EXPECT_EQ(c.buffer.transactionState(), kTransactionNormal);
    EXPECT_EQ(c.collect(job_mode::NORMAL, bytes({'x'})), Collected::Print);
}

TEST(TransactionBufferTest, ARotatedBlockGetsThePrintWidthAndItsDoubledWidestLineAsItsArea) {
    Collector c;
    c.buffer.setRotationDirection(kDirectionRight);
    EXPECT_EQ(c.collect(job_mode::ROTATE_90, pageModeHeader(kDirectionRight)), Collected::Held);
    EXPECT_TRUE(c.buffer.pageMode());
    EXPECT_EQ(c.collect(job_mode::NORMAL, bytes({'A', 'B', '\n'})), Collected::Held);
    c.metrics.widestLine = 150;  // what the translator measured
    c.metrics.totalHeight = 34;
    EXPECT_EQ(c.collect(job_mode::EXITTROTATE, bytes({0x0C, 0x1B, 0x54, 0x00})), Collected::Print);
    // dx 512 = 00 02, dy 300 = 2C 01, little-endian.
    EXPECT_EQ(c.job, bytes({0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, 0x00, 0x02, 0x2C, 0x01, 0x1B, 0x54, 0x03, 'A', 'B',
                            '\n', 0x0C, 0x1B, 0x54, 0x00}));
    EXPECT_EQ(c.buffer.rotationState(), kRotationNormal);
    EXPECT_FALSE(c.buffer.pageMode());
    EXPECT_EQ(c.buffer.rotationDirection(), kDirectionNone);
    EXPECT_EQ(c.metrics.widestLine, 0);
}

TEST(TransactionBufferTest, ARotatedBlockWithNothingInItIsDropped) {
    Collector c;
    c.collect(job_mode::ROTATE_90, pageModeHeader(kDirectionLeft));
    EXPECT_EQ(c.collect(job_mode::EXITTROTATE, bytes({0x0C, 0x1B, 0x54, 0x00})), Collected::Print);
    EXPECT_EQ(c.job, bytes({0x0C, 0x1B, 0x54, 0x00}));
}

TEST(TransactionBufferTest, EndingATransactionInsideRotationPrintsTheBlockAndOpensTheNext) {
    Collector c;
    c.buffer.setRotationDirection(kDirectionLeft);
    c.collect(job_mode::ENTERTRANS);
    c.collect(job_mode::NORMAL, bytes({'a'}));
    EXPECT_EQ(c.collect(job_mode::ROTATE_90, pageModeHeader(kDirectionLeft)), Collected::Held);
    c.collect(job_mode::NORMAL, bytes({'b'}));
    c.metrics.widestLine = 10;
    EXPECT_EQ(c.collect(job_mode::EXITTRANS, bytes({0x0C})), Collected::Print);
    // The line-mode text, then the block with dy = 2 x 10.
    EXPECT_EQ(c.job, bytes({'a', 0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, 0x00, 0x02, 20, 0, 0x1B, 0x54, 0x01, 'b', 0x0C}));
    EXPECT_TRUE(c.buffer.pageMode());
    EXPECT_EQ(c.buffer.rotationState(), kRotation90);
    EXPECT_EQ(c.buffer.TransSize(), kPageHeaderSize);
    // The reopened block is dropped when nothing more is rotated.
    EXPECT_EQ(c.collect(job_mode::EXITTROTATE, bytes({0x0C, 0x1B, 0x54, 0x00})), Collected::Print);
    EXPECT_EQ(c.job, bytes({0x0C, 0x1B, 0x54, 0x00}));
}

TEST(TransactionBufferTest, ASecondRotatedBlockDoesNotReplaceOneWithOutput) {
    Collector c;
    c.collect(job_mode::ROTATE_90, pageModeHeader(kDirectionRight));
    c.collect(job_mode::NORMAL, bytes({'k', 'e', 'e', 'p'}));
    EXPECT_EQ(c.collect(job_mode::ROTATE_90, pageModeHeader(kDirectionLeft)), Collected::Failed);
    EXPECT_EQ(c.buffer.TransSize(), kPageHeaderSize + 4);
}

TEST(TransactionBufferTest, DataThatWouldOverflowTheBufferFailsAndDropsTheCollection) {
    Collector c;
    c.collect(job_mode::ENTERTRANS);
    const Bytes half(TRANSBUFSIZE / 2, 'x');
    EXPECT_EQ(c.collect(job_mode::NORMAL, half), Collected::Held);
    EXPECT_EQ(c.collect(job_mode::NORMAL, half), Collected::Held);
    EXPECT_EQ(c.buffer.TransSize(), TRANSBUFSIZE);
    EXPECT_EQ(c.collect(job_mode::NORMAL, bytes({'y'})), Collected::Failed);
    EXPECT_FALSE(c.buffer.hasBuffer());
    // The transaction has nothing left to print; it fails and ends.
    EXPECT_EQ(c.collect(job_mode::EXITTRANS, bytes({0x1B, 0x7B, 0x00})), Collected::Failed);
    EXPECT_EQ(c.buffer.transactionState(), kTransactionNormal);
}

TEST(TransactionBufferTest, ClearOutputDropsWhatWasCollectedAndAsksForTheQueueToBeDiscarded) {
    Collector c;
    c.collect(job_mode::ROTATE_180);
    c.collect(job_mode::ENTERTRANS);
    c.collect(job_mode::NORMAL, bytes({'z'}));
    EXPECT_EQ(c.collect(job_mode::CLEAROUTPUT), Collected::Discard);
    EXPECT_EQ(c.buffer.transactionState(), kTransactionNormal);
    EXPECT_EQ(c.buffer.rotationState(), kRotationNormal);
    EXPECT_FALSE(c.buffer.hasBuffer());
    EXPECT_EQ(c.collect(job_mode::NORMAL, bytes({'n'})), Collected::Print);
}

}  // namespace
}  // namespace printer
