// Pictures printed through the whole bitmap pipeline onto the virtual
// printer and read back from its PNG. How large a dot of each bit-image
// density comes out is the printer's business, not the pipeline's, so this
// is where the printed size and tones are held against the source picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ImagingTestSupport.h"
#include "PrintedInk.h"
#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"
#include "printer/bitmap/BitmapPipeline.h"

using namespace imagingtest;

namespace {

// The paper starts this far into the picture, on both axes.
constexpr int kPaperMargin = 8;

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

Box inkBox(const Ink& ink)
{
    Box box{ink.width, ink.height, 0, 0};
    for (int y = 0; y < ink.height; ++y)
        for (int x = 0; x < ink.width; ++x)
            if (ink.at(x, y)) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box;
}

double inkShare(const Ink& ink, int left, int right, int top, int bottom)
{
    int dots = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) dots += ink.at(x, y) ? 1 : 0;
    return dots / static_cast<double>((right - left) * (bottom - top));
}

// A black frame around a diagonal grey ramp with a disc of the opposite
// tones inside a thin black ring: the frame shows where the picture ends,
// the rest what became of its tones and lines.
struct Picture {
    std::int32_t width;
    std::int32_t height;

    std::uint8_t grey(std::int32_t x, std::int32_t y) const
    {
        constexpr std::int32_t frame = 3;
        if (x < frame || y < frame || x >= width - frame || y >= height - frame) return 0;
        const double ramp = 255.0 * (0.7 * x / (width - 1) + 0.3 * y / (height - 1));
        const double fromCentre = std::hypot(x - width / 2.0, y - height / 2.0);
        const double radius = height * 0.35;
        if (fromCentre < radius - 3) return static_cast<std::uint8_t>(std::lround(255.0 - ramp));
        if (fromCentre < radius) return 0;
        return static_cast<std::uint8_t>(std::lround(ramp));
    }
};

class PrintedPicture : public ::testing::Test {
protected:
    Ink print(const Picture& picture, std::int32_t level, std::int32_t width)
    {
        const std::string file = sources.file("picture.bmp");
        writeFile(file, makeGreyBmp(picture.width, picture.height,
                                    [&](std::int32_t x, std::int32_t y) { return picture.grey(x, y); }));
        printer::BitmapContext context;
        context.model = printer::model::A14;
        context.bitmapLevel = level;
        context.mapMode = common::PTR_MM_DOTS;
        context.dpi = 203;
        context.installDirectory = IMAGING_LIBRARY_DIR;
        context.bitmapDirectory = stored.path();
        context.log = &log;
        auto encoder = std::make_unique<printer::CommandEncoder>();
        const std::int32_t fill = printer::DoPrintBmp(context, std::filesystem::path(file).wstring(), width,
                                                      common::PTR_BM_CENTER, *encoder);
        EXPECT_GT(fill, 0) << (log.errors.empty() ? "" : log.errors.back());
        if (fill <= 0) return {};
        return printOnA14(encoder->commands());
    }

    TempDir sources;
    TempDir stored;
    CapturingLog log;
};

constexpr std::int32_t kLevels[] = {8, 16, 24, 48};
constexpr int kPaperWidth = 640;

// As is, every source pixel prints two dots wide and two tall, whatever
// the density: the level changes the dots, not the picture.
TEST_F(PrintedPicture, AsIsEveryLevelPrintsTwoDotsASourcePixel)
{
    const Picture picture{160, 80};
    for (std::int32_t level : kLevels) {
        const Box box = inkBox(print(picture, level, common::PTR_BM_ASIS));
        EXPECT_NEAR(box.width(), 2 * picture.width, 4) << "level " << level;
        EXPECT_NEAR(box.height(), 2 * picture.height, 4) << "level " << level;
        EXPECT_NEAR(box.left - kPaperMargin, (kPaperWidth - 2 * picture.width) / 2, 4) << "level " << level;
    }
}

// At a width of its own the picture keeps its proportions at every level;
// in single density the width is the one asked for (double density gets
// it doubled by SetBitmap and PrintBitmap).
TEST_F(PrintedPicture, AtAGivenWidthEveryLevelKeepsTheProportions)
{
    const Picture picture{384, 192};
    constexpr int width = 320;
    for (std::int32_t level : kLevels) {
        const Box box = inkBox(print(picture, level, width));
        ASSERT_GT(box.width(), 0) << "level " << level;
        EXPECT_NEAR(box.height(), box.width() * picture.height / picture.width, 4) << "level " << level;
        if (level == 8 || level == 24) {
            EXPECT_NEAR(box.width(), width, 4) << "level " << level;
        }
    }
}

// Every 16 x 16-dot square of the print carries the ink its part of the
// source calls for: a halftone made smaller by picking some of its dots
// and dropping the rest prints bands and streaks instead.
TEST_F(PrintedPicture, EveryPartOfThePicturePrintsInItsOwnTone)
{
    // Larger than it prints at any level.
    const Picture picture{384, 192};
    constexpr int square = 16;
    for (std::int32_t level : kLevels) {
        const Ink ink = print(picture, level, 384);
        const Box box = inkBox(ink);
        ASSERT_GT(box.width(), 0) << "level " << level;
        const double across = static_cast<double>(picture.width) / box.width();
        const double down = static_cast<double>(picture.height) / box.height();
        double worst = 0;
        for (int top = box.top; top + square <= box.bottom; top += square) {
            for (int left = box.left; left + square <= box.right; left += square) {
                double wanted = 0;
                int pixels = 0;
                for (auto y = static_cast<std::int32_t>((top - box.top) * down);
                     y < static_cast<std::int32_t>((top + square - box.top) * down); ++y) {
                    for (auto x = static_cast<std::int32_t>((left - box.left) * across);
                         x < static_cast<std::int32_t>((left + square - box.left) * across); ++x) {
                        wanted += 1.0 - picture.grey(x, y) / 255.0;
                        ++pixels;
                    }
                }
                wanted /= pixels;
                worst = std::max(worst, std::abs(inkShare(ink, left, left + square, top, top + square) - wanted));
            }
        }
        EXPECT_LT(worst, 0.08) << "level " << level;
    }
}

}  // namespace
