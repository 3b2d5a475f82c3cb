#include "BmpSource.h"

#include <bit>

#include "imgproc/imgproc.h"

namespace imgproc {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_BITFIELDS = 3;

std::uint32_t u32(std::span<const std::uint8_t> f, std::size_t at)
{
    return static_cast<std::uint32_t>(f[at]) | static_cast<std::uint32_t>(f[at + 1]) << 8 |
           static_cast<std::uint32_t>(f[at + 2]) << 16 | static_cast<std::uint32_t>(f[at + 3]) << 24;
}

std::uint16_t u16(std::span<const std::uint8_t> f, std::size_t at)
{
    return static_cast<std::uint16_t>(f[at] | f[at + 1] << 8);
}

bool knownInfoHeaderSize(std::uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// A mask must be one run of bits inside the pixel; anything else cannot be
// scaled to 8 bits and is refused.
bool toChannel(std::uint32_t mask, int bitCount, ChannelMask* channel)
{
    if (mask == 0) return false;
    if (bitCount < 32 && (mask >> bitCount) != 0) return false;
    const int shift = std::countr_zero(mask);
    const std::uint32_t run = mask >> shift;
    if ((run & (run + 1)) != 0) return false;
    *channel = {mask, shift, std::popcount(run)};
    return true;
}

std::uint32_t scaled(std::uint32_t pixel, const ChannelMask& c)
{
    const std::uint64_t value = (pixel & c.mask) >> c.shift;
    const std::uint64_t top = (std::uint64_t{1} << c.bits) - 1;
    return static_cast<std::uint32_t>((value * 255 + top / 2) / top);
}

}  // namespace

BmpCheck readBmpLayout(std::span<const std::uint8_t> f, BmpLayout* layout)
{
    if (f.size() < kFileHeaderSize + 4 || f[0] != 'B' || f[1] != 'M') return BmpCheck::Format;
    const std::uint32_t infoSize = u32(f, 14);
    if (!knownInfoHeaderSize(infoSize) || kFileHeaderSize + infoSize > f.size()) return BmpCheck::Format;

    BmpLayout l;
    const auto width = static_cast<std::int32_t>(u32(f, 18));
    const auto height = static_cast<std::int32_t>(u32(f, 22));
    if (width < 1 || width > IMGPROC_MAX_SIDE) return BmpCheck::Format;
    if (height == 0 || height < -IMGPROC_MAX_SIDE || height > IMGPROC_MAX_SIDE) return BmpCheck::Format;
    l.width = width;
    l.height = height < 0 ? -height : height;
    l.topDown = height < 0;
    if (u16(f, 26) != 1) return BmpCheck::Format;
    l.bitCount = u16(f, 28);
    const std::uint32_t compression = u32(f, 30);
    const std::uint32_t colorsUsed = u32(f, 46);

    std::size_t paletteStart = kFileHeaderSize + infoSize;
    switch (l.bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        if (compression != BI_RGB) return BmpCheck::Format;
        break;
    case 16:
    case 32:
        if (compression == BI_RGB) {
            if (l.bitCount == 16) {
                toChannel(0x7C00, 16, &l.red);
                toChannel(0x03E0, 16, &l.green);
                toChannel(0x001F, 16, &l.blue);
            } else {
                toChannel(0xFF0000, 32, &l.red);
                toChannel(0x00FF00, 32, &l.green);
                toChannel(0x0000FF, 32, &l.blue);
            }
        } else if (compression == BI_BITFIELDS) {
            // The three masks follow a 40-byte header and sit inside the
            // longer ones: either way at the same place in the file.
            if (infoSize == 40) paletteStart += 12;
            if (paletteStart > f.size()) return BmpCheck::Format;
            if (!toChannel(u32(f, 54), l.bitCount, &l.red) || !toChannel(u32(f, 58), l.bitCount, &l.green) ||
                !toChannel(u32(f, 62), l.bitCount, &l.blue)) {
                return BmpCheck::Format;
            }
        } else {
            return BmpCheck::Format;
        }
        break;
    default:
        return BmpCheck::Format;
    }

    const std::uint64_t pixelOffset = u32(f, 10);
    if (pixelOffset < paletteStart || pixelOffset > f.size()) return BmpCheck::Format;
    if (l.bitCount <= 8) {
        const std::uint32_t maxColors = 1u << l.bitCount;
        const std::uint32_t count = colorsUsed == 0 ? maxColors : colorsUsed;
        if (count > maxColors) return BmpCheck::Format;
        if (paletteStart + std::uint64_t{4} * count > pixelOffset) return BmpCheck::Format;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t at = paletteStart + 4 * i;
            l.paletteLuma[i] = luma(f[at + 2], f[at + 1], f[at]);
        }
    }

    const std::uint64_t stride = (static_cast<std::uint64_t>(l.width) * l.bitCount + 31) / 32 * 4;
    if (pixelOffset + stride * static_cast<std::uint64_t>(l.height) > f.size()) return BmpCheck::Format;
    l.pixelOffset = static_cast<std::size_t>(pixelOffset);
    l.stride = static_cast<std::size_t>(stride);
    *layout = l;
    return BmpCheck::Ok;
}

void luminanceRow(std::span<const std::uint8_t> f, const BmpLayout& l, std::int32_t y, std::uint8_t* out)
{
    const std::int32_t stored = l.topDown ? y : l.height - 1 - y;
    const std::uint8_t* row = f.data() + l.pixelOffset + static_cast<std::size_t>(stored) * l.stride;
    switch (l.bitCount) {
    case 4:
        for (std::int32_t x = 0; x < l.width; ++x) {
            const std::uint8_t pair = row[x >> 1];
            out[x] = l.paletteLuma[(x & 1) != 0 ? pair & 0x0F : pair >> 4];
        }
        break;
    case 8:
        for (std::int32_t x = 0; x < l.width; ++x) out[x] = l.paletteLuma[row[x]];
        break;
    case 24:
        for (std::int32_t x = 0; x < l.width; ++x) {
            const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
            out[x] = luma(p[2], p[1], p[0]);
        }
        break;
    case 16:
        for (std::int32_t x = 0; x < l.width; ++x) {
            const std::uint32_t p = row[2 * x] | row[2 * x + 1] << 8;
            out[x] = luma(scaled(p, l.red), scaled(p, l.green), scaled(p, l.blue));
        }
        break;
    case 32:
        for (std::int32_t x = 0; x < l.width; ++x) {
            const std::uint8_t* q = row + 4 * static_cast<std::size_t>(x);
            const std::uint32_t p = q[0] | q[1] << 8 | q[2] << 16 | static_cast<std::uint32_t>(q[3]) << 24;
            out[x] = luma(scaled(p, l.red), scaled(p, l.green), scaled(p, l.blue));
        }
        break;
    default:
        break;
    }
}

}  // namespace imgproc
