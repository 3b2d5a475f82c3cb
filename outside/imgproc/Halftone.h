#pragma once
// Luminance rows to 1-bit rows.
#include <cstddef>
#include <cstdint>
#include <span>

#include "BmpSource.h"

namespace imgproc {

// Halftones the image of `file` with `method` (IMGPROC_METHOD_*) into
// `bits`: layout.height rows of `stride` bytes, bottom-up, set bit = white,
// padding bits clear. Throws std::bad_alloc when its row buffers cannot be
// allocated.
void halftone(std::span<const std::uint8_t> file, const BmpLayout& layout, int method, std::uint8_t* bits,
              std::size_t stride);

}  // namespace imgproc
