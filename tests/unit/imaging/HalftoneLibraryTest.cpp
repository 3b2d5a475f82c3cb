#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ImagingTestSupport.h"
#include "imgproc/imgproc.h"
#include "printer/bitmap/Dib.h"

using namespace imagingtest;

namespace {

struct Halftoned {
    std::int32_t result = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<unsigned char> buffer;
    printer::Dib image;
};

// Runs the library on `file` with the buffer its contract asks for.
Halftoned halftone(const TempDir& dir, const std::vector<std::uint8_t>& file, std::int32_t method = 2)
{
    const std::string path = dir.file("source.bmp");
    writeFile(path, file);
    Halftoned h;
    h.buffer.assign(5 * file.size(), 0xAB);
    h.result = AllBitsBmpHalftoneProc(path.c_str(), method, &h.width, &h.height, h.buffer.data());
    if (h.result > 0) {
        EXPECT_LE(static_cast<std::size_t>(h.result), file.size() + 8);
        const std::span<const std::uint8_t> written(h.buffer.data(), static_cast<std::size_t>(h.result));
        EXPECT_EQ(printer::parseDib(written, &h.image), printer::DibCheck::Ok);
        EXPECT_EQ(h.image.palette[0], (printer::PaletteEntry{0, 0, 0}));
        EXPECT_EQ(h.image.palette[1], (printer::PaletteEntry{0xFF, 0xFF, 0xFF}));
    }
    return h;
}

// The picture every depth encodes: black where this is true, white
// elsewhere. Neighbouring pixels differ, so nibble, byte and row order
// all show.
bool pattern(std::int32_t x, std::int32_t y) { return ((x * 7 + y * 3) % 5 == 0) || (x < 3 && y == 0); }

constexpr std::int32_t kWidth = 37;  // no depth fills its rows exactly
constexpr std::int32_t kHeight = 11;

void expectPattern(const Halftoned& h, const std::string& label)
{
    ASSERT_GT(h.result, 0) << label;
    EXPECT_EQ(h.width, kWidth) << label;
    EXPECT_EQ(h.height, kHeight) << label;
    ASSERT_EQ(h.image.width, kWidth) << label;
    ASSERT_EQ(h.image.height, kHeight) << label;
    int wrong = 0;
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x)
            if (h.image.pixel(x, y) == pattern(x, y)) ++wrong;  // index 1 is white
    EXPECT_EQ(wrong, 0) << label;
}

struct Layout {
    const char* label;
    BmpShape shape;
    std::uint32_t black;
    std::uint32_t white;
};

std::vector<Layout> everyLayout()
{
    std::vector<Layout> layouts;
    // Black and white deliberately away from indices 0 and 1, among colours.
    std::vector<Rgb> palette16(16, Rgb{200, 30, 90});
    palette16[3] = {0, 0, 0};
    palette16[12] = {255, 255, 255};
    std::vector<Rgb> palette256(256, Rgb{10, 220, 140});
    palette256[77] = {0, 0, 0};
    palette256[201] = {255, 255, 255};
    for (bool topDown : {false, true}) {
        for (std::uint32_t info : {40u, 108u, 124u}) {
            BmpShape s;
            s.width = kWidth;
            s.height = kHeight;
            s.topDown = topDown;
            s.infoSize = info;
            s.bitCount = 4;
            s.palette = palette16;
            layouts.push_back({"4-bit", s, 3, 12});
            s.bitCount = 8;
            s.palette = palette256;
            layouts.push_back({"8-bit", s, 77, 201});
            s.palette.clear();
            s.bitCount = 16;
            layouts.push_back({"16-bit 555", s, 0, 0x7FFF});
            s.compression = 3;
            s.masks = {0xF800, 0x07E0, 0x001F};
            layouts.push_back({"16-bit 565", s, 0, 0xFFFF});
            s.compression = 0;
            s.bitCount = 24;
            layouts.push_back({"24-bit", s, 0, 0xFFFFFF});
            s.bitCount = 32;
            layouts.push_back({"32-bit", s, 0xFF000000, 0x00FFFFFF});  // the top byte is not colour
            s.compression = 3;
            s.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
            layouts.push_back({"32-bit masks", s, 0x000000FF, 0xFFFFFF00});
        }
    }
    return layouts;
}

TEST(HalftoneLibrary, EveryDepthHeaderAndRowOrderGivesThePicture)
{
    TempDir dir;
    for (const Layout& layout : everyLayout()) {
        const auto file = makeBmp(layout.shape, [&](std::int32_t x, std::int32_t y) {
            return pattern(x, y) ? layout.black : layout.white;
        });
        const std::string label = std::string(layout.label) + (layout.shape.topDown ? " top-down" : " bottom-up") +
                                  " header " + std::to_string(layout.shape.infoSize);
        expectPattern(halftone(dir, file), label);
    }
}

