#include "printer/bitmap/JpegSource.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/module.h"
#include "printer/bitmap/BitmapImage.h"
#include "printer/bitmap/ImageLibraries.h"
#include "printer/encode/CommandEncoder.h"

namespace printer {

namespace {

// The decoder is told 4 bytes more than the file holds; they stay zero.
constexpr std::size_t kJpegLengthSlack = 4;

}  // namespace

std::int32_t jpegToScratchBmp(const std::string& libraryDirectory, std::span<const std::uint8_t> jpeg,
                              const std::string& scratchPath, std::size_t* scratchSize, EncodeLog* log)
{
    platform::HModule library = platform::loadLibrary(libraryDirectory + kJpegLibrary);
    if (library == nullptr) {
        logError(log, "PrintBitmapToRAM :LoadLibrary fail %s", "");
        return -1;
    }
    const auto jpegToBmp = platform::getProcAddressAs<JpegToBmpFunction>(library, "JpegToBmp");
    if (jpegToBmp == nullptr) {
        logError(log, "PrintBitmapToRAM %d:GetProcAddress f_AJpegToBmp fail%s", 1, "");
        return -1;
    }

    std::vector<std::uint8_t> file(jpeg.size() + kJpegLengthSlack, 0);
    std::memcpy(file.data(), jpeg.data(), jpeg.size());
    const JpegMemory memory{0, static_cast<std::int32_t>(file.size()), file.data()};
    // Only the pages the decoder writes are ever touched, so the full-size
    // buffer costs little for a small image.
    std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[kJpegPixelBufferSize]);
    if (!pixels) {
        logError(log, "PrintBitmapToRAM :bitmap_mem JPEG_Err_Out_Of_Memory %s", "");
        return -1;
    }

    std::int32_t width = 0;
    std::int32_t height = 0;
    logDebug(log, "PrintBitmapToRAM :JpegToBmp Begin");
    const std::int32_t code = jpegToBmp(&memory, &width, &height, 24, pixels.get());
    logDebug(log, "PrintBitmapToRAM :JpegToBmp End");
    if (code != 0) {
        logError(log, "PrintBitmapToRAM :error_code JPEG_Err_Ok %d", code);
        return -1;
    }
    logDebug(log, "PrintBitmapToRAM :error_code 0 success");
    if (width < 1 || height < 1 ||
        std::uint64_t{static_cast<std::uint32_t>(width)} * static_cast<std::uint32_t>(height) * 3 >
            kJpegPixelBufferSize) {
        logError(log, "PrintBitmapToRAM :JpegToBmp size %d x %d outside its buffer", width, height);
        return -1;
    }

    Bitmap bitmap;
    std::int32_t result = Bitmap_New(&bitmap, width, height, 24, false, log);
    if (result == BMP_Err_Ok) {
        std::memcpy(bitmap.buffer.data(), pixels.get(), static_cast<std::size_t>(bitmap.imageSize));
        result = SaveBitmapToFile(&bitmap, scratchPath.c_str(), log);
        if (result != BMP_Err_Ok) {
            logError(log, "PrintBitmapToRAM :SaveBitmapToFile(\"%s\") %d fail", scratchPath.c_str(), result);
        }
    }
    if (result == BMP_Err_Ok) {
        const std::size_t paddedRow = (static_cast<std::size_t>(bitmap.BytesPerLine) + 3) / 4 * 4;
        *scratchSize = 54 + paddedRow * static_cast<std::size_t>(height);
    }
    logDebug(log, "PrintBitmapToRAM :ExitLine memory.buffer");
    pixels.reset();
    logDebug(log, "PrintBitmapToRAM :ExitLine bitmap_mem");
    Bitmap_Done(&bitmap);
    logDebug(log, "PrintBitmapToRAM :ExitLine bitmap.buffer");
    return result == BMP_Err_Ok ? 0 : -1;
}

}  // namespace printer
