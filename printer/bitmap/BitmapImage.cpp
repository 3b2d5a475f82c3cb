#include "printer/bitmap/BitmapImage.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <new>

#include "printer/encode/CommandEncoder.h"

namespace printer {

namespace {

constexpr std::size_t kSpare = 16;

bool validDepth(std::int32_t bitsPerPixel) { return bitsPerPixel == 1 || bitsPerPixel == 8 || bitsPerPixel == 24; }

void put32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::int32_t Bitmap_New(Bitmap* bitmap, std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                        bool align4, EncodeLog* log)
{
    if (bitmap == nullptr || width < 1 || height < 1) {
        logError(log, "Bitmap_New :NULL or %d %d BMP_Err_Invalid_Argument", width, height);
        return BMP_Err_Invalid_Argument;
    }
    if (!validDepth(bitsPerPixel)) {
        logError(log, "Bitmap_New :%d != %d %d != %d %d != %d BMP_Err_Invalid_Argument", bitsPerPixel, 1,
                 bitsPerPixel, 8, bitsPerPixel, 24);
        return BMP_Err_Invalid_Argument;
    }
    const std::int64_t bits = std::int64_t{width} * bitsPerPixel;
    std::int64_t bytesPerLine = 0;
    if (align4) {
        logDebug(log, "Bitmap_New Align_4_bytes");
        bytesPerLine = (bits + 31) / 32 * 4;
    } else {
        logDebug(log, "Bitmap_New not Align_4_bytes");
        bytesPerLine = (bits + 7) / 8;
    }
    constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max() - static_cast<std::int64_t>(kSpare);
    if (bytesPerLine > kLargest / height) {
        logError(log, "Bitmap_New :NULL or %d %d BMP_Err_Invalid_Argument", width, height);
        return BMP_Err_Invalid_Argument;
    }
    const std::int64_t imageSize = bytesPerLine * height;
    Bitmap fresh;
    try {
        fresh.buffer.assign(static_cast<std::size_t>(imageSize) + kSpare, 0);
    } catch (const std::bad_alloc&) {
        logError(log, "Bitmap_New bitmap.buffer NULL");
        return BMP_Err_Out_Of_Memory;
    }
    try {
        fresh.ScanLine.resize(static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        logError(log, "Bitmap_New bitmap.ScanLine NULL");
        return BMP_Err_Out_Of_Memory;
    }
    for (std::int32_t y = 0; y < height; ++y)
        fresh.ScanLine[static_cast<std::size_t>(y)] = fresh.buffer.data() + static_cast<std::size_t>(y * bytesPerLine);
    fresh.width = width;
    fresh.height = height;
    fresh.bitsPerPixel = bitsPerPixel;
    fresh.BytesPerLine = static_cast<std::int32_t>(bytesPerLine);
    fresh.imageSize = static_cast<std::int32_t>(imageSize);
    *bitmap = std::move(fresh);
    return BMP_Err_Ok;
}

std::int32_t Bitmap_Check(const Bitmap* bitmap, EncodeLog* log)
{
    if (bitmap == nullptr) {
        logError(log, "Bitmap_Check 1");
        return BMP_Err_Invalid_Argument;
    }
    const char* failure = nullptr;
    if (bitmap->width < 1 || bitmap->height < 1)
        failure = "Bitmap_Check 2";
    else if (!validDepth(bitmap->bitsPerPixel))
        failure = "Bitmap_Check 3";
    else if (bitmap->buffer.size() < static_cast<std::size_t>(bitmap->imageSize) + kSpare || bitmap->imageSize < 1)
        failure = "Bitmap_Check 4";
    else if (bitmap->BytesPerLine < 1 ||
             static_cast<std::int64_t>(bitmap->BytesPerLine) * bitmap->height > bitmap->imageSize)
        failure = "Bitmap_Check 5";
    else if (bitmap->ScanLine.size() != static_cast<std::size_t>(bitmap->height))
        failure = "Bitmap_Check 6";
    if (failure != nullptr) {
        logError(log, "%s", failure);
        return BMP_Err_Invalid_Bitmap;
    }
    return BMP_Err_Ok;
}

std::int32_t Bitmap_Done(Bitmap* bitmap)
{
    if (bitmap == nullptr) return BMP_Err_Invalid_Argument;
    *bitmap = Bitmap{};
    return BMP_Err_Ok;
}

std::int32_t SaveBitmapToFile(const Bitmap* bitmap, const char* fileName, EncodeLog* log)
{
    if (fileName == nullptr) return BMP_Err_Invalid_Argument;
    if (const std::int32_t check = Bitmap_Check(bitmap, log); check != BMP_Err_Ok) return check;

    const std::size_t rowBytes = static_cast<std::size_t>(bitmap->BytesPerLine);
    const std::size_t padding = (4 - rowBytes % 4) % 4;
    const std::size_t imageSize = (rowBytes + padding) * static_cast<std::size_t>(bitmap->height);
    std::uint32_t colours = 0;
    if (bitmap->bitsPerPixel == 8) colours = 256;
    if (bitmap->bitsPerPixel == 1) colours = 2;
    const std::size_t offset = 54 + 4 * std::size_t{colours};

    std::uint8_t header[54] = {'B', 'M'};
    put32(header + 2, static_cast<std::uint32_t>(offset + imageSize));
    put32(header + 10, static_cast<std::uint32_t>(offset));
    put32(header + 14, 40);
    put32(header + 18, static_cast<std::uint32_t>(bitmap->width));
    put32(header + 22, static_cast<std::uint32_t>(bitmap->height));
    header[26] = 1;
    header[28] = static_cast<std::uint8_t>(bitmap->bitsPerPixel);
    put32(header + 34, static_cast<std::uint32_t>(imageSize));
    put32(header + 46, colours);

    std::FILE* raw = std::fopen(fileName, "wb");
    if (raw == nullptr) return BMP_Err_Create_File_Failed;
    std::unique_ptr<std::FILE, FileCloser> file(raw);
    bool ok = std::fwrite(header, 1, sizeof header, raw) == sizeof header;
    if (colours == 2) {
        const std::uint8_t blackWhite[8] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};
        ok = ok && std::fwrite(blackWhite, 1, sizeof blackWhite, raw) == sizeof blackWhite;
    }
    for (std::uint32_t level = 0; ok && colours == 256 && level < 256; ++level) {
        const std::uint8_t grey[4] = {static_cast<std::uint8_t>(level), static_cast<std::uint8_t>(level),
                                      static_cast<std::uint8_t>(level), 0};
        ok = std::fwrite(grey, 1, sizeof grey, raw) == sizeof grey;
    }
    if (padding == 0) {
        ok = ok && std::fwrite(bitmap->buffer.data(), 1, imageSize, raw) == imageSize;
    } else {
        const std::uint8_t zeros[4] = {};
        for (std::int32_t y = 0; ok && y < bitmap->height; ++y) {
            ok = std::fwrite(bitmap->ScanLine[static_cast<std::size_t>(y)], 1, rowBytes, raw) == rowBytes &&
                 std::fwrite(zeros, 1, padding, raw) == padding;
        }
    }
    if (std::fclose(file.release()) != 0) ok = false;
    return ok ? BMP_Err_Ok : BMP_Err_Write_File_Failed;
}

}  // namespace printer
