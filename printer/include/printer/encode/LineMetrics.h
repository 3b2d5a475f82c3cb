#pragma once
// Widths and heights of what the translators printed, in dots. Rotated and
// page-mode printing size their blocks from these.
#include <cstdint>

namespace printer {

inline constexpr std::int32_t kCharLineHeight = 34;  // dots, every model

struct LineMetrics {
    std::int32_t currentWidth = 0;
    std::int32_t widestLine = 0;
    std::int32_t totalHeight = 0;
    std::int32_t lastLineHeight = 0;
    std::int32_t widthScale = 1;   // 1-6
    std::int32_t heightScale = 1;  // 1-6

    // A line feed: the line's width and height are settled and the scales
    // fall back to 1. The current width is left for the caller to restart.
    void closeLine()
    {
        if (currentWidth > widestLine) widestLine = currentWidth;
        lastLineHeight = heightScale * kCharLineHeight;
        totalHeight += lastLineHeight;
        widthScale = 1;
        heightScale = 1;
    }
};

}  // namespace printer
