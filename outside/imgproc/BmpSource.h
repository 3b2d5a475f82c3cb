#pragma once
// A BMP file held in memory, its header checked against the file once, then
// read row by row as luminance.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace imgproc {

// One colour channel of a 16 or 32-bit pixel: where its bits are and how
// many there are.
struct ChannelMask {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

struct BmpLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;  // always positive
    bool topDown = false;
    int bitCount = 0;
    std::size_t pixelOffset = 0;
    std::size_t stride = 0;  // bytes per stored row, padding included
    // Palette as luminance; entries beyond the file's count are black.
    std::array<std::uint8_t, 256> paletteLuma{};
    ChannelMask red, green, blue;
};

enum class BmpCheck { Ok, Format };

// Checks every header field of `file` against its size and fills `layout`.
// Nothing outside `file` is ever read, by this or by luminanceRow.
BmpCheck readBmpLayout(std::span<const std::uint8_t> file, BmpLayout* layout);

// The luminance (0 black - 255 white) of row `y` counted from the top, for
// the depths above 1 bit.
// `out` holds layout.width bytes.
void luminanceRow(std::span<const std::uint8_t> file, const BmpLayout& layout, std::int32_t y, std::uint8_t* out);

// Rec. 601 weights in 1/256 units; they sum to 256, so white stays 255.
inline std::uint8_t luma(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return static_cast<std::uint8_t>((77 * r + 150 * g + 29 * b + 128) >> 8);
}

}  // namespace imgproc
