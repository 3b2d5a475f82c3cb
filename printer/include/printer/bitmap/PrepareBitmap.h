#pragma once
// The preparation stage shared by SetBitmap and PrintBitmap: any source
// image to a 1-bit image of the target size.
#include <cstdint>
#include <memory>
#include <string>

#include "printer/bitmap/BitmapPipeline.h"
#include "printer/bitmap/Dib.h"

namespace printer {

// The source `fileName` (BMP or JPEG) halftoned by imgproc (JPEG decoded by
// imgconv first), then scaled to `widthDots` bit-image columns (-1: as is,
// every source pixel two dots wide - one column in single density, two in
// double) and to the height the level and model call for. Null, after an
// error line, on any failure. Scratch files live only for the call.
std::unique_ptr<Dib> prepareBitmap(const BitmapContext& context, const std::string& fileName,
                                   std::int32_t widthDots, std::int32_t bitmapNumber);

// The rows a `width`-column image of the source's proportions needs: the
// level's bit-image mode decides how wide a column and how tall a row
// print, and the K and F mechanisms feed in their own steps. 0 when the
// result does not fit 32 bits.
std::int32_t targetHeight(const BitmapContext& context, std::int32_t sourceWidth, std::int32_t sourceHeight,
                          std::int32_t width);

}  // namespace printer