// Uniform colour patches print with the density of their luminance: a
// swapped channel or a misread mask moves it far off.
TEST(HalftoneLibrary, ColourChannelsCountWithTheirLuminance)
{
    TempDir dir;
    struct Patch {
        const char* name;
        std::uint32_t rgb;
        std::uint32_t rgb565;
        double whiteShare;  // Rec. 601 luminance
    };
    const Patch patches[] = {{"red", 0xFF0000, 0xF800, 0.299}, {"green", 0x00FF00, 0x07E0, 0.587},
                             {"blue", 0x0000FF, 0x001F, 0.114}};
    for (const Patch& p : patches) {
        BmpShape s;
        s.width = 64;
        s.height = 64;
        s.bitCount = 24;
        std::vector<BmpShape> shapes;
        std::vector<std::uint32_t> values;
        shapes.push_back(s);
        values.push_back(p.rgb);
        s.bitCount = 32;
        shapes.push_back(s);
        values.push_back(p.rgb);
        s.bitCount = 16;
        s.compression = 3;
        s.masks = {0xF800, 0x07E0, 0x001F};
        shapes.push_back(s);
        values.push_back(p.rgb565);
        for (std::size_t i = 0; i < shapes.size(); ++i) {
            const auto file = makeBmp(shapes[i], [&](std::int32_t, std::int32_t) { return values[i]; });
            const Halftoned h = halftone(dir, file);
            ASSERT_GT(h.result, 0);
            int white = 0;
            for (std::int32_t y = 0; y < 64; ++y)
                for (std::int32_t x = 0; x < 64; ++x) white += h.image.pixel(x, y) ? 1 : 0;
            EXPECT_NEAR(white / 4096.0, p.whiteShare, 0.03) << p.name << " at " << shapes[i].bitCount << " bits";
        }
    }
}

TEST(HalftoneLibrary, GradientDiffusesIntoAGradientNotBands)
{
    TempDir dir;
    constexpr std::int32_t width = 256, height = 64, bandWidth = 16;
    const auto file =
        makeGreyBmp(width, height, [](std::int32_t x, std::int32_t) { return static_cast<std::uint8_t>(x); });
    const Halftoned h = halftone(dir, file, IMGPROC_METHOD_DIFFUSION);
    ASSERT_GT(h.result, 0);
    double previous = 2;
    for (std::int32_t band = 0; band < width / bandWidth; ++band) {
        int black = 0;
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = band * bandWidth; x < (band + 1) * bandWidth; ++x)
                black += h.image.pixel(x, y) ? 0 : 1;
        const double share = black / static_cast<double>(bandWidth * height);
        const double meanGrey = band * bandWidth + (bandWidth - 1) / 2.0;
        EXPECT_NEAR(share, 1 - meanGrey / 255, 0.04) << "band " << band;
        EXPECT_LT(share, previous) << "band " << band;
        previous = share;
    }
}

TEST(HalftoneLibrary, ThresholdSplitsAtMidGrey)
{
    TempDir dir;
    const auto file = makeGreyBmp(40, 4, [](std::int32_t x, std::int32_t) { return static_cast<std::uint8_t>(x * 6); });
    const Halftoned h = halftone(dir, file, IMGPROC_METHOD_THRESHOLD);
    ASSERT_GT(h.result, 0);
    for (std::int32_t y = 0; y < 4; ++y)
        for (std::int32_t x = 0; x < 40; ++x) EXPECT_EQ(h.image.pixel(x, y), x * 6 >= 128) << x << "," << y;
}

TEST(HalftoneLibrary, OneBitSourceIsLeftToTheCaller)
{
    TempDir dir;
    const auto file = makeOneBitBmp(50, 20, true, [](std::int32_t x, std::int32_t) { return x % 2 == 0; });
    const Halftoned h = halftone(dir, file);
    EXPECT_EQ(h.result, IMGPROC_ALREADY_BINARY);
    EXPECT_EQ(h.width, 50);
    EXPECT_EQ(h.height, 20);
    EXPECT_EQ(h.buffer, std::vector<unsigned char>(h.buffer.size(), 0xAB));
}

TEST(HalftoneLibrary, ArgumentsAndUnreadableFilesAreRefused)
{
    TempDir dir;
    const std::string path = dir.file("grey.bmp");
    writeFile(path, makeGreyBmp(8, 8, [](std::int32_t, std::int32_t) { return 100; }));
    std::vector<unsigned char> buffer(10000);
    std::int32_t w = 0, h = 0;
    EXPECT_EQ(AllBitsBmpHalftoneProc(nullptr, 2, &w, &h, buffer.data()), IMGPROC_E_ARGUMENT);
    EXPECT_EQ(AllBitsBmpHalftoneProc(path.c_str(), 2, nullptr, &h, buffer.data()), IMGPROC_E_ARGUMENT);
    EXPECT_EQ(AllBitsBmpHalftoneProc(path.c_str(), 2, &w, &h, nullptr), IMGPROC_E_ARGUMENT);
    EXPECT_EQ(AllBitsBmpHalftoneProc(path.c_str(), 7, &w, &h, buffer.data()), IMGPROC_E_ARGUMENT);
    EXPECT_EQ(AllBitsBmpHalftoneProc(dir.file("missing.bmp").c_str(), 2, &w, &h, buffer.data()), IMGPROC_E_READ);
    EXPECT_GT(AllBitsBmpHalftoneProc(path.c_str(), 2, &w, &h, buffer.data()), 0);
}

