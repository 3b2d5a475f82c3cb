// The exported entry point: reads the source, checks it, halftones it and
// lays the result out as a BMP file image.
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "BmpSource.h"
#include "Halftone.h"
#include "imgproc/imgproc.h"

namespace {

constexpr std::size_t kOutputHeaderSize = 14 + 40 + 8;
// The caller's buffer, as a multiple of the source file's size.
constexpr std::uint64_t kWorkBufferFactor = 5;

void put16(unsigned char* at, std::uint32_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void put32(unsigned char* at, std::uint32_t value)
{
    put16(at, value);
    put16(at + 2, value >> 16);
}

// False when the file cannot be read whole or is larger than the library
// accepts.
bool readFile(const char* path, std::vector<std::uint8_t>* bytes)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    ok = ok && size >= 0 && size <= IMGPROC_MAX_FILE_SIZE && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        try {
            bytes->resize(static_cast<std::size_t>(size));
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    ok = ok && std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
    std::fclose(file);
    return ok;
}

void writeHeader(unsigned char* out, const imgproc::BmpLayout& layout, std::uint32_t imageSize)
{
    std::memset(out, 0, kOutputHeaderSize);
    out[0] = 'B';
    out[1] = 'M';
    put32(out + 2, static_cast<std::uint32_t>(kOutputHeaderSize) + imageSize);
    put32(out + 10, kOutputHeaderSize);
    put32(out + 14, 40);
    put32(out + 18, static_cast<std::uint32_t>(layout.width));
    put32(out + 22, static_cast<std::uint32_t>(layout.height));
    put16(out + 26, 1);
    put16(out + 28, 1);
    put32(out + 34, imageSize);
    put32(out + 46, 2);
    put32(out + 50, 2);
    // Palette: index 0 black, index 1 white.
    std::memset(out + 58, 0xFF, 3);
}

}  // namespace

extern "C" IMGPROC_API int32_t AllBitsBmpHalftoneProc(const char* sourcePath, int32_t method, int32_t* width,
                                                      int32_t* height, unsigned char* workBuffer)
{
    if (sourcePath == nullptr || width == nullptr || height == nullptr || workBuffer == nullptr) {
        return IMGPROC_E_ARGUMENT;
    }
    if (method != IMGPROC_METHOD_THRESHOLD && method != IMGPROC_METHOD_DIFFUSION) return IMGPROC_E_ARGUMENT;

    std::vector<std::uint8_t> file;
    if (!readFile(sourcePath, &file)) return IMGPROC_E_READ;
    imgproc::BmpLayout layout;
    if (imgproc::readBmpLayout(file, &layout) != imgproc::BmpCheck::Ok) return IMGPROC_E_FORMAT;
    *width = layout.width;
    *height = layout.height;
    if (layout.bitCount == 1) return IMGPROC_ALREADY_BINARY;

    const std::size_t stride = (static_cast<std::size_t>(layout.width) + 31) / 32 * 4;
    const std::uint64_t imageSize = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(layout.height);
    const std::uint64_t total = kOutputHeaderSize + imageSize;
    // Holds for every file readBmpLayout accepts; checked all the same, the
    // buffer's size is known only by this contract.
    if (total > kWorkBufferFactor * file.size()) return IMGPROC_E_FORMAT;

    try {
        imgproc::halftone(file, layout, method, workBuffer + kOutputHeaderSize, stride);
    } catch (const std::bad_alloc&) {
        return IMGPROC_E_MEMORY;
    }
    writeHeader(workBuffer, layout, static_cast<std::uint32_t>(imageSize));
    return static_cast<int32_t>(total);
}
