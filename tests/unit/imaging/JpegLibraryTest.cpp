#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ImagingTestSupport.h"
#include "imgconv/imgconv.h"

using namespace imagingtest;

namespace {

struct Decoded {
    std::int32_t result = -1;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::unique_ptr<unsigned char[]> pixels{new unsigned char[IMGCONV_PIXEL_BUFFER_SIZE]};

    // Blue, green, red of the pixel at column x, row y from the top.
    Rgb at(std::int32_t x, std::int32_t y) const
    {
        const unsigned char* p = pixels.get() + (static_cast<std::size_t>(height - 1 - y) * width + x) * 3;
        return {p[2], p[1], p[0]};
    }
};

Decoded decode(std::vector<std::uint8_t> file, std::int32_t bitsPerPixel = 24)
{
    Decoded d;
    const JpegMemory memory{0, static_cast<std::int32_t>(file.size()), file.data()};
    d.result = JpegToBmp(&memory, &d.width, &d.height, bitsPerPixel, d.pixels.get());
    return d;
}

// 16-pixel blocks in a 4 x 3 grid, one colour each; the top row differs
// from the bottom row, so a picture stored top-down shows.
const Rgb kBlocks[3][4] = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}},
                           {{0, 0, 0}, {128, 128, 128}, {255, 255, 0}, {0, 255, 255}},
                           {{40, 40, 40}, {220, 220, 220}, {255, 0, 255}, {90, 160, 30}}};

Rgb block(std::int32_t x, std::int32_t y) { return kBlocks[y / 16][x / 16]; }

void expectNear(const Rgb& got, const Rgb& want, int tolerance, const std::string& where)
{
    EXPECT_NEAR(got.r, want.r, tolerance) << where << " red";
    EXPECT_NEAR(got.g, want.g, tolerance) << where << " green";
    EXPECT_NEAR(got.b, want.b, tolerance) << where << " blue";
}

TEST(JpegLibrary, EveryKindDecodesBottomUpInBmpOrder)
{
    for (JpegKind kind : {JpegKind::Baseline, JpegKind::Progressive, JpegKind::Greyscale, JpegKind::Cmyk}) {
        const bool greyscale = kind == JpegKind::Greyscale;
        const auto file = makeJpeg(64, 48, kind, [&](std::int32_t x, std::int32_t y) {
            const Rgb c = block(x, y);
            return greyscale ? Rgb{c.g, c.g, c.g} : c;
        });
        const Decoded d = decode(file);
        ASSERT_EQ(d.result, IMGCONV_OK) << static_cast<int>(kind);
        ASSERT_EQ(d.width, 64);
        ASSERT_EQ(d.height, 48);
        for (std::int32_t by = 0; by < 3; ++by) {
            for (std::int32_t bx = 0; bx < 4; ++bx) {
                const Rgb& colour = kBlocks[by][bx];
                const Rgb want = greyscale ? Rgb{colour.g, colour.g, colour.g} : colour;
                // The block's centre, away from the edges JPEG smears.
                const std::string where = "kind " + std::to_string(static_cast<int>(kind)) + " block " +
                                          std::to_string(bx) + "," + std::to_string(by);
                expectNear(d.at(bx * 16 + 8, by * 16 + 8), want, 24, where);
            }
        }
    }
}

// Noise, so that the image data and not the tables make up most of the file.
Rgb noise(std::int32_t x, std::int32_t y)
{
    const auto v = static_cast<std::uint32_t>(x * 7919 + y * 104729) * 2654435761u;
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8)};
}

TEST(JpegLibrary, ImageCutShortFails)
{
    for (JpegKind kind : {JpegKind::Baseline, JpegKind::Progressive}) {
        auto file = makeJpeg(64, 48, kind, noise);
        file.resize(file.size() * 2 / 3);
        EXPECT_EQ(decode(file).result, IMGCONV_E_TRUNCATED) << static_cast<int>(kind);
        file.resize(200);
        const std::int32_t early = decode(file).result;
        EXPECT_TRUE(early == IMGCONV_E_TRUNCATED || early == IMGCONV_E_DECODE) << early;
    }
}

// Finds the baseline frame header and gives the image another size.
void claimSize(std::vector<std::uint8_t>& file, std::uint16_t width, std::uint16_t height)
{
    for (std::size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {
            file[i + 5] = static_cast<std::uint8_t>(height >> 8);
            file[i + 6] = static_cast<std::uint8_t>(height);
            file[i + 7] = static_cast<std::uint8_t>(width >> 8);
            file[i + 8] = static_cast<std::uint8_t>(width);
            return;
        }
    }
    FAIL() << "no frame header";
}

TEST(JpegLibrary, ImagesLargerThanThePixelBufferAreRefused)
{
    auto file = makeJpeg(64, 48, JpegKind::Baseline, block);
    claimSize(file, 8000, 8000);  // 192 MB of pixels for a 50 MB buffer
    EXPECT_EQ(decode(file).result, IMGCONV_E_TOO_LARGE);
    claimSize(file, 4096, 4266);  // just fits: the decoder then runs out of data
    EXPECT_EQ(decode(file).result, IMGCONV_E_TRUNCATED);
}

TEST(JpegLibrary, NotAJpegOrBadArgumentsFail)
{
    std::vector<std::uint8_t> text = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(decode(text).result, IMGCONV_E_DECODE);
    auto file = makeJpeg(16, 16, JpegKind::Baseline, block);
    EXPECT_EQ(decode(file, 8).result, IMGCONV_E_ARGUMENT);
    Decoded d;
    JpegMemory memory{static_cast<std::int32_t>(file.size()), static_cast<std::int32_t>(file.size()), file.data()};
    EXPECT_EQ(JpegToBmp(&memory, &d.width, &d.height, 24, d.pixels.get()), IMGCONV_E_ARGUMENT);
    memory.position = -1;
    EXPECT_EQ(JpegToBmp(&memory, &d.width, &d.height, 24, d.pixels.get()), IMGCONV_E_ARGUMENT);
    EXPECT_EQ(JpegToBmp(nullptr, &d.width, &d.height, 24, d.pixels.get()), IMGCONV_E_ARGUMENT);
}

}  // namespace
