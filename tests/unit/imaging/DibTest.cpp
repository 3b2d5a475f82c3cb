#include <gtest/gtest.h>

#include <random>

#include "ImagingTestSupport.h"
#include "printer/bitmap/BitmapImage.h"
#include "printer/bitmap/Dib.h"

using namespace imagingtest;
using printer::Dib;
using printer::DibCheck;

namespace {

bool diagonal(std::int32_t x, std::int32_t y) { return x == y || x == 0 || y == 2; }

void expectSamePixels(const Dib& a, const Dib& b)
{
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    for (std::int32_t y = 0; y < a.height; ++y)
        for (std::int32_t x = 0; x < a.width; ++x) ASSERT_EQ(a.pixel(x, y), b.pixel(x, y)) << x << "," << y;
}

TEST(Dib, TopDownAndBottomUpFilesReadAlike)
{
    BmpShape shape;
    shape.width = 13;
    shape.height = 7;
    shape.bitCount = 1;
    shape.palette = {{0, 0, 0}, {255, 255, 255}};
    auto value = [](std::int32_t x, std::int32_t y) { return diagonal(x, y) ? 0u : 1u; };
    Dib up, down, v5;
    ASSERT_EQ(printer::parseDib(makeBmp(shape, value), &up), DibCheck::Ok);
    shape.topDown = true;
    ASSERT_EQ(printer::parseDib(makeBmp(shape, value), &down), DibCheck::Ok);
    shape.infoSize = 124;
    ASSERT_EQ(printer::parseDib(makeBmp(shape, value), &v5), DibCheck::Ok);
    expectSamePixels(up, down);
    expectSamePixels(up, v5);
    for (std::int32_t y = 0; y < 7; ++y)
        for (std::int32_t x = 0; x < 13; ++x) EXPECT_EQ(up.pixel(x, y), !diagonal(x, y));
}

TEST(Dib, HeadersThatContradictTheFileAreRefused)
{
    const auto good = makeOneBitBmp(40, 30, true, diagonal);
    struct Case {
        const char* name;
        void (*change)(std::vector<std::uint8_t>&);
        DibCheck expected;
    };
    const Case cases[] = {
        {"empty", [](auto& f) { f.clear(); }, DibCheck::NotBitmap},
        {"no BM", [](auto& f) { f[1] = 'A'; }, DibCheck::NotBitmap},
        {"cut in the header", [](auto& f) { f.resize(50); }, DibCheck::NotBitmap},
        {"cut in the rows", [](auto& f) { f.resize(f.size() - 3); }, DibCheck::Invalid},
        {"offset past the end", [](auto& f) { put32le(f, 10, 0xFFFFFFF0); }, DibCheck::Invalid},
        {"offset inside the palette", [](auto& f) { put32le(f, 10, 58); }, DibCheck::Invalid},
        {"three palette entries", [](auto& f) { put32le(f, 46, 3); }, DibCheck::Invalid},
        {"palette count huge", [](auto& f) { put32le(f, 46, 0x40000000); }, DibCheck::Invalid},
        {"width 0", [](auto& f) { put32le(f, 18, 0); }, DibCheck::Invalid},
        {"height 0", [](auto& f) { put32le(f, 22, 0); }, DibCheck::Invalid},
        {"dimensions huge", [](auto& f) { put32le(f, 18, 0x7FFFFFFF); put32le(f, 22, 0x7FFFFFFF); }, DibCheck::Unsupported},
        {"header size unknown", [](auto& f) { put32le(f, 14, 64); }, DibCheck::Unsupported},
        {"header size past the end", [](auto& f) { put32le(f, 14, 124); f.resize(100); }, DibCheck::Invalid},
        {"compressed", [](auto& f) { put32le(f, 30, 2); }, DibCheck::Unsupported},
        {"8 bits", [](auto& f) { f[28] = 8; }, DibCheck::NotOneBit},
    };
    for (const Case& c : cases) {
        auto file = good;
        c.change(file);
        Dib dib;
        EXPECT_EQ(printer::parseDib(file, &dib), c.expected) << c.name;
    }
    auto eight = good;
    eight[28] = 8;
    Dib dib;
    int bitCount = 0;
    printer::parseDib(eight, &dib, &bitCount);
    EXPECT_EQ(bitCount, 8);
}

TEST(Dib, DamagedHeadersNeverReadOutsideTheFile)
{
    const auto good = makeOneBitBmp(33, 9, false, diagonal);
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        auto file = good;
        for (int i = 0; i < 3; ++i) file[random() % 66] = static_cast<std::uint8_t>(random());
        if (round % 5 == 0) file.resize(random() % file.size());
        Dib dib;
        if (printer::parseDib(file, &dib) == DibCheck::Ok) {
            ASSERT_EQ(dib.bits.size(), dib.stride() * static_cast<std::size_t>(dib.height));
        }
    }
}

