#include <gtest/gtest.h>

#include "ImagingTestSupport.h"
#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"
#include "printer/bitmap/BitImageEncoder.h"

using namespace imagingtest;
using printer::BitImage;
using printer::BitImageRequest;
using printer::BitImageResult;

namespace {

PrintedImage encodeAndRead(const printer::Dib& dib, const BitImageRequest& request)
{
    BitImage image;
    EXPECT_EQ(printer::encodeBitImage(dib, request, &image), BitImageResult::Ok);
    PrintedImage printed;
    std::string why;
    EXPECT_TRUE(readBitImage(image.bytes, &printed, &why)) << why;
    EXPECT_EQ(image.widthDots, printed.width);
    EXPECT_EQ(image.rows, static_cast<std::int32_t>(printed.dots.size()));
    return printed;
}

// Decodes the bands back into dots and holds them against the image: a dot
// for every palette-0 pixel, nothing in the padding to whole bands (above
// the image) or to whole 32-dot words (right of it).
TEST(BitImageEncoder, BandsDecodeBackToTheImageAtEveryLevel)
{
    struct Level {
        std::int32_t level;
        std::uint8_t m;
        std::int32_t band;
    };
    const Level levels[] = {{8, 0, 8}, {16, 1, 8}, {24, 32, 24}, {48, 33, 24}, {5, 0, 8}};
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{100, 50}, {64, 48}, {1, 1}, {33, 25}};
    std::uint32_t seed = 1;
    for (const Level& l : levels) {
        for (const auto& [width, height] : sizes) {
            const printer::Dib dib = randomDib(width, height, seed++);
            BitImageRequest request;
            request.bitmapLevel = l.level;
            const PrintedImage printed = encodeAndRead(dib, request);
            const std::string label = "level " + std::to_string(l.level) + " " + std::to_string(width) + "x" +
                                      std::to_string(height);
            EXPECT_EQ(printed.mode, l.m) << label;
            EXPECT_EQ(printed.width, (width + 31) / 32 * 32) << label;
            const std::int32_t rows = (height + l.band - 1) / l.band * l.band;
            ASSERT_EQ(static_cast<std::int32_t>(printed.dots.size()), rows) << label;
            const std::int32_t top = rows - height;
            int wrong = 0;
            for (std::int32_t r = 0; r < rows; ++r) {
                for (std::int32_t x = 0; x < printed.width; ++x) {
                    const bool expected = r >= top && x < width && !dib.pixel(x, r - top);
                    if (printed.dots[static_cast<std::size_t>(r)][static_cast<std::size_t>(x)] != expected) ++wrong;
                }
            }
            EXPECT_EQ(wrong, 0) << label;
        }
    }
}

TEST(BitImageEncoder, BandTrailersFollowTheModel)
{
    using namespace printer::model;
    const std::array<std::uint8_t, 5> stepFeed = {0x1B, 0x32, 0x1B, 0x4A, 0x10};
    const std::array<std::uint8_t, 5> lineFeed = {0x1B, 0x33, 0x18, 0x00, 0x0A};
    const std::array<std::uint8_t, 5> dotFeed = {0x1B, 0x32, 0x1B, 0x4A, 0x18};
    const std::pair<std::int32_t, std::array<std::uint8_t, 5>> models[] = {
        {K90, stepFeed}, {K91, stepFeed}, {K92, stepFeed}, {F60, stepFeed}, {B20, lineFeed},
        {A14, dotFeed},  {H81, dotFeed},  {B21, dotFeed},  {None, dotFeed}};
    const printer::Dib dib = randomDib(40, 20, 4);
    for (const auto& [model, trailer] : models) {
        BitImageRequest request;
        request.model = model;
        const PrintedImage printed = encodeAndRead(dib, request);
        ASSERT_EQ(printed.bands, 3) << model;
        for (const auto& t : printed.trailers) EXPECT_EQ(t, trailer) << model;
        EXPECT_EQ(printed.finalLineSpacing, model == B20) << model;
    }
}

TEST(BitImageEncoder, AlignmentIsMirroredForAHalfTurn)
{
    const printer::Dib dib = randomDib(8, 8, 2);
    struct Case {
        std::int32_t alignment;
        bool rotated;
        std::uint8_t n;
    };
    const Case cases[] = {{common::PTR_BM_LEFT, false, 0},  {common::PTR_BM_CENTER, false, 1},
                          {common::PTR_BM_RIGHT, false, 2}, {250, false, 1},
                          {common::PTR_BM_LEFT, true, 2},   {common::PTR_BM_CENTER, true, 1},
                          {common::PTR_BM_RIGHT, true, 0}};
    for (const Case& c : cases) {
        BitImageRequest request;
        request.alignment = c.alignment;
        request.rotated180 = c.rotated;
        EXPECT_EQ(encodeAndRead(dib, request).alignment, c.n) << c.alignment << " " << c.rotated;
    }
}

TEST(BitImageEncoder, WidthLimitIs8160Dots)
{
    imagingtest::CapturingLog log;
    BitImage image;
    EXPECT_EQ(printer::encodeBitImage(randomDib(8160, 8, 1), {}, &image, &log), BitImageResult::Ok);
    EXPECT_EQ(image.widthDots, 8160);
    BitImage refused;
    EXPECT_EQ(printer::encodeBitImage(randomDib(8161, 8, 1), {}, &refused, &log), BitImageResult::TooWide);
    EXPECT_TRUE(refused.bytes.empty());
    EXPECT_TRUE(log.hasError("nTruePixelsOfWidth(8192) * 8 > 65535"));
}

// One 8-row band of 64 dots: 6 + 5 + 64 + 5 bytes, which must all fit the
// 65,536-byte command buffer after what it holds already.
TEST(BitImageEncoder, ImagesThatWouldOverfillTheCommandBufferAreRefusedWhole)
{
    const printer::Dib dib = randomDib(64, 8, 3);
    BitImageRequest request;
    BitImage image;
    request.alreadyBuffered = 65536 - 80 + 1;
    EXPECT_EQ(printer::encodeBitImage(dib, request, &image), BitImageResult::TooLarge);
    EXPECT_TRUE(image.bytes.empty());
    request.alreadyBuffered = 65536 - 80;
    EXPECT_EQ(printer::encodeBitImage(dib, request, &image), BitImageResult::Ok);
    EXPECT_EQ(image.bytes.size(), 80u);

    imagingtest::CapturingLog log;
    BitImage tall;
    EXPECT_EQ(printer::encodeBitImage(randomDib(640, 1000, 1), {}, &tall, &log), BitImageResult::TooLarge);
    EXPECT_TRUE(log.hasError("PrintBitmapToRAM data so large:"));
}

}  // namespace
