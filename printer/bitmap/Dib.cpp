#include "printer/bitmap/Dib.h"

#include <algorithm>
#include <limits>
#include <new>

#include "printer/bitmap/BinaryFile.h"

namespace printer {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kStoredHeaderSize = kFileHeaderSize + kInfoHeaderSize + 2 * 4;

std::uint32_t u32(std::span<const std::uint8_t> f, std::size_t at)
{
    return static_cast<std::uint32_t>(f[at]) | static_cast<std::uint32_t>(f[at + 1]) << 8 |
           static_cast<std::uint32_t>(f[at + 2]) << 16 | static_cast<std::uint32_t>(f[at + 3]) << 24;
}

std::uint16_t u16(std::span<const std::uint8_t> f, std::size_t at)
{
    return static_cast<std::uint16_t>(f[at] | f[at + 1] << 8);
}

void put32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool knownInfoHeaderSize(std::uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool fitsLimit(std::int32_t width, std::int32_t height)
{
    return width >= 1 && height >= 1 &&
           Dib::strideOf(width) * static_cast<std::uint64_t>(height) <= kMaxDibBytes;
}

std::unique_ptr<Dib> blankLike(const Dib& source, std::int32_t width, std::int32_t height)
{
    if (!fitsLimit(width, height)) return nullptr;
    auto dib = std::make_unique<Dib>();
    dib->width = width;
    dib->height = height;
    dib->palette = source.palette;
    dib->paletteCount = source.paletteCount;
    dib->bits.assign(Dib::strideOf(width) * static_cast<std::size_t>(height), 0);
    return dib;
}

}  // namespace

bool Dib::pixel(std::int32_t x, std::int32_t y) const
{
    const std::size_t row = static_cast<std::size_t>(height - 1 - y) * stride();
    return ((bits[row + static_cast<std::size_t>(x >> 3)] >> (7 - (x & 7))) & 1) != 0;
}

void Dib::setPixel(std::int32_t x, std::int32_t y, bool value)
{
    const std::size_t row = static_cast<std::size_t>(height - 1 - y) * stride();
    std::uint8_t& byte = bits[row + static_cast<std::size_t>(x >> 3)];
    const auto mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
    byte = value ? byte | mask : byte & ~mask;
}

DibCheck parseDib(std::span<const std::uint8_t> f, Dib* dib, int* bitCount)
{
    if (f.size() < kFileHeaderSize + kInfoHeaderSize || f[0] != 'B' || f[1] != 'M') return DibCheck::NotBitmap;
    const std::uint32_t infoSize = u32(f, 14);
    if (!knownInfoHeaderSize(infoSize)) return DibCheck::Unsupported;
    if (kFileHeaderSize + infoSize > f.size()) return DibCheck::Invalid;
    if (bitCount != nullptr) *bitCount = u16(f, 28);
    if (u16(f, 28) != 1) return DibCheck::NotOneBit;
    if (u16(f, 26) != 1) return DibCheck::Invalid;
    if (u32(f, 30) != 0) return DibCheck::Unsupported;

    const auto width = static_cast<std::int32_t>(u32(f, 18));
    const auto storedHeight = static_cast<std::int32_t>(u32(f, 22));
    if (width < 1 || storedHeight == 0 || storedHeight == std::numeric_limits<std::int32_t>::min()) {
        return DibCheck::Invalid;
    }
    const bool topDown = storedHeight < 0;
    const std::int32_t height = topDown ? -storedHeight : storedHeight;
    if (!fitsLimit(width, height)) return DibCheck::Unsupported;

    const std::uint32_t colorsUsed = u32(f, 46);
    const std::uint32_t paletteCount = colorsUsed == 0 ? 2 : colorsUsed;
    if (paletteCount > 2) return DibCheck::Invalid;
    const std::uint64_t paletteStart = kFileHeaderSize + infoSize;
    const std::uint64_t pixelOffset = u32(f, 10);
    if (paletteStart + 4 * paletteCount > pixelOffset) return DibCheck::Invalid;
    const std::size_t stride = Dib::strideOf(width);
    const std::uint64_t imageSize = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
    if (pixelOffset + imageSize > f.size()) return DibCheck::Invalid;

    Dib result;
    result.width = width;
    result.height = height;
    result.paletteCount = static_cast<std::int32_t>(paletteCount);
    for (std::uint32_t i = 0; i < paletteCount; ++i) {
        const std::size_t at = static_cast<std::size_t>(paletteStart) + 4 * i;
        result.palette[i] = {f[at], f[at + 1], f[at + 2]};
    }
    const std::uint8_t* rows = f.data() + pixelOffset;
    if (topDown) {
        result.bits.resize(static_cast<std::size_t>(imageSize));
        for (std::int32_t y = 0; y < height; ++y) {
            const std::uint8_t* from = rows + static_cast<std::size_t>(y) * stride;
            const auto to = static_cast<std::ptrdiff_t>(static_cast<std::size_t>(height - 1 - y) * stride);
            std::copy(from, from + stride, result.bits.begin() + to);
        }
    } else {
        result.bits.assign(rows, rows + imageSize);
    }
    *dib = std::move(result);
    return DibCheck::Ok;
}

std::vector<std::uint8_t> dibFileImage(const Dib& dib)
{
    const auto imageSize = static_cast<std::uint32_t>(dib.bits.size());
    std::vector<std::uint8_t> file(kStoredHeaderSize + imageSize, 0);
    file[0] = 'B';
    file[1] = 'M';
    put32(&file[2], static_cast<std::uint32_t>(kStoredHeaderSize) + imageSize);
    put32(&file[10], kStoredHeaderSize);
    put32(&file[14], kInfoHeaderSize);
    put32(&file[18], static_cast<std::uint32_t>(dib.width));
    put32(&file[22], static_cast<std::uint32_t>(dib.height));
    file[26] = 1;  // planes
    file[28] = 1;  // bits per pixel
    put32(&file[34], imageSize);
    put32(&file[46], 2);
    for (std::size_t i = 0; i < 2; ++i) {
        file[54 + 4 * i] = dib.palette[i].blue;
        file[55 + 4 * i] = dib.palette[i].green;
        file[56 + 4 * i] = dib.palette[i].red;
    }
    std::copy(dib.bits.begin(), dib.bits.end(), file.begin() + kStoredHeaderSize);
    return file;
}

std::unique_ptr<Dib> LoadDIB(const std::string& file)
{
    std::vector<std::uint8_t> bytes;
    if (readBinaryFile(file, kStoredHeaderSize + kMaxDibBytes + 4, &bytes) != FileRead::Ok) return nullptr;
    auto dib = std::make_unique<Dib>();
    if (parseDib(bytes, dib.get()) != DibCheck::Ok) return nullptr;
    return dib;
}

bool SaveDIB(const Dib& dib, const std::string& file)
{
    return writeBinaryFile(file, dibFileImage(dib));
}

std::unique_ptr<Dib> RotateDIB(const Dib& dib)
{
    auto turned = blankLike(dib, dib.height, dib.width);
    if (!turned) return nullptr;
    // Clockwise: the left column becomes the top row.
    for (std::int32_t y = 0; y < turned->height; ++y)
        for (std::int32_t x = 0; x < turned->width; ++x)
            if (dib.pixel(y, dib.height - 1 - x)) turned->setPixel(x, y, true);
    return turned;
}

std::unique_ptr<Dib> ChangeDIBSize(const Dib& dib, std::int32_t width, std::int32_t height)
{
    auto sized = blankLike(dib, width, height);
    if (!sized) return nullptr;
    // Each target pixel takes the source pixel under its centre.
    std::vector<std::int32_t> fromX(static_cast<std::size_t>(width));
    for (std::int32_t x = 0; x < width; ++x)
        fromX[static_cast<std::size_t>(x)] =
            static_cast<std::int32_t>((2 * static_cast<std::int64_t>(x) + 1) * dib.width / (2 * std::int64_t{width}));
    for (std::int32_t y = 0; y < height; ++y) {
        const auto fromY =
            static_cast<std::int32_t>((2 * static_cast<std::int64_t>(y) + 1) * dib.height / (2 * std::int64_t{height}));
        for (std::int32_t x = 0; x < width; ++x)
            if (dib.pixel(fromX[static_cast<std::size_t>(x)], fromY)) sized->setPixel(x, y, true);
    }
    return sized;
}

}  // namespace printer