TEST(Dib, SavedAndLoadedImageIsTheSame)
{
    TempDir dir;
    Dib dib = randomDib(45, 17, 3);
    dib.palette = {printer::PaletteEntry{1, 2, 3}, printer::PaletteEntry{4, 5, 6}};
    ASSERT_TRUE(printer::SaveDIB(dib, dir.file("stored")));
    const auto file = readFile(dir.file("stored"));
    EXPECT_EQ(file.size(), 62u + 8u * 17u);
    const auto loaded = printer::LoadDIB(dir.file("stored"));
    ASSERT_TRUE(loaded);
    expectSamePixels(dib, *loaded);
    EXPECT_EQ(loaded->palette, dib.palette);
    EXPECT_FALSE(printer::LoadDIB(dir.file("missing")));
    EXPECT_FALSE(printer::SaveDIB(dib, dir.file("no/such/dir")));
}

TEST(Dib, QuarterTurnIsClockwise)
{
    Dib dib = randomDib(5, 3, 1);
    std::fill(dib.bits.begin(), dib.bits.end(), 0);
    dib.setPixel(0, 0, true);  // top left
    dib.setPixel(4, 2, true);  // bottom right
    dib.setPixel(1, 2, true);
    const auto turned = printer::RotateDIB(dib);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->width, 3);
    EXPECT_EQ(turned->height, 5);
    int set = 0;
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 3; ++x) set += turned->pixel(x, y) ? 1 : 0;
    EXPECT_EQ(set, 3);
    EXPECT_TRUE(turned->pixel(2, 0));  // top left went to the top right
    EXPECT_TRUE(turned->pixel(0, 4));  // bottom right went to the bottom left
    EXPECT_TRUE(turned->pixel(0, 1));
}

TEST(Dib, TwoTurnsAreAHalfTurnAndFourAreNone)
{
    const Dib dib = randomDib(37, 21, 9);
    auto one = printer::RotateDIB(dib);
    auto two = printer::RotateDIB(*one);
    for (std::int32_t y = 0; y < dib.height; ++y)
        for (std::int32_t x = 0; x < dib.width; ++x)
            ASSERT_EQ(two->pixel(dib.width - 1 - x, dib.height - 1 - y), dib.pixel(x, y));
    auto four = printer::RotateDIB(*printer::RotateDIB(*two));
    expectSamePixels(dib, *four);
}

TEST(Dib, EnlargingRepeatsEveryPixel)
{
    const Dib dib = randomDib(20, 12, 5);
    expectSamePixels(dib, *printer::ChangeDIBSize(dib, 20, 12));
    const auto doubled = printer::ChangeDIBSize(dib, 40, 36);
    ASSERT_TRUE(doubled);
    for (std::int32_t y = 0; y < 36; ++y)
        for (std::int32_t x = 0; x < 40; ++x) ASSERT_EQ(doubled->pixel(x, y), dib.pixel(x / 2, y / 3));
    EXPECT_FALSE(printer::ChangeDIBSize(dib, 0, 5));
    EXPECT_FALSE(printer::ChangeDIBSize(dib, 5, -1));
    EXPECT_FALSE(printer::ChangeDIBSize(dib, 100000, 100000));
}

