#pragma once
// The entry points of the two outside image libraries as the bitmap
// pipeline calls them. They are loaded by file name from the install
// directory at every preparation, so replacing a library needs no restart.
#include <cstddef>
#include <cstdint>

namespace printer {

inline constexpr const char* kHalftoneLibrary = "imgproc.dll";
inline constexpr const char* kJpegLibrary = "imgconv.dll";

// (source BMP path, method, out width, out height, work buffer) -> the size
// of the 1-bit BMP file image written into the work buffer, or
// kHalftoneAlreadyBinary for a 1-bit source (buffer unused), or another
// negative failure code. The work buffer holds kHalftoneBufferFactor x the
// source file's size.
using AllBitsBmpHalftoneProcFunction = std::int32_t (*)(const char*, std::int32_t, std::int32_t*, std::int32_t*,
                                                        unsigned char*);
inline constexpr std::int32_t kHalftoneAlreadyBinary = -3;
inline constexpr std::int32_t kHalftoneDiffusion = 2;
inline constexpr std::size_t kHalftoneBufferFactor = 5;

// The JPEG file handed to JpegToBmp.
struct JpegMemory {
    std::int32_t position;
    std::int32_t length;
    unsigned char* buffer;
};

// (file bytes, out width, out height, 24, pixel buffer of
// kJpegPixelBufferSize bytes) -> 0 with width x height BGR pixels in the
// buffer, rows bottom-up without padding; anything else is a failure.
using JpegToBmpFunction = std::int32_t (*)(const JpegMemory*, std::int32_t*, std::int32_t*, std::int32_t,
                                           unsigned char*);
inline constexpr std::size_t kJpegPixelBufferSize = 52428800;

}  // namespace printer
