// One barcode as printer commands: the checks against the model, the
// surrounding HRI, alignment and upside-down commands, and the data fixes
// the printers' GS k needs.
#include <algorithm>
#include <cstdio>
#include <string>

#include "printer/encode/BarCodeEncoder.h"

namespace printer {

namespace {

constexpr std::uint8_t ESC = 0x1B;
constexpr std::size_t kMaxBarCodeData = 255;  // GS k announces the length in one byte
constexpr std::size_t kLoggedDataBytes = 256;
// In page mode the print position does not move past a barcode by itself:
// its height (and an HRI line above it) is fed before it, less the
// printers' own 21-dot offset, and 24 dots after it.
constexpr std::int32_t kPageModeBarCodeOffset = 21;
constexpr std::uint8_t kPageModeTrailingFeed = 0x18;
constexpr std::int32_t kMaxFeedPerCommand = 255;

// GS k's barcode system: m = system + 0x41. -1: the symbology is accepted
// but the printers have no command for it.
std::int32_t barCodeSystem(std::int32_t symbology)
{
    switch (symbology) {
    case common::PTR_BCS_UPCA: return 0;
    case common::PTR_BCS_UPCE: return 1;
    case common::PTR_BCS_EAN8: return 3;
    case common::PTR_BCS_EAN13: return 2;
    case common::PTR_BCS_ITF: return 5;
    case common::PTR_BCS_Codabar: return 6;
    case common::PTR_BCS_Code39: return 4;
    case common::PTR_BCS_Code93: return 7;
    case common::PTR_BCS_Code128: return 8;
    case common::PTR_BCS_PDF417: return 10;
    case common::PTR_BCS_MAXICODE: return 12;
    default: return -1;
    }
}

bool isOneDimensional(std::int32_t symbology)
{
    return symbology >= common::PTR_BCS_UPCA && symbology <= common::PTR_BCS_OCRB;
}

bool isTwoDimensional(std::int32_t symbology)
{
    return symbology == common::PTR_BCS_PDF417 || symbology == common::PTR_BCS_MAXICODE ||
           symbology == common::PTR_BCS_QRCODE;
}

bool sizeAccepted(std::int32_t symbology, std::int32_t height, std::int32_t moduleWidth)
{
    if (symbology == common::PTR_BCS_QRCODE)
        return height >= 1 && moduleWidth >= kQrMinModuleSize && moduleWidth <= kQrMaxModuleSize;
    return height >= 1 && height <= 255 && moduleWidth >= 1 && moduleWidth <= 6;
}

bool isCodabarStartStop(char c) { return c >= 'A' && c <= 'D'; }

// Codabar needs start and stop characters: A stands in for the ones the
// data lacks. `data` is not empty.
std::string withCodabarStartStop(std::string_view data)
{
    std::string fixed;
    if (!isCodabarStartStop(data.front())) fixed += 'A';
    fixed += data;
    if (!isCodabarStartStop(fixed.back())) fixed += 'A';
    return fixed;
}

// The printers' Code 128 needs the code set named first ("{A", "{B" or
// "{C"); data without one is sent in code set A. B20 is the exception: its
// data goes out as the application wrote it.
std::string withCode128CodeSet(std::int32_t model, std::string_view data)
{
    const bool named = data.size() >= 2 && data[0] == '{' && (data[1] == 'A' || data[1] == 'B' || data[1] == 'C');
    if (named || model == model::B20) return std::string(data);
    return "{A" + std::string(data);
}

void logData(EncodeLog* log, std::string_view data, std::int32_t symbology, std::int32_t height,
             std::int32_t moduleWidth, std::int32_t alignment, std::int32_t textPosition)
{
    if (log == nullptr || !log->debugEnabled()) return;
    std::string text;
    char hex[8];
    for (std::size_t i = 0; i < data.size() && i < kLoggedDataBytes; ++i) {
        const auto b = static_cast<std::uint8_t>(data[i]);
        if (b < 0x20 || b > 0x7E) {
            std::snprintf(hex, sizeof hex, "0x%02x ", b);
            text += hex;
        } else {
            text += static_cast<char>(b);
        }
    }
    const unsigned first = data.empty() ? 0u : static_cast<std::uint8_t>(data.front());
    logDebug(log, "TranslateBarCode(\"%s\",0x%02x,%d,%d,%d,%d,%d,%d)", text.c_str(), first,
             static_cast<std::int32_t>(data.size()), symbology, height, moduleWidth, alignment, textPosition);
}

// ESC J carries at most 255 dots: the first command feeds f mod 255, the
// following ones the whole 255s that remain.
void feedDots(CommandEncoder& encoder, std::int32_t dots)
{
    const std::uint8_t first[] = {ESC, 0x4A, static_cast<std::uint8_t>(dots % kMaxFeedPerCommand)};
    encoder.appendCommands(first);
    const std::uint8_t full[] = {ESC, 0x4A, 0xFF};
    for (std::int32_t i = 0; i < dots / kMaxFeedPerCommand; ++i) encoder.appendCommands(full);
}

}  // namespace

bool printsBarCodes(std::int32_t model)
{
    return model != model::K90 && model != model::K91 && model != model::K92 && model != model::F60;
}

bool printsTwoDimensionalCodes(std::int32_t model)
{
    switch (model) {
    case model::A14:
    case model::A14X:
    case model::A15:
    case model::G70:
    case model::A18:
    case model::D40:
        return true;
    default:
        return false;
    }
}

std::int32_t TranslateBarCode(const BarCodeContext& context, CommandEncoder& encoder, std::string_view data,
                              std::int32_t symbology, std::int32_t height, std::int32_t moduleWidth,
                              std::int32_t alignment, std::int32_t textPosition)
{
    EncodeLog* log = encoder.log();
    logDebug(log, "TranslateBarCode Begin");
    logData(log, data, symbology, height, moduleWidth, alignment, textPosition);
    encoder.clearCommands();

    const bool twoDimensionalModel = printsTwoDimensionalCodes(context.model);
    if (!isOneDimensional(symbology) && !(twoDimensionalModel && isTwoDimensional(symbology))) {
        if (twoDimensionalModel)
            logError(log, "TranslateBarCode %d:BarType1(%d)", 1, symbology);
        else
            logError(log, "TranslateBarCode %d:BarType2(%d)", 1, symbology);
        return kBarCodeBadSymbology;
    }
    if (!sizeAccepted(symbology, height, moduleWidth)) {
        logError(log, "TranslateBarCode %d:Height(%d) or width(%d)", 1, height, moduleWidth);
        return kBarCodeBadSize;
    }
    if (alignment < common::PTR_BC_RIGHT || alignment > common::PTR_BC_LEFT) {
        logError(log, "TranslateBarCode %d:Alignment", 1);
        return kBarCodeBadAlignment;
    }
    if (textPosition < common::PTR_BC_TEXT_BELOW || textPosition > common::PTR_BC_TEXT_NONE) {
        logError(log, "TranslateBarCode %d:HRI TextPosition", 1);
        return kBarCodeBadTextPosition;
    }

    const bool qrCode = symbology == common::PTR_BCS_QRCODE;
    if (data.empty() || (qrCode && qrSymbolVersion(data) == 0)) {
        logError(log, "TranslateBarCode %d:Data length(%d)", 1, static_cast<std::int32_t>(data.size()));
        return kBarCodeBadData;
    }
    std::string fixed;
    if (symbology == common::PTR_BCS_Codabar)
        fixed = withCodabarStartStop(data);
    else if (symbology == common::PTR_BCS_Code128)
        fixed = withCode128CodeSet(context.model, data);
    else
        fixed = std::string(data);
    // A longer length would wrap in GS k's length byte and the rest of the
    // data would reach the printer as commands.
    if (!qrCode && fixed.size() > kMaxBarCodeData) {
        logError(log, "TranslateBarCode %d:Data length(%d)", 1, static_cast<std::int32_t>(fixed.size()));
        return kBarCodeBadData;
    }

    if (context.pageMode) {
        const std::int32_t above = textPosition == common::PTR_BC_TEXT_ABOVE && !qrCode ? kCharLineHeight : 0;
        feedDots(encoder, std::max(0, above + height - kPageModeBarCodeOffset));
    }
    if (!encoder.lineTerminated()) encoder.PrintnLine(1);
    // The printers print no human-readable text under a QR code.
    if (!qrCode) encoder.SetHRI(-textPosition - 11, 0);
    encoder.SetAlign(-alignment - 1);
    const bool upsideDown = (context.rotationState == kRotation180 && context.barcodeRotation) ||
                            (context.rotateSpecial == common::PTR_RP_ROTATE180 && !context.pageMode);
    encoder.Inversion(upsideDown ? 1 : 0);
    const std::int32_t system = barCodeSystem(symbology);
    if (qrCode)
        encoder.SetQrCode(moduleWidth, kQrLevelM, fixed);
    else if (system >= 0)
        encoder.SetBarCode(moduleWidth, height, system, fixed);
    encoder.SetAlign(0);
    if (context.pageMode) {
        const std::uint8_t feed[] = {ESC, 0x4A, kPageModeTrailingFeed};
        encoder.appendCommands(feed);
    }
    if (upsideDown) encoder.Inversion(0);
    encoder.setLineTerminated(true);

    const std::int32_t count = encoder.fillCount();
    logDebug(log, "TranslateBarCode:%d", count);
    return count;
}

}  // namespace printer
