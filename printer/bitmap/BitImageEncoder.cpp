#include "printer/bitmap/BitImageEncoder.h"

#include <array>

#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"
#include "printer/encode/CommandEncoder.h"

namespace printer {

namespace {

constexpr std::uint8_t ESC = 0x1B;
// ESC * m nL nH.
constexpr std::size_t kBandHeaderSize = 5;
constexpr std::size_t kTrailerSize = 5;

// The feed after a band moves the paper by the band's height; the K and F
// mechanisms step in finer units and take ESC J 16 for it. B20 needs a
// line feed with a 24-dot spacing instead.
std::array<std::uint8_t, kTrailerSize> bandTrailer(std::int32_t model)
{
    switch (model) {
    case model::K90:
    case model::K91:
    case model::K92:  // K93 too: it shares K92's number
    case model::F60:
        return {ESC, 0x32, ESC, 0x4A, 0x10};
    case model::B20:
        return {ESC, 0x33, 0x18, 0x00, 0x0A};
    default:
        return {ESC, 0x32, ESC, 0x4A, 0x18};
    }
}

std::uint8_t alignmentByte(std::int32_t alignment, bool rotated180)
{
    std::uint8_t n = 1;
    if (alignment == common::PTR_BM_LEFT) n = 0;
    if (alignment == common::PTR_BM_RIGHT) n = 2;
    return rotated180 ? static_cast<std::uint8_t>(2 - n) : n;
}

// The image as dots, top row first, `rows` rows of `stride` bytes: the rows
// above the image (padding to whole bands) and the bits beyond its width
// carry no dot.
std::vector<std::uint8_t> dotRows(const Dib& dib, std::int32_t rows)
{
    const std::size_t stride = dib.stride();
    std::vector<std::uint8_t> dots(stride * static_cast<std::size_t>(rows), 0);
    const std::size_t usedBytes = (static_cast<std::size_t>(dib.width) + 7) / 8;
    const auto lastMask = static_cast<std::uint8_t>(dib.width % 8 == 0 ? 0xFF : 0xFF << (8 - dib.width % 8));
    const std::int32_t top = rows - dib.height;
    for (std::int32_t y = 0; y < dib.height; ++y) {
        const std::uint8_t* from = dib.bits.data() + static_cast<std::size_t>(dib.height - 1 - y) * stride;
        std::uint8_t* to = dots.data() + static_cast<std::size_t>(top + y) * stride;
        for (std::size_t i = 0; i < usedBytes; ++i) to[i] = static_cast<std::uint8_t>(~from[i]);
        to[usedBytes - 1] &= lastMask;
    }
    return dots;
}

}  // namespace

BitImageMode bitImageMode(std::int32_t bitmapLevel)
{
    switch (bitmapLevel) {
    case 16:
        return {1, 8, 1, 1, 3};
    case 24:
        return {32, 24, 3, 2, 1};
    case 48:
        return {33, 24, 3, 1, 1};
    default:
        return {0, 8, 1, 2, 3};
    }
}

BitImageResult encodeBitImage(const Dib& dib, const BitImageRequest& request, BitImage* image, EncodeLog* log)
{
    const std::size_t stride = dib.stride();
    const auto widthDots = static_cast<std::int32_t>(stride * 8);
    if (widthDots > kMaxBitImageWidth) {
        logError(log, "PrintBitmapToRAM %d:nTruePixelsOfWidth(%d) * 8 > 65535", 1, widthDots);
        return BitImageResult::TooWide;
    }
    const BitImageMode mode = bitImageMode(request.bitmapLevel);
    const std::int32_t bands = (dib.height + mode.bandHeight - 1) / mode.bandHeight;
    const std::int32_t rows = bands * mode.bandHeight;
    const std::size_t bandData = static_cast<std::size_t>(widthDots) * static_cast<std::size_t>(mode.columnBytes);
    const std::size_t bandSize = kBandHeaderSize + bandData + kTrailerSize;
    const std::size_t prologue = 6;  // ESC a n, ESC { 0
    const std::size_t epilogue = request.model == model::B20 ? 2 : 0;

    // Checked before anything is produced: a bitmap printed in part is worse
    // than none, and the last band's trailer must fit as well as its data.
    const std::size_t total = prologue + static_cast<std::size_t>(bands) * bandSize + epilogue;
    if (request.alreadyBuffered > kCommandBufferSize || total > kCommandBufferSize - request.alreadyBuffered) {
        logError(log, "PrintBitmapToRAM data so large:%d %d %d %d %d %d", static_cast<int>(request.alreadyBuffered),
                 static_cast<int>(kBandHeaderSize), static_cast<int>(bandData), bands, widthDots,
                 static_cast<int>(total));
        return BitImageResult::TooLarge;
    }

    logDebug(log, "Begin bitmap manage");
    const std::vector<std::uint8_t> dots = dotRows(dib, rows);
    logDebug(log, "PrintBitmapToRAM iPosPrinterBmpLevel %d", request.bitmapLevel);

    std::vector<std::uint8_t>& out = image->bytes;
    out.clear();
    out.reserve(total);
    out.insert(out.end(), {ESC, 0x61, alignmentByte(request.alignment, request.rotated180), ESC, 0x7B, 0x00});
    const auto trailer = bandTrailer(request.model);
    for (std::int32_t band = 0; band < bands; ++band) {
        out.insert(out.end(), {ESC, 0x2A, mode.m, static_cast<std::uint8_t>(widthDots & 0xFF),
                               static_cast<std::uint8_t>(widthDots >> 8)});
        const std::uint8_t* bandTop = dots.data() + static_cast<std::size_t>(band * mode.bandHeight) * stride;
        for (std::int32_t x = 0; x < widthDots; ++x) {
            const std::size_t byteInRow = static_cast<std::size_t>(x >> 3);
            const int shift = 7 - (x & 7);
            for (std::int32_t part = 0; part < mode.columnBytes; ++part) {
                const std::uint8_t* row = bandTop + static_cast<std::size_t>(part * 8) * stride + byteInRow;
                std::uint8_t column = 0;
                for (int j = 0; j < 8; ++j)
                    column |= static_cast<std::uint8_t>(((row[j * stride] >> shift) & 1) << (7 - j));
                out.push_back(column);
            }
        }
        out.insert(out.end(), trailer.begin(), trailer.end());
    }
    if (epilogue != 0) out.insert(out.end(), {ESC, 0x32});
    image->widthDots = widthDots;
    image->rows = rows;
    return BitImageResult::Ok;
}

}  // namespace printer
