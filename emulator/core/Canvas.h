#pragma once
// A picture of palette indices: the renderer draws into it, the PNG writer
// stores it.
#include <algorithm>
#include <cstdint>
#include <vector>

namespace emulator {

enum Ink : std::uint8_t { kPaperInk = 0, kBlackInk = 1, kRedInk = 2, kBackgroundInk = 3, kCutInk = 4 };

struct Canvas {
    Canvas() = default;
    Canvas(int w, int h, Ink fill = kPaperInk)
        : width(std::max(w, 0)), height(std::max(h, 0)),
          pixels(static_cast<std::size_t>(width) * height, static_cast<std::uint8_t>(fill)) {}

    // Anything outside the canvas is clipped.
    void fill(int x, int y, int w, int h, Ink ink) {
        const int x0 = std::max(x, 0);
        const int y0 = std::max(y, 0);
        const int x1 = std::min(x + w, width);
        const int y1 = std::min(y + h, height);
        for (int row = y0; row < y1; ++row) {
            std::fill_n(pixels.data() + static_cast<std::ptrdiff_t>(row) * width + x0,
                        std::max(x1 - x0, 0), static_cast<std::uint8_t>(ink));
        }
    }
    void set(int x, int y, Ink ink) {
        if (x >= 0 && y >= 0 && x < width && y < height) {
            pixels[static_cast<std::size_t>(y) * width + x] = ink;
        }
    }
    Ink at(int x, int y) const { return static_cast<Ink>(pixels[static_cast<std::size_t>(y) * width + x]); }

    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

}  // namespace emulator
