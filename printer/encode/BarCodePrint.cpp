// PrintBarCode's encoding step: sizes in dots, the module width, the
// barcode's commands, and how they fit the printer's current rotation.
#include <algorithm>
#include <vector>

#include "printer/encode/BarCodeEncoder.h"

namespace printer {

namespace {

constexpr std::uint8_t ESC = 0x1B;
constexpr std::int32_t kMaxHeightDots = 255;
constexpr std::int32_t kMinModuleWidth = 2;
constexpr std::int32_t kMaxModuleWidth = 6;
// The rotated block's area across the paper, the same on every model.
constexpr std::int32_t kRotatedBlockWidth = 640;
constexpr std::int32_t kMaxAreaDots = 0xFFFF;  // ESC W's 16-bit fields
constexpr std::uint8_t kMaxFeedPerCommand = 255;

bool leavesPageModeWithEscS(std::int32_t model)
{
    return model == model::B21 || model == model::H80 || model == model::B20 || model == model::A10X;
}

// A rotated-90 barcode printed on its own: the translated commands wrapped
// into a page-mode block as long as twice the barcode's width, printed and
// closed by FF. The commands (a QR code's some thousand bytes at most) are
// far from the command buffer's end.
void wrapInRotatedBlock(const BarCodeContext& context, CommandEncoder& encoder, std::int32_t heightDots,
                        std::int32_t widthDots)
{
    const auto commands = encoder.commands();
    const std::vector<std::uint8_t> barCode(commands.begin(), commands.end());
    // Twice an application's width may not fit the area's 16 bits; the
    // largest area is the nearest the printer can do.
    const auto dy = static_cast<std::uint16_t>(
        std::clamp<std::int64_t>(2 * static_cast<std::int64_t>(widthDots), 0, kMaxAreaDots));
    const std::uint8_t direction = context.rotateSpecial == common::PTR_RP_RIGHT90 ? 3 : 1;
    const std::uint8_t header[] = {
        ESC, 0x4C,                                                   // page mode
        ESC, 0x57, 0, 0, 0, 0,                                       // area origin
        static_cast<std::uint8_t>(kRotatedBlockWidth & 0xFF),
        static_cast<std::uint8_t>(kRotatedBlockWidth >> 8),          // dx
        static_cast<std::uint8_t>(dy & 0xFF), static_cast<std::uint8_t>(dy >> 8),  // dy
        ESC, 0x54, direction};
    encoder.clearCommands();
    encoder.appendCommands(header);
    // ESC J feeds 255 dots at most; only a QR code's side is taller.
    std::int32_t feed = heightDots;
    for (; feed > kMaxFeedPerCommand; feed -= kMaxFeedPerCommand) {
        const std::uint8_t full[] = {ESC, 0x4A, kMaxFeedPerCommand};
        encoder.appendCommands(full);
    }
    const std::uint8_t last[] = {ESC, 0x4A, static_cast<std::uint8_t>(feed)};
    encoder.appendCommands(last);
    encoder.appendCommands(barCode);
    const std::uint8_t formFeed[] = {0x0C};
    encoder.appendCommands(formFeed);
    if (leavesPageModeWithEscS(context.model)) {
        const std::uint8_t standardMode[] = {ESC, 0x53};
        encoder.appendCommands(standardMode);
    }
}

}  // namespace

std::int32_t DoPrintBarCode(const BarCodeContext& context, const BarCodeRequest& request, CommandEncoder& encoder,
                            LineMetrics& metrics, std::int32_t* jobMode)
{
    EncodeLog* log = encoder.log();
    logDebug(log, "DoPrintBarCode(%d,%d,%d,%d,%d,%d)", static_cast<std::int32_t>(request.data.size()),
             request.symbology, request.height, request.width, request.alignment, request.textPosition);

    std::int32_t heightDots = 0;
    std::int32_t widthDots = 0;
    SetLinParInDot(log, &heightDots, context.mapMode, request.height, context.dpi);
    SetLinParInDot(log, &widthDots, context.mapMode, request.width, context.dpi);
    heightDots = std::min(heightDots, kMaxHeightDots);

    std::int32_t module = 0;
    const bool qrCode = request.symbology == common::PTR_BCS_QRCODE;
    if (qrCode) {
        // A QR code is square: its side, not the requested height, is what
        // the page-mode feeds and the rotated block must make room for.
        module = GetQrModuleSize(log, request.data, widthDots);
        const std::int32_t version = qrSymbolVersion(request.data);
        heightDots = version > 0 ? qrSymbolModules(version) * module : 0;
        widthDots = heightDots;
    } else {
        const std::int32_t count = countBarCodeChars(request.symbology, request.data);
        module = std::clamp(GetCodeBarUnitLen(log, request.symbology, count, widthDots), kMinModuleWidth,
                            kMaxModuleWidth);
    }

    const std::int32_t translated = TranslateBarCode(context, encoder, request.data, request.symbology, heightDots,
                                                     module, request.alignment, request.textPosition);
    if (translated <= 0) {
        logError(log, "DoPrintBarCode %d:TranslateBarCode fail%s", 1, "");
        return -1;
    }

    std::int32_t mode = job_mode::NORMAL;
    const bool rotated90 =
        context.rotateSpecial != common::PTR_RP_NORMAL && context.rotateSpecial != common::PTR_RP_ROTATE180;
    if (!context.pageMode && rotated90) {
        wrapInRotatedBlock(context, encoder, heightDots, widthDots);
    } else if (context.pageMode && context.barcodeRotation) {
        const bool hri = !qrCode && request.textPosition != common::PTR_BC_TEXT_NONE;
        metrics.totalHeight += heightDots + (hri ? kCharLineHeight : 0);
        metrics.widestLine = std::max(metrics.widestLine, widthDots);
    } else if (context.pageMode) {
        // The block being collected is not turned for barcodes: the barcode
        // goes out now, ahead of the block.
        mode = job_mode::IMMEDIATE;
    }

    if (jobMode != nullptr) *jobMode = mode;
    logDebug(log, "DoPrintBarCode ok");
    return encoder.fillCount();
}

}  // namespace printer
