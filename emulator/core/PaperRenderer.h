#pragma once
// Draws the paper: one strip per station of the model, side by side
// (journal, receipt, slip) on a grey background, each as wide as its
// station prints. Text is drawn with the Terminus bitmap fonts, double
// sizes by repeating dots, bold with Terminus Bold; bit images dot for dot
// at their density; barcodes module by module at the width and height the
// host set. Cuts show as a dashed line across the strip (a partial cut
// leaves the middle uncut).
#include <string>

#include "Canvas.h"
#include "Paper.h"

namespace emulator {

// Margin around the strips and gap between them, in pixels.
inline constexpr int kRenderMargin = 8;
inline constexpr int kRenderGap = 16;

// False, with `error` set, when the fonts cannot be read.
bool renderPaper(const Paper& paper, Canvas* picture, std::string* error);

}  // namespace emulator
