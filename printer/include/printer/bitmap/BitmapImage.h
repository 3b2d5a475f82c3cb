#pragma once
// The `Bitmap` record of the JPEG path: decoded pixels in rows, saved as a
// BMP file for the halftoning library.
#include <cstdint>
#include <vector>

#include "printer/encode/EncodeLog.h"

namespace printer {

inline constexpr std::int32_t BMP_Err_Ok = 0;
inline constexpr std::int32_t BMP_Err_Invalid_Argument = 129;
inline constexpr std::int32_t BMP_Err_Out_Of_Memory = 133;
inline constexpr std::int32_t BMP_Err_Create_File_Failed = 134;
inline constexpr std::int32_t BMP_Err_Write_File_Failed = 135;
inline constexpr std::int32_t BMP_Err_Invalid_Bitmap = 140;

// An empty record has every field zero and no storage. Move-only: the row
// pointers point into its own buffer.
struct Bitmap {
    Bitmap() = default;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    Bitmap(Bitmap&&) = default;
    Bitmap& operator=(Bitmap&&) = default;

    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitsPerPixel = 0;  // 1, 8 or 24
    std::int32_t imageSize = 0;     // BytesPerLine x height
    std::int32_t BytesPerLine = 0;
    std::vector<std::uint8_t*> ScanLine;  // the start of every row
    std::vector<std::uint8_t> buffer;     // imageSize + 16 bytes
};

// Allocates a zeroed image; rows padded to 4 bytes when `align4`. 129 for a
// null record, a width or height below 1, another depth or an image whose
// size does not fit 32 bits; 133 when memory runs out (nothing kept).
std::int32_t Bitmap_New(Bitmap* bitmap, std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                        bool align4, EncodeLog* log = nullptr);
// 129 for a null record, 140 for an inconsistent one, else 0.
std::int32_t Bitmap_Check(const Bitmap* bitmap, EncodeLog* log = nullptr);
// Frees the storage and empties the record.
std::int32_t Bitmap_Done(Bitmap* bitmap);
// Writes a BMP file: 24-bit without palette, 8-bit with 256 grey levels,
// 1-bit black then white; rows as stored, each padded to 4 bytes. 129 for
// a null name, Bitmap_Check's code, 134 when the file cannot be created,
// 135 for a short write.
std::int32_t SaveBitmapToFile(const Bitmap* bitmap, const char* fileName, EncodeLog* log = nullptr);

}  // namespace printer
