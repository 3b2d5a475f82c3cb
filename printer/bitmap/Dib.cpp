#include "printer/bitmap/Dib.h"

#include <algorithm>
#include <limits>
#include <new>
#include <vector>

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

// The stored bits of row `y` counted from the top.
const std::uint8_t* rowFromTop(const Dib& dib, std::int32_t y)
{
    return dib.bits.data() + static_cast<std::size_t>(dib.height - 1 - y) * dib.stride();
}

std::uint8_t* rowFromTop(Dib& dib, std::int32_t y)
{
    return dib.bits.data() + static_cast<std::size_t>(dib.height - 1 - y) * dib.stride();
}

std::uint8_t bitAt(const std::uint8_t* row, std::int32_t x)
{
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// Into a row that starts clear. Without a branch: in a halftone whether a
// pixel is set is as good as random, and mispredictions would cost more
// than the rest of the work.
void putBit(std::uint8_t* row, std::int32_t x, std::uint8_t bit)
{
    row[x >> 3] |= static_cast<std::uint8_t>(bit << (7 - (x & 7)));
}

// One target position's share of one source position.
struct ScaleTap {
    std::int32_t source;
    std::int64_t weight;
};

// How the positions along one axis of a resized image take from the
// source: target position t takes taps[start[t]] .. taps[start[t + 1] - 1],
// whose weights add up to `total`.
struct ScaleAxis {
    std::int64_t total = 1;
    std::vector<std::size_t> start;
    std::vector<ScaleTap> taps;
};

// Enlarging, every target position takes the source position under its
// centre: no source position is skipped and edges stay sharp. Reducing,
// every target position takes the source positions it covers, each by how
// much of it lies inside: picking one of them instead would drop the rest,
// and with them thin lines and, in a halftoned image, whole tones - the
// dots left over line up into bands and streaks.
ScaleAxis scaleAxis(std::int32_t from, std::int32_t to)
{
    ScaleAxis axis;
    axis.start.reserve(static_cast<std::size_t>(to) + 1);
    if (to >= from) {
        for (std::int64_t t = 0; t < to; ++t) {
            axis.start.push_back(axis.taps.size());
            axis.taps.push_back({static_cast<std::int32_t>((2 * t + 1) * from / (2 * std::int64_t{to})), 1});
        }
    } else {
        // In units of 1/to of a source position: target t spans
        // [t * from, (t + 1) * from), source s spans [s * to, (s + 1) * to).
        axis.total = from;
        for (std::int64_t t = 0; t < to; ++t) {
            axis.start.push_back(axis.taps.size());
            const std::int64_t begin = t * from;
            const std::int64_t end = begin + from;
            for (std::int64_t s = begin / to; s * to < end; ++s) {
                const std::int64_t inside = std::min(end, (s + 1) * to) - std::max(begin, s * to);
                axis.taps.push_back({static_cast<std::int32_t>(s), inside});
            }
        }
    }
    axis.start.push_back(axis.taps.size());
    return axis;
}

// How much of every target column source row `y` covers with index 1.
void coveredAcross(const Dib& dib, std::int32_t y, const ScaleAxis& across, std::vector<std::int64_t>& covered)
{
    const std::uint8_t* from = rowFromTop(dib, y);
    for (std::size_t x = 0; x < covered.size(); ++x) {
        std::int64_t sum = 0;
        for (std::size_t j = across.start[x]; j < across.start[x + 1]; ++j)
            sum += across.taps[j].weight * bitAt(from, across.taps[j].source);
        covered[x] = sum;
    }
}

// Turns levels between 0 and `full` (the share of a target pixel that was
// index 1 in the source) back into single pixels, Floyd-Steinberg fashion
// with rows in alternate directions, so that a reduced halftone keeps its
// tones. Pixels wholly one index pass unchanged as long as no error reaches
// them from a mixed neighbour; in an image that needed no mixing nothing
// changes at all.
class ErrorDiffusion {
public:
    ErrorDiffusion(std::int32_t width, std::int64_t full)
        : m_width(width),
          m_full(full),
          m_current(static_cast<std::size_t>(width) + 2),
          m_next(static_cast<std::size_t>(width) + 2)
    {
    }

    // One row of levels into the bits of `out`, which start clear.
    void row(const std::vector<std::int64_t>& level, bool leftToRight, std::uint8_t* out)
    {
        std::fill(m_next.begin(), m_next.end(), 0);
        // The error passed on to the next pixel of the row stays in a
        // register: going through memory would chain every pixel to a store.
        std::int64_t ahead = 0;
        for (std::int32_t i = 0; i < m_width; ++i) {
            const std::int32_t x = leftToRight ? i : m_width - 1 - i;
            // The rows below carry a guard cell at each end.
            const auto at = static_cast<std::size_t>(x) + 1;
            const std::size_t next = leftToRight ? at + 1 : at - 1;
            const std::size_t previous = leftToRight ? at - 1 : at + 1;
            const std::int64_t value = level[static_cast<std::size_t>(x)] + m_current[at] + ahead;
            const std::uint8_t set = 2 * value >= m_full ? 1 : 0;
            putBit(out, x, set);
            const std::int64_t error = value - set * m_full;
            ahead = error * 7 / 16;
            const std::int64_t behindBelow = error * 3 / 16;
            const std::int64_t below = error * 5 / 16;
            m_next[previous] += behindBelow;
            m_next[at] += below;
            m_next[next] += error - ahead - behindBelow - below;
        }
        m_current.swap(m_next);
    }

private:
    std::int32_t m_width;
    std::int64_t m_full;
    std::vector<std::int64_t> m_current;
    std::vector<std::int64_t> m_next;
};

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
    const ScaleAxis across = scaleAxis(dib.width, width);
    const ScaleAxis down = scaleAxis(dib.height, height);
    if (across.total == 1 && down.total == 1) {
        // Nothing is reduced: one source pixel for every target pixel.
        for (std::int32_t y = 0; y < height; ++y) {
            const std::uint8_t* from = rowFromTop(dib, down.taps[static_cast<std::size_t>(y)].source);
            std::uint8_t* to = rowFromTop(*sized, y);
            for (std::int32_t x = 0; x < width; ++x)
                putBit(to, x, bitAt(from, across.taps[static_cast<std::size_t>(x)].source));
        }
        return sized;
    }
    // Reducing down, the last source row of one target row is often the
    // first of the next: it is worked out across once.
    std::vector<std::int64_t> covered(static_cast<std::size_t>(width));
    std::int32_t coveredSource = -1;
    std::vector<std::int64_t> level(static_cast<std::size_t>(width));
    ErrorDiffusion diffusion(width, across.total * down.total);
    for (std::int32_t y = 0; y < height; ++y) {
        std::fill(level.begin(), level.end(), 0);
        for (std::size_t i = down.start[static_cast<std::size_t>(y)]; i < down.start[static_cast<std::size_t>(y) + 1];
             ++i) {
            const ScaleTap& row = down.taps[i];
            if (row.source != coveredSource) {
                coveredAcross(dib, row.source, across, covered);
                coveredSource = row.source;
            }
            for (std::size_t x = 0; x < level.size(); ++x) level[x] += row.weight * covered[x];
        }
        diffusion.row(level, (y & 1) == 0, rowFromTop(*sized, y));
    }
    return sized;
}

}  // namespace printer
