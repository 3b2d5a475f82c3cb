#include "Halftone.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imgproc/imgproc.h"

namespace imgproc {

namespace {

constexpr int kMidGrey = 128;

void setWhite(std::uint8_t* row, std::int32_t x) { row[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7)); }

// Error diffusion with the Floyd-Steinberg weights 7, 3, 5, 1 (sixteenths).
// Rows alternate direction so that the error does not pile up along one
// edge into visible streaks. Errors are kept in sixteenths of a grey level,
// so no fraction of a level is lost between pixels.
class Diffusion {
public:
    explicit Diffusion(std::int32_t width)
        : m_width(width), m_current(static_cast<std::size_t>(width) + 2), m_next(static_cast<std::size_t>(width) + 2)
    {
    }

    void row(const std::uint8_t* luma, std::int32_t y, std::uint8_t* out)
    {
        const bool leftToRight = (y & 1) == 0;
        const int step = leftToRight ? 1 : -1;
        std::fill(m_next.begin(), m_next.end(), 0);
        for (std::int32_t i = 0; i < m_width; ++i) {
            const std::int32_t x = leftToRight ? i : m_width - 1 - i;
            // Index x + 1: the vectors carry one guard cell on each side.
            const std::size_t at = static_cast<std::size_t>(x) + 1;
            const std::int32_t value = luma[x] * 16 + m_current[at];
            const bool white = value >= kMidGrey * 16;
            if (white) setWhite(out, x);
            const std::int32_t error = value - (white ? 255 * 16 : 0);
            const std::int32_t ahead = error * 7 / 16;
            const std::int32_t behindBelow = error * 3 / 16;
            const std::int32_t below = error * 5 / 16;
            const std::int32_t aheadBelow = error - ahead - behindBelow - below;
            m_current[at + step] += ahead;
            m_next[at - step] += behindBelow;
            m_next[at] += below;
            m_next[at + step] += aheadBelow;
        }
        m_current.swap(m_next);
    }

private:
    std::int32_t m_width;
    std::vector<std::int32_t> m_current;
    std::vector<std::int32_t> m_next;
};

}  // namespace

void halftone(std::span<const std::uint8_t> file, const BmpLayout& layout, int method, std::uint8_t* bits,
              std::size_t stride)
{
    std::vector<std::uint8_t> luma(static_cast<std::size_t>(layout.width));
    Diffusion diffusion(layout.width);
    for (std::int32_t y = 0; y < layout.height; ++y) {
        luminanceRow(file, layout, y, luma.data());
        std::uint8_t* out = bits + static_cast<std::size_t>(layout.height - 1 - y) * stride;
        std::memset(out, 0, stride);
        if (method == IMGPROC_METHOD_DIFFUSION) {
            diffusion.row(luma.data(), y, out);
        } else {
            for (std::int32_t x = 0; x < layout.width; ++x)
                if (luma[x] >= kMidGrey) setWhite(out, x);
        }
    }
}

}  // namespace imgproc