// A picture made of 2 x 3 blocks of one colour has nothing finer than half
// its width and a third of its height: reduced that far it loses nothing.
TEST(Dib, ReducingKeepsWhatIsCoarserThanTheReduction)
{
    const Dib blocks = randomDib(12, 8, 9);
    Dib source = randomDib(24, 24, 1);  // every pixel set below
    for (std::int32_t y = 0; y < 24; ++y)
        for (std::int32_t x = 0; x < 24; ++x) source.setPixel(x, y, blocks.pixel(x / 2, y / 3));
    const auto reduced = printer::ChangeDIBSize(source, 12, 8);
    ASSERT_TRUE(reduced);
    expectSamePixels(blocks, *reduced);
}

// A halftone keeps its tone when made smaller: a 50% checkerboard must not
// turn into solid black or white, nor into stripes.
TEST(Dib, ReducingAHalftoneKeepsItsTone)
{
    Dib checkerboard = randomDib(96, 96, 3);  // every pixel set below
    for (std::int32_t y = 0; y < 96; ++y)
        for (std::int32_t x = 0; x < 96; ++x) checkerboard.setPixel(x, y, (x + y) % 2 == 0);
    for (const auto& [width, height] : {std::pair{48, 48}, std::pair{48, 32}, std::pair{64, 64}, std::pair{32, 48}}) {
        const auto reduced = printer::ChangeDIBSize(checkerboard, width, height);
        ASSERT_TRUE(reduced);
        for (std::int32_t top = 0; top < height; top += 8) {
            for (std::int32_t left = 0; left < width; left += 8) {
                int set = 0;
                for (std::int32_t y = top; y < top + 8; ++y)
                    for (std::int32_t x = left; x < left + 8; ++x) set += reduced->pixel(x, y) ? 1 : 0;
                EXPECT_NEAR(set, 32, 6) << width << "x" << height << " at " << left << "," << top;
            }
        }
    }
}

// A line thinner than the reduction still shows, as the share of dots its
// width calls for; it is never dropped between two picked rows or columns.
TEST(Dib, ReducingKeepsThinLines)
{
    // One-pixel lines in row 15 and column 21: a third of target row 5 and
    // of target column 7.
    Dib source = randomDib(36, 36, 2);  // every pixel set below
    for (std::int32_t y = 0; y < 36; ++y)
        for (std::int32_t x = 0; x < 36; ++x) source.setPixel(x, y, x != 21 && y != 15);
    const auto reduced = printer::ChangeDIBSize(source, 12, 12);
    ASSERT_TRUE(reduced);
    int inRow = 0, inColumn = 0, elsewhere = 0;
    for (std::int32_t y = 0; y < 12; ++y) {
        for (std::int32_t x = 0; x < 12; ++x) {
            if (reduced->pixel(x, y) || (x == 7 && y == 5)) continue;
            ++(y == 5 ? inRow : x == 7 ? inColumn : elsewhere);
        }
    }
    EXPECT_GE(inRow, 2);
    EXPECT_GE(inColumn, 2);
    EXPECT_EQ(elsewhere, 0);
}

