#pragma once
// Commands printed by an A14 printer under test, and its paper read back
// dot by dot from the picture it draws.
#include <cstdint>
#include <span>
#include <vector>

namespace imagingtest {

// The ink on the paper, dot by dot.
struct Ink {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> grey;

    bool at(int x, int y) const { return grey[static_cast<std::size_t>(y) * width + x] == 0; }
};

// Failures are test failures, with an empty Ink.
Ink printOnA14(std::span<const std::uint8_t> commands);

}  // namespace imagingtest