std::vector<std::uint8_t> eightBitSample()
{
    BmpShape s;
    s.width = 30;
    s.height = 10;
    s.bitCount = 8;
    s.palette.assign(256, Rgb{90, 90, 90});
    return makeBmp(s, [](std::int32_t x, std::int32_t y) { return static_cast<std::uint32_t>(x + y); });
}

std::vector<std::uint8_t> sixteenBitMasksSample()
{
    BmpShape s;
    s.width = 30;
    s.height = 10;
    s.bitCount = 16;
    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    return makeBmp(s, [](std::int32_t x, std::int32_t) { return static_cast<std::uint32_t>(x * 1000); });
}

TEST(HalftoneLibrary, LyingHeadersAreRefusedWithoutTouchingTheBuffer)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
    };
    std::vector<Case> cases;
    auto eight = [&](const char* name, auto change) {
        auto f = eightBitSample();
        change(f);
        cases.push_back({name, f});
    };
    eight("cut inside the file header", [](auto& f) { f.resize(10); });
    eight("cut inside the info header", [](auto& f) { f.resize(40); });
    eight("cut inside the palette", [](auto& f) { f.resize(500); });
    eight("one pixel byte short", [](auto& f) { f.pop_back(); });
    eight("offset beyond the file", [](auto& f) { put32le(f, 10, 0x7FFFFFF0); });
    eight("offset inside the palette", [](auto& f) { put32le(f, 10, 100); });
    eight("info header size 0", [](auto& f) { put32le(f, 14, 0); });
    eight("info header size huge", [](auto& f) { put32le(f, 14, 0xFFFFFFF0); });
    eight("width 0", [](auto& f) { put32le(f, 18, 0); });
    eight("width negative", [](auto& f) { put32le(f, 18, 0xFFFFFFF0); });
    eight("width huge", [](auto& f) { put32le(f, 18, 1000000); });
    eight("height 0", [](auto& f) { put32le(f, 22, 0); });
    eight("height most negative", [](auto& f) { put32le(f, 22, 0x80000000); });
    eight("height huge", [](auto& f) { put32le(f, 22, 60000); });
    eight("two planes", [](auto& f) { f[26] = 2; });
    eight("3 bits per pixel", [](auto& f) { f[28] = 3; });
    eight("run-length compressed", [](auto& f) { put32le(f, 30, 1); });
    eight("embedded JPEG", [](auto& f) { put32le(f, 30, 4); });
    eight("palette of 257", [](auto& f) { put32le(f, 46, 257); });
    eight("palette of 4 billion", [](auto& f) { put32le(f, 46, 0xFFFFFFFF); });
    auto masks = [&](const char* name, auto change) {
        auto f = sixteenBitMasksSample();
        change(f);
        cases.push_back({name, f});
    };
    masks("zero mask", [](auto& f) { put32le(f, 58, 0); });
    masks("mask with a gap", [](auto& f) { put32le(f, 54, 0xF0F0); });
    masks("mask beyond 16 bits", [](auto& f) { put32le(f, 62, 0x3F000); });
    masks("masks cut off", [](auto& f) { f.resize(60); });

    for (const Case& c : cases) {
        const Halftoned h = halftone(dir, c.file);
        EXPECT_EQ(h.result, IMGPROC_E_FORMAT) << c.name;
        EXPECT_EQ(h.buffer, std::vector<unsigned char>(h.buffer.size(), 0xAB)) << c.name;
    }
}

// Random damage to the headers: whatever the library makes of it, it stays
// within the file and the buffer (the sanitizers watch), and what it
// accepts it turns into a valid 1-bit image.
TEST(HalftoneLibrary, DamagedHeadersNeverReachOutsideTheirBuffers)
{
    TempDir dir;
    std::mt19937 random(20240611);
    const std::vector<std::uint8_t> samples[] = {
        eightBitSample(), sixteenBitMasksSample(),
        makeGreyBmp(9, 5, [](std::int32_t x, std::int32_t) { return static_cast<std::uint8_t>(x * 20); })};
    int accepted = 0;
    for (int round = 0; round < 1500; ++round) {
        std::vector<std::uint8_t> file = samples[round % 3];
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < changes; ++i) file[random() % 70] = static_cast<std::uint8_t>(random());
        if (random() % 8 == 0) file.resize(random() % file.size());
        const Halftoned h = halftone(dir, file);
        EXPECT_TRUE(h.result > 0 || h.result == IMGPROC_E_FORMAT || h.result == IMGPROC_ALREADY_BINARY)
            << "round " << round << " gave " << h.result;
        if (h.result > 0) ++accepted;
    }
    EXPECT_GT(accepted, 0);  // the damage was not all fatal: the check saw working images too
}

}  // namespace