TEST(BitmapRecord, RowsAndChecks)
{
    using namespace printer;
    Bitmap b;
    EXPECT_EQ(Bitmap_New(&b, 5, 3, 24, false), BMP_Err_Ok);
    EXPECT_EQ(b.BytesPerLine, 15);
    EXPECT_EQ(b.imageSize, 45);
    EXPECT_EQ(b.buffer.size(), 61u);
    ASSERT_EQ(b.ScanLine.size(), 3u);
    EXPECT_EQ(b.ScanLine[2], b.buffer.data() + 30);
    EXPECT_EQ(Bitmap_Check(&b), BMP_Err_Ok);
    EXPECT_EQ(Bitmap_New(&b, 5, 3, 24, true), BMP_Err_Ok);
    EXPECT_EQ(b.BytesPerLine, 16);
    EXPECT_EQ(Bitmap_New(&b, 9, 2, 1, true), BMP_Err_Ok);
    EXPECT_EQ(b.BytesPerLine, 4);

    EXPECT_EQ(Bitmap_New(nullptr, 5, 3, 24, false), BMP_Err_Invalid_Argument);
    EXPECT_EQ(Bitmap_New(&b, 0, 3, 24, false), BMP_Err_Invalid_Argument);
    EXPECT_EQ(Bitmap_New(&b, 5, 0, 24, false), BMP_Err_Invalid_Argument);
    EXPECT_EQ(Bitmap_New(&b, 5, 3, 16, false), BMP_Err_Invalid_Argument);
    EXPECT_EQ(Bitmap_New(&b, 0x7FFFFFFF, 0x7FFFFFFF, 24, false), BMP_Err_Invalid_Argument);

    EXPECT_EQ(Bitmap_Done(&b), BMP_Err_Ok);
    EXPECT_EQ(b.width, 0);
    EXPECT_TRUE(b.buffer.empty());
    EXPECT_EQ(Bitmap_Check(&b), BMP_Err_Invalid_Bitmap);
    EXPECT_EQ(Bitmap_Check(nullptr), BMP_Err_Invalid_Argument);
}

TEST(BitmapRecord, SavedFilesAreBmpsWithPaddedRows)
{
    using namespace printer;
    TempDir dir;
    Bitmap b;
    ASSERT_EQ(Bitmap_New(&b, 5, 2, 24, false), BMP_Err_Ok);
    for (std::size_t i = 0; i < 30; ++i) b.buffer[i] = static_cast<std::uint8_t>(i + 1);
    ASSERT_EQ(SaveBitmapToFile(&b, dir.file("rgb.bmp").c_str()), BMP_Err_Ok);
    const auto rgb = readFile(dir.file("rgb.bmp"));
    ASSERT_EQ(rgb.size(), 54u + 2 * 16);
    EXPECT_EQ(rgb[10], 54);
    EXPECT_EQ(rgb[28], 24);
    EXPECT_EQ(rgb[54], 1);     // first row, first byte
    EXPECT_EQ(rgb[54 + 14], 15);
    EXPECT_EQ(rgb[54 + 15], 0);  // padding
    EXPECT_EQ(rgb[54 + 16], 16);

    ASSERT_EQ(Bitmap_New(&b, 4, 2, 8, true), BMP_Err_Ok);
    ASSERT_EQ(SaveBitmapToFile(&b, dir.file("grey.bmp").c_str()), BMP_Err_Ok);
    const auto grey = readFile(dir.file("grey.bmp"));
    ASSERT_EQ(grey.size(), 1078u + 8);
    EXPECT_EQ(grey[54 + 4 * 200], 200);
    EXPECT_EQ(grey[46] | grey[47] << 8, 256);

    ASSERT_EQ(Bitmap_New(&b, 4, 2, 1, true), BMP_Err_Ok);
    ASSERT_EQ(SaveBitmapToFile(&b, dir.file("mono.bmp").c_str()), BMP_Err_Ok);
    const auto mono = readFile(dir.file("mono.bmp"));
    ASSERT_EQ(mono.size(), 62u + 8);
    EXPECT_EQ(mono[54], 0);
    EXPECT_EQ(mono[58], 0xFF);

    EXPECT_EQ(SaveBitmapToFile(&b, nullptr), BMP_Err_Invalid_Argument);
    EXPECT_EQ(SaveBitmapToFile(&b, dir.file("no/such/dir.bmp").c_str()), BMP_Err_Create_File_Failed);
    Bitmap empty;
    EXPECT_EQ(SaveBitmapToFile(&empty, dir.file("empty.bmp").c_str()), BMP_Err_Invalid_Bitmap);
}

}  // namespace
