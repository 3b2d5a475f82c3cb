#pragma once
// Images made in code for the bitmap tests: BMP files of every layout, JPEG
// files through the system's encoder (libjpeg on Linux, the Imaging
// Component on Windows), and a reader that turns ESC * bands back into dots.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "printer/bitmap/Dib.h"
#include "printer/encode/EncodeLog.h"

namespace imagingtest {

// A directory of its own under the system's temporary directory, removed
// with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // With a trailing '/'.
    const std::string& path() const { return m_path; }
    std::string file(std::string_view name) const { return m_path + std::string(name); }
    // Names of the entries, sorted.
    std::vector<std::string> entries() const;

private:
    std::string m_path;
};

struct CapturingLog : printer::EncodeLog {
    bool debugEnabled() const override { return true; }
    void debug(std::string_view text) override { debugs.emplace_back(text); }
    void error(std::string_view text) override { errors.emplace_back(text); }
    bool hasDebug(std::string_view text) const;
    // An error line containing `part`.
    bool hasError(std::string_view part) const;
    std::vector<std::string> debugs;
    std::vector<std::string> errors;
};

void writeFile(const std::string& path, std::span<const std::uint8_t> bytes);
// Overwrites the 4 bytes at `at` with `value`, least significant first (a
// header field of a file under test).
void put32le(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);
std::vector<std::uint8_t> readFile(const std::string& path);

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// How a test BMP is laid out. Pixel values by depth: up to 8 bits a palette
// index; 16 and 32 bits the raw pixel; 24 bits 0xRRGGBB.
struct BmpShape {
    std::int32_t width = 1;
    std::int32_t height = 1;
    int bitCount = 24;
    bool topDown = false;
    std::uint32_t infoSize = 40;
    std::uint32_t compression = 0;  // 3: BI_BITFIELDS with `masks`
    std::array<std::uint32_t, 3> masks{};  // red, green, blue
    std::vector<Rgb> palette;
};

using PixelValue = std::function<std::uint32_t(std::int32_t x, std::int32_t y)>;  // y from the top

std::vector<std::uint8_t> makeBmp(const BmpShape& shape, const PixelValue& value);

// A 1-bit BMP where `black(x, y)` pixels are black. `blackFirst` chooses
// the palette order: black then white, or white then black.
std::vector<std::uint8_t> makeOneBitBmp(std::int32_t width, std::int32_t height, bool blackFirst,
                                        const std::function<bool(std::int32_t, std::int32_t)>& black);

// A 24-bit BMP of grey levels.
std::vector<std::uint8_t> makeGreyBmp(std::int32_t width, std::int32_t height,
                                      const std::function<std::uint8_t(std::int32_t, std::int32_t)>& grey);

enum class JpegKind { Baseline, Progressive, Greyscale, Cmyk };

// A JPEG at quality 95 (CMYK with an Adobe marker, stored inverted as
// Adobe applications write it).
std::vector<std::uint8_t> makeJpeg(std::int32_t width, std::int32_t height, JpegKind kind,
                                   const std::function<Rgb(std::int32_t, std::int32_t)>& colour);

// The kinds makeJpeg can make on this system: all of them with libjpeg;
// baseline and greyscale with the Imaging Component's encoder.
const std::vector<JpegKind>& jpegKindsMadeHere();

// Bit-image bands read back: the dots of every printed row, top row first.
struct PrintedImage {
    std::uint8_t alignment = 0xFF;  // n of ESC a n
    std::uint8_t mode = 0xFF;       // m of ESC * m
    std::int32_t width = 0;         // columns per band
    std::int32_t bands = 0;
    std::vector<std::array<std::uint8_t, 5>> trailers;
    bool finalLineSpacing = false;   // ESC 2 after the last band
    std::vector<std::vector<bool>> dots;  // [row][column]
};

// Parses `bytes` as this system's bit image. False, with the reason in
// *why, when they are anything else (a truncated band, a stray byte).
bool readBitImage(std::span<const std::uint8_t> bytes, PrintedImage* image, std::string* why);

// A 1-bit image with random pixels, black-then-white palette.
printer::Dib randomDib(std::int32_t width, std::int32_t height, std::uint32_t seed);

// Fraction of dots in rows [top, bottom) and columns [left, right).
double density(const PrintedImage& image, std::int32_t left, std::int32_t right, std::int32_t top,
               std::int32_t bottom);

}  // namespace imagingtest
