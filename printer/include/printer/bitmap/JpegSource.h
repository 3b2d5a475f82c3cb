#pragma once
// JPEG sources: decoded by imgconv into a 24-bit BMP scratch file that the
// halftoning library can read.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "printer/encode/EncodeLog.h"

namespace printer {

// Decodes `jpeg` with imgconv from `libraryDirectory` and writes the image
// to `scratchPath`, whose size goes to *scratchSize. 0, or -1 after an error
// line (a failed decode included: nothing is printed from a file that could
// not be decoded).
std::int32_t jpegToScratchBmp(const std::string& libraryDirectory, std::span<const std::uint8_t> jpeg,
                              const std::string& scratchPath, std::size_t* scratchSize, EncodeLog* log);

}  // namespace printer
