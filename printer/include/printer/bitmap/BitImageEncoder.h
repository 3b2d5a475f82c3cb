#pragma once
// A 1-bit image as the printers' ESC * bit-image bands. Pure code.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "printer/bitmap/Dib.h"
#include "printer/encode/EncodeLog.h"

namespace printer {

// The bit-image mode a Bitmap level selects, and how large the printer
// makes one of its dots. Single density prints a column two dots wide; the
// 8-dot modes print a row three dots tall, so that a band is 24 dots tall
// in every mode and the ESC J 24 after it moves the paper on by one band.
struct BitImageMode {
    std::uint8_t m;            // ESC * m
    std::int32_t bandHeight;   // rows per band: 8 or 24
    std::int32_t columnBytes;  // bytes per column: 1 or 3
    std::int32_t dotWidth;     // printer dots across one column: 2 or 1
    std::int32_t dotHeight;    // printer dots down one row: 3 or 1
};

// 8 (and any unknown level): 8-dot single density; 16: 8-dot double
// density; 24: 24-dot single density; 48: 24-dot double density.
BitImageMode bitImageMode(std::int32_t bitmapLevel);

// Widest image the bands can carry: 8 x the padded width must stay within
// 16 bits.
inline constexpr std::int32_t kMaxBitImageWidth = 8160;

struct BitImage {
    std::vector<std::uint8_t> bytes;
    std::int32_t widthDots = 0;  // the padded width, a multiple of 32
    std::int32_t rows = 0;       // the printed rows, a multiple of the band height
};

enum class BitImageResult { Ok, TooWide, TooLarge };

struct BitImageRequest {
    std::int32_t model = 0;          // selects the band trailer
    std::int32_t bitmapLevel = 8;
    std::int32_t alignment = -1;     // PTR_BM_LEFT, PTR_BM_CENTER, PTR_BM_RIGHT; others centre
    bool rotated180 = false;         // the image was turned; alignment is mirrored
    std::size_t alreadyBuffered = 0; // bytes the command buffer holds before these
};

// Encodes `dib`: ESC a (alignment), ESC { 0, then the bands from the top of
// the image, each ESC * m nL nH, the columns (most significant bit topmost)
// and the model's 5-byte trailer; on B20 a final ESC 2. A pixel of palette
// index 0 is a dot. The image is padded at its top to whole bands, so no
// row is lost. TooWide above kMaxBitImageWidth dots; TooLarge when the
// bands would not fit the command buffer after `alreadyBuffered` bytes.
// Nothing is produced on failure.
BitImageResult encodeBitImage(const Dib& dib, const BitImageRequest& request, BitImage* image,
                              EncodeLog* log = nullptr);

}  // namespace printer
