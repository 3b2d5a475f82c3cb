#pragma once
// 1-bit device-independent bitmaps in memory: the stored bitmaps and every
// intermediate image of the bitmap pipeline. Loading checks every header
// field against the file; the other helpers work on a checked image.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace printer {

struct PaletteEntry {
    std::uint8_t blue = 0, green = 0, red = 0;
    bool operator==(const PaletteEntry&) const = default;
};

// Rows are stored bottom-up, each padded to a multiple of 4 bytes; the most
// significant bit of a byte is the leftmost pixel.
struct Dib {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::array<PaletteEntry, 2> palette{};
    std::int32_t paletteCount = 2;  // 1 when the file gave a single entry
    std::vector<std::uint8_t> bits;

    static std::size_t strideOf(std::int32_t width) { return (static_cast<std::size_t>(width) + 31) / 32 * 4; }
    std::size_t stride() const { return strideOf(width); }
    // Pixel value (palette index) at column x, row y counted from the top.
    bool pixel(std::int32_t x, std::int32_t y) const;
    void setPixel(std::int32_t x, std::int32_t y, bool value);
};

// A quarter turn, resizing and storing never make an image larger than this
// many bytes of rows: far more than any printable bitmap, small enough that
// a width or height from a lying file cannot exhaust memory.
inline constexpr std::size_t kMaxDibBytes = 16 * 1024 * 1024;

enum class DibCheck {
    Ok,
    NotBitmap,     // no "BM", or shorter than the two headers
    NotOneBit,     // a valid header, but not 1 bit per pixel
    Invalid,       // a field contradicts the file or another field
    Unsupported,   // compressed, or an unknown header size
};

// Reads a 1-bit BMP file image. `bitCount` (when given) receives the
// header's bits per pixel whenever the headers could be read.
DibCheck parseDib(std::span<const std::uint8_t> file, Dib* dib, int* bitCount = nullptr);

// The file image SaveDIB writes: a 14-byte file header, a 40-byte
// information header, two palette entries, the rows bottom-up.
std::vector<std::uint8_t> dibFileImage(const Dib& dib);

// Null when the file cannot be read or parseDib refuses it.
std::unique_ptr<Dib> LoadDIB(const std::string& file);
// False when the file cannot be written whole.
bool SaveDIB(const Dib& dib, const std::string& file);
// A quarter turn clockwise; null for an image too large.
std::unique_ptr<Dib> RotateDIB(const Dib& dib);
// The image scaled to width x height. Enlarging repeats pixels. Reducing
// weighs every source pixel by how much of it each target pixel covers and
// diffuses the result back into single pixels: no row or column is skipped,
// a halftone keeps its tones instead of breaking into bands, and what is
// coarser than the reduction comes out unchanged. Null for a size below 1
// or above kMaxDibBytes.
std::unique_ptr<Dib> ChangeDIBSize(const Dib& dib, std::int32_t width, std::int32_t height);

}  // namespace printer
