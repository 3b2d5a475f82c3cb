#include "printer/bitmap/BitmapPipeline.h"

#include <array>
#include <cstdio>
#include <vector>

#include "common/OposConstants.h"
#include "platform/strings.h"
#include "printer/PropertyTables.h"
#include "printer/TransactionBuffer.h"
#include "printer/bitmap/BinaryFile.h"
#include "printer/bitmap/BitImageEncoder.h"
#include "printer/bitmap/PrepareBitmap.h"

namespace printer {

namespace {

constexpr const char* kEnd = "";
constexpr std::size_t kAlignmentSize = 4;

// The width argument in bit-image columns. The application's width counts
// the printer's full resolution, where a single-density column is two dots
// wide; SetBitmap and PrintBitmap double the width at level 48, whose
// columns are one dot wide.
std::int32_t widthInColumns(const BitmapContext& context, std::int32_t width)
{
    if (width == common::PTR_BM_ASIS) return -1;
    return unitsToDots(context.mapMode, width / 2, context.dpi);
}

std::array<std::uint8_t, kAlignmentSize> littleEndian(std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}

std::int32_t alignmentAtEnd(const std::vector<std::uint8_t>& file)
{
    const std::uint8_t* p = file.data() + file.size() - kAlignmentSize;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                     static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

// The bit image of `dib` appended to the encoder; the fill count or -1.
std::int32_t appendBitImage(const BitmapContext& context, const Dib& dib, bool rotate, std::int32_t alignment,
                            BitmapPrinted* printed, CommandEncoder& encoder)
{
    EncodeLog* log = context.log;
    const Dib* image = &dib;
    std::unique_ptr<Dib> turned;
    if (rotate) {
        std::unique_ptr<Dib> quarter = RotateDIB(dib);
        if (!quarter) {
            logError(log, "PrintBitmapToRAM %d:RoBitMap is TRUE but RotateDIB(hDib 0x%02x) fail%s", 1, 0, kEnd);
            return -1;
        }
        turned = RotateDIB(*quarter);
        if (!turned) {
            logError(log, "PrintBitmapToRAM %d: RoBitMap is TRUE but RotateDIB(h 0x%02x) fail%s", 1, 0, kEnd);
            return -1;
        }
        image = turned.get();
    }

    BitImageRequest request;
    request.model = context.model;
    request.bitmapLevel = context.bitmapLevel;
    request.alignment = alignment;
    request.rotated180 = rotate;
    request.alreadyBuffered = static_cast<std::size_t>(encoder.fillCount());
    BitImage bitImage;
    if (encodeBitImage(*image, request, &bitImage, log) != BitImageResult::Ok) return -1;
    if (encoder.appendCommands(bitImage.bytes) != 0) return -1;
    printed->widthDots = bitImage.widthDots;
    printed->rows = bitImage.rows;
    printed->bytes = static_cast<std::int32_t>(bitImage.bytes.size());
    logDebug(log, "PrintBitmapToRAM:%d", encoder.fillCount());
    return encoder.fillCount();
}

}  // namespace

std::string storedBitmapPath(const std::string& bitmapDirectory, std::int32_t number, std::string_view prefix)
{
    return bitmapDirectory + std::string(prefix) + std::to_string(number);
}

std::int32_t prePrepareBmp(const BitmapContext& context, const std::string& fileName, std::int32_t widthDots,
                           std::int32_t bitmapNumber)
{
    std::unique_ptr<Dib> dib = prepareBitmap(context, fileName, widthDots, bitmapNumber);
    if (!dib) return -1;
    const std::string stored = storedBitmapPath(context.bitmapDirectory, bitmapNumber, context.bitmapFilePrefix);
    if (!SaveDIB(*dib, stored)) {
        logError(context.log, "prePrepareBmp %d:SaveDIB(\"%s\") fail%s", 1, stored.c_str(), kEnd);
        return -1;
    }
    logDebug(context.log, "prePrepareBmp:%d%s", 0, kEnd);
    return 0;
}

std::int32_t DoSetBmp(const BitmapContext& context, std::int32_t number, std::wstring_view fileName,
                      std::int32_t width, std::int32_t alignment)
{
    EncodeLog* log = context.log;
    const std::string name = platform::toNarrow(fileName);
    logDebug(log, "DoSetBmp Begin");
    logDebug(log, "DoSetBmp(%d,\"%s\",%d,%d)", number, name.c_str(), width, alignment);
    if (number < 1) number = 1;
    if (number > kMaxBitmapNumber) {
        logError(log, "DoSetBmp %d:BitmapNumber(%d) should <= 20%s", 1, number, kEnd);
        return -1;
    }
    if (prePrepareBmp(context, name, widthInColumns(context, width), number) != 0) {
        logError(log, "DoSetBmp %d:prePrepareBmp fail%s", 1, kEnd);
        return -1;
    }
    const std::string stored = storedBitmapPath(context.bitmapDirectory, number, context.bitmapFilePrefix);
    if (!appendToExistingFile(stored, littleEndian(alignment))) {
        // Without its alignment the file would lend pixel bytes as one.
        std::remove(stored.c_str());
        logError(log, "DoSetBmp %d:CreateFile(\"%s\") fail%s", 1, stored.c_str(), kEnd);
        return -1;
    }
    logDebug(log, "DoSetBmp:%d", 1);
    return 1;
}

std::int32_t PrintBitmapToRAM(const BitmapContext& context, const std::string& storedFile, BitmapPrinted* printed,
                              bool rotate, std::int32_t alignment, std::int32_t bitmapNumber,
                              CommandEncoder& encoder)
{
    EncodeLog* log = context.log;
    logDebug(log, "PrintBitmapToRAM(\"%s\",0x%02x,0x%02x,0x%02x,%d,%d,%d)", storedFile.c_str(), 0u, 0u, 0u,
             rotate ? 1 : 0, alignment, bitmapNumber);
    std::vector<std::uint8_t> file;
    if (readBinaryFile(storedFile, kMaxDibBytes + 1024, &file) != FileRead::Ok) {
        logError(log, "PrintBitmapToRAM %d:CreateFile(\"%s\") fail%s", 1, storedFile.c_str(), kEnd);
        return -1;
    }
    Dib dib;
    int bitCount = 0;
    switch (parseDib(file, &dib, &bitCount)) {
    case DibCheck::Ok:
        break;
    case DibCheck::NotBitmap:
        logError(log, "PrintBitmapToRAM :Not bitmap format%s", kEnd);
        return -1;
    case DibCheck::NotOneBit:
        logError(log, "PrintBitmapToRAM %d:biBitCount(%d) should is 1%s", 1, bitCount, kEnd);
        return -1;
    case DibCheck::Invalid:
    case DibCheck::Unsupported:
        logError(log, "PrintBitmapToRAM %d:bitmap(\"%s\") damaged%s", 1, storedFile.c_str(), kEnd);
        return -1;
    }
    // parseDib accepted at least both headers, so the last 4 bytes exist.
    if (bitmapNumber > 0) alignment = alignmentAtEnd(file);
    BitmapPrinted result;
    const std::int32_t fill = appendBitImage(context, dib, rotate, alignment, &result, encoder);
    if (fill >= 0 && printed != nullptr) *printed = result;
    return fill;
}

std::int32_t DoPrintBmp(const BitmapContext& context, std::wstring_view fileName, std::int32_t width,
                        std::int32_t alignment, CommandEncoder& encoder, BitmapJob* job)
{
    EncodeLog* log = context.log;
    const std::string name = platform::toNarrow(fileName);
    logDebug(log, "DoPrintBmp Begin");
    logDebug(log, "DoPrintBmp(\"%s\",%d,%d)", name.c_str(), width, alignment);
    // PrintBitmap's image is encoded straight from memory: nothing is
    // stored that a later call, or another device, could read by mistake.
    std::unique_ptr<Dib> dib = prepareBitmap(context, name, widthInColumns(context, width), 0);
    if (!dib) {
        logError(log, "DoPrintBmp %d:prePrepareBmp fail%s", 1, kEnd);
        return -1;
    }
    encoder.clearCommands();
    if (!encoder.lineTerminated()) {
        encoder.PrintnLine(1);
        encoder.setLineTerminated(true);
    }
    BitmapPrinted printed;
    const std::int32_t fill =
        appendBitImage(context, *dib, context.rotationState == kRotation180, alignment, &printed, encoder);
    if (fill < 0) {
        logError(log, "DoPrintBmp %d:PrintBitmapToRAM fail%s", 1, kEnd);
        return -1;
    }
    if (job != nullptr) {
        const bool immediate = context.inTransaction && !context.pageMode && context.rotationState != kRotationNormal;
        job->jobMode = immediate ? job_mode::IMMEDIATE : job_mode::NORMAL;
        job->widthDots = printed.widthDots;
        job->widestLineAtLeast = context.pageMode ? 2 * printed.widthDots : 0;
    }
    logDebug(log, "DoPrintBmp:%d%s", fill, kEnd);
    return fill;
}

BitmapToCommands makeBitmapToCommands(const BitmapContext& context)
{
    return [context](CommandEncoder& encoder, const std::string& path, std::int32_t number, std::int32_t rotate180,
                     std::int32_t* width) {
        BitmapPrinted printed;
        const std::int32_t fill =
            PrintBitmapToRAM(context, path, &printed, rotate180 != 0, common::PTR_BM_CENTER, number, encoder);
        if (fill >= 0 && width != nullptr) *width = printed.widthDots;
        return fill;
    };
}

}  // namespace printer
