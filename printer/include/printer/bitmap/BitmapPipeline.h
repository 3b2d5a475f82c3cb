#pragma once
// The bitmap pipeline of the printer service object: an image file named by
// the application (BMP of any depth, or JPEG) becomes a stored 1-bit bitmap
// (SetBitmap) or bit-image commands in the command buffer (PrintBitmap), and
// a stored bitmap becomes commands (PrintBMP, ESC|#B).
//
// Free of the service object: everything it needs comes in a BitmapContext.
// Runs on the caller's thread; calls with different contexts may run at the
// same time (scratch files get a name unique to the call), calls on one
// encoder may not. Every failure returns -1 after an error line in the log.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "printer/encode/CommandEncoder.h"
#include "printer/encode/EncodeLog.h"

namespace printer {

inline constexpr std::int32_t kMaxBitmapNumber = 20;
// Source files above this size are refused before they are read.
inline constexpr std::size_t kMaxBitmapSourceSize = 64 * 1024 * 1024;
// JPEG files of this size or more are refused (their size plus 4 must stay
// below 1 MiB).
inline constexpr std::size_t kMaxJpegSize = 1048572;

struct BitmapContext {
    std::int32_t model = 0;        // model number (ModelCatalogue.h)
    std::int32_t bitmapLevel = 8;  // iPosPrinterBmpLevel: 8, 16, 24 or 48
    std::int32_t mapMode = 1;      // MapMode of the width argument
    std::int32_t dpi = 180;        // the model's resolution, for MapMode
    // PrintJob's state when PrintBitmap runs (TransactionBuffer.h).
    std::int32_t rotationState = 7;
    bool pageMode = false;
    bool inTransaction = false;
    // Where imgproc and imgconv are loaded from, ending in '/'. Unset: the
    // install directory, read from the registry at every preparation.
    std::optional<std::string> installDirectory;
    // The user's private temporary directory, ending in '/': stored bitmaps
    // (the encoder's bitmap directory must be the same) and scratch files.
    std::string bitmapDirectory;
    // What the stored bitmaps' file names start with (the encoder's prefix
    // must be the same).
    std::string bitmapFilePrefix{kBitmapFilePrefix};
    // Lines go here; may be null.
    EncodeLog* log = nullptr;
};

// What PrintBitmap hands to PrintJob besides the command buffer.
struct BitmapJob {
    std::int32_t jobMode = 4;        // job_mode::NORMAL or job_mode::IMMEDIATE
    std::int32_t widthDots = 0;      // the printed width
    std::int32_t widestLineAtLeast = 0;  // page mode: the widest-line metric's new minimum, else 0
};

// The stored bitmap file for `number`: directory, prefix, number.
std::string storedBitmapPath(const std::string& bitmapDirectory, std::int32_t number,
                             std::string_view prefix = kBitmapFilePrefix);

// SetBitmap's work: prepares `fileName` at `width` (MapMode units, or
// PTR_BM_ASIS) and stores it as bitmap `number` with `alignment`. A number
// below 1 stores bitmap 1; above 20 is refused. 1 or -1.
std::int32_t DoSetBmp(const BitmapContext& context, std::int32_t number, std::wstring_view fileName,
                      std::int32_t width, std::int32_t alignment);

// PrintBitmap's work: restarts the encoder's command buffer, finishes a
// pending text line (ESC d 1) and appends the bit image of `fileName`.
// The encoder's fill count, or -1. `job` (when given) receives the job mode
// and metrics for PrintJob.
std::int32_t DoPrintBmp(const BitmapContext& context, std::wstring_view fileName, std::int32_t width,
                        std::int32_t alignment, CommandEncoder& encoder, BitmapJob* job = nullptr);

// The preparation stage: the source as a 1-bit image, `widthDots` bit-image
// columns wide (-1: as is) and of the level's height, saved as stored bitmap
// `bitmapNumber`. 0 or -1.
std::int32_t prePrepareBmp(const BitmapContext& context, const std::string& fileName, std::int32_t widthDots,
                           std::int32_t bitmapNumber);

struct BitmapPrinted {
    std::int32_t widthDots = 0;
    std::int32_t rows = 0;
    std::int32_t bytes = 0;
};

// Appends the stored bitmap file's bit image to the encoder. A bitmap
// stored by SetBitmap (number above 0) brings its own alignment and
// `alignment` is not used. `rotate` turns it upside down. The fill count,
// or -1 with nothing appended.
std::int32_t PrintBitmapToRAM(const BitmapContext& context, const std::string& storedFile, BitmapPrinted* printed,
                              bool rotate, std::int32_t alignment, std::int32_t bitmapNumber,
                              CommandEncoder& encoder);

// PrintBMP's pipeline for the encoder (CommandEncoder::setBitmapToCommands);
// it keeps a copy of `context`.
BitmapToCommands makeBitmapToCommands(const BitmapContext& context);

}  // namespace printer
