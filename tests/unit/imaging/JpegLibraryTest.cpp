#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ImagingTestSupport.h"
#include "JpegLayout.h"
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
    for (JpegKind kind : jpegKindsMadeHere()) {
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
    for (JpegKind kind : jpegKindsMadeHere()) {
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

// The position of marker FF `code` in a JPEG made here (the first one).
std::size_t markerAt(const std::vector<std::uint8_t>& file, std::uint8_t code)
{
    for (std::size_t i = 0; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == code) return i;
    ADD_FAILURE() << "no marker " << int{code};
    return 0;
}

// Whether the data hold a whole image is read from the markers alone; a
// check that mistook the coded data's FF 00, restart markers or fill bytes
// for the end of a scan would refuse good files.
TEST(JpegLayout, TellsWholeFromTruncatedAndMalformedData)
{
    using Verdict = imgconv::JpegLayout::Verdict;
    const auto made = makeJpeg(64, 48, JpegKind::Baseline, noise);
    const std::size_t scan = markerAt(made, 0xDA);
    const std::size_t frame = markerAt(made, 0xC0);
    const std::size_t end = made.size() - 2;
    ASSERT_EQ(made[end + 1], 0xD9);
    auto insert = [](std::vector<std::uint8_t> f, std::size_t at, std::vector<std::uint8_t> bytes) {
        f.insert(f.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
        return f;
    };
    auto cut = [](std::vector<std::uint8_t> f, std::size_t size) {
        f.resize(size);
        return f;
    };
    auto patched = [](std::vector<std::uint8_t> f, std::size_t at, std::uint8_t value) {
        f[at] = value;
        return f;
    };
    std::vector<std::uint8_t> claimed = made;
    claimSize(claimed, 4096, 4266);
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
        Verdict verdict;
    } cases[] = {
        {"as made", made, Verdict::Whole},
        {"restart markers in the coded data", insert(made, (scan + end) / 2, {0xFF, 0xD3}), Verdict::Whole},
        {"fill bytes before the end", insert(made, end, {0xFF, 0xFF}), Verdict::Whole},
        {"anything after the end", insert(made, made.size(), {0, 0, 0, 0xFF, 0xD8}), Verdict::Whole},
        {"stray bytes between segments", insert(made, scan, {0x00, 0x12}), Verdict::Whole},
        {"cut before the end", cut(made, end), Verdict::Truncated},
        {"cut in the coded data", cut(made, (scan + end) / 2), Verdict::Truncated},
        {"cut in a segment", cut(made, frame + 6), Verdict::Truncated},
        {"frame larger than its data", claimed, Verdict::Truncated},
        {"no start of image", patched(made, 1, 0xD9), Verdict::NotJpeg},
        {"ends before a scan", cut(insert(made, scan, {0xFF, 0xD9}), scan + 2), Verdict::NotJpeg},
        {"segment length below 2", patched(made, frame + 3, 1), Verdict::NotJpeg},
        {"scan of a component the frame lacks", patched(made, scan + 5, 9), Verdict::NotJpeg},
        {"empty", {}, Verdict::NotJpeg},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(imgconv::readJpegLayout(c.file).verdict, c.verdict) << c.name;
    }
    const auto layout = imgconv::readJpegLayout(claimed);
    EXPECT_EQ(layout.width, 4096u);
    EXPECT_EQ(layout.height, 4266u);
    for (JpegKind kind : jpegKindsMadeHere()) {
        EXPECT_EQ(imgconv::readJpegLayout(makeJpeg(64, 48, kind, noise)).verdict, Verdict::Whole)
            << static_cast<int>(kind);
    }
}

}  // namespace
