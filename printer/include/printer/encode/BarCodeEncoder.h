#pragma once
// The barcode encoder: PrintBarCode's arguments (symbology, height and
// width in MapMode units, alignment, HRI text position) in, the printers'
// barcode commands out, fitted into rotated and page-mode printing. Pure
// code, no I/O: the bytes land in a CommandEncoder, the diagnostic lines
// in its log.
//
// What PrintBarCode itself keeps: its begin and result log lines, the
// model refusal (printsBarCodes, before the state check), CheckSOStatus(3),
// the receipt-station check, the data's conversion to narrow characters
// with TranslateBinaryCode (106 for an empty result), then DoPrintBarCode
// (111 for a result of 0 or less) and PrintJob with the job mode
// DoPrintBarCode chose.
//
// Not thread-safe: used under the service object's print lock, like the
// encoder it writes to.
#include <cstdint>
#include <string_view>

#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"
#include "printer/TransactionBuffer.h"
#include "printer/encode/CommandEncoder.h"
#include "printer/encode/EncodeLog.h"
#include "printer/encode/LineMetrics.h"

namespace printer {

// The printer state a barcode is fitted into. The line-terminated flag is
// the encoder's own (the translators keep it there).
struct BarCodeContext {
    std::int32_t model = model::None;
    std::int32_t dpi = 180;  // the model's resolution
    std::int32_t mapMode = common::PTR_MM_DOTS;
    std::int32_t rotateSpecial = common::PTR_RP_NORMAL;
    std::int32_t rotationState = kRotationNormal;  // kRotationNormal, kRotation90, kRotation180
    bool pageMode = false;                         // a page-mode block is being collected
    bool barcodeRotation = false;                  // RotatePrint asked for rotated barcodes
};

// PrintBarCode's arguments after the data was made narrow and
// BinaryConversion was undone.
struct BarCodeRequest {
    std::string_view data;
    std::int32_t symbology = 0;
    std::int32_t height = 0;  // MapMode units
    std::int32_t width = 0;   // MapMode units: the barcode's total width
    std::int32_t alignment = common::PTR_BC_LEFT;
    std::int32_t textPosition = common::PTR_BC_TEXT_NONE;
};

// TranslateBarCode's refusals. Nothing is left in the command buffer.
inline constexpr std::int32_t kBarCodeBadSymbology = -1;
inline constexpr std::int32_t kBarCodeBadSize = -2;  // height or module width
inline constexpr std::int32_t kBarCodeBadAlignment = -3;
inline constexpr std::int32_t kBarCodeBadTextPosition = -4;
// The data is empty, or longer after the Codabar and Code 128 fixes than
// the one length byte of GS k can announce.
inline constexpr std::int32_t kBarCodeBadData = -5;

// False on the models whose firmware has no barcode command (K90, K91, K92,
// K93, F60): PrintBarCode answers 111 without validating anything.
bool printsBarCodes(std::int32_t model);

// Whether PDF417 (201), MaxiCode (202) and QR Code (204) are accepted on
// `model`.
bool printsTwoDimensionalCodes(std::int32_t model);

// Whether `model` has a barcode command for `symbology`: the nine linear
// symbologies with a GS k system on every model that prints barcodes,
// the two-dimensional codes where printsTwoDimensionalCodes says so, nothing
// else (the printers have no system for standard 2 of 5, the UPC-D and
// supplement variants, EAN-128 or OCR).
bool printsSymbology(std::int32_t model, std::int32_t symbology);

// Whether `data` is valid for `symbology`: its character set, its length
// rules, and the check digit where the symbology carries one and the data
// gives it. PrintBarCode refuses anything else with OPOS_E_ILLEGAL before a
// byte is sent.
bool validBarCodeData(std::int32_t symbology, std::string_view data);

// QR codes are printed at error correction level M (about 15 % of the
// symbol may be lost), the usual choice for receipts: the symbol stays small
// and survives a smudge or a fold.
inline constexpr std::int32_t kQrLevelM = 1;
// The module sizes the printers' QR command takes, in dots.
inline constexpr std::int32_t kQrMinModuleSize = 1;
inline constexpr std::int32_t kQrMaxModuleSize = 16;

// The smallest QR version (1-40) that holds `data` at level M, sized for the
// one encoding mode that covers all of it (numeric, alphanumeric or bytes);
// 0 when the data is empty or beyond version 40's capacity. The printer may
// pack mixed data into a smaller symbol, never a larger one.
std::int32_t qrSymbolVersion(std::string_view data);

// The QR symbol's side in modules, quiet zone excluded.
constexpr std::int32_t qrSymbolModules(std::int32_t version) { return 17 + 4 * version; }

// The module size, in dots, at which `data`'s QR symbol is at most
// `widthDots` wide, within kQrMinModuleSize-kQrMaxModuleSize; the smallest
// size when the width is too narrow or the data too long for a symbol.
std::int32_t GetQrModuleSize(EncodeLog* log, std::string_view data, std::int32_t widthDots);

// A distance in MapMode units to dots at `dpi`: dots unchanged, twips
// value x dpi / 1440, 0.001 inch value x 0.001 x dpi (truncated), 0.01 mm
// at a nominal 7 dots per millimetre whatever the resolution (truncated);
// any other MapMode leaves the value as it is. Results beyond the 32-bit
// range are clamped to it.
void SetLinParInDot(EncodeLog* log, std::int32_t* dots, std::int32_t mapMode, std::int32_t value, std::int32_t dpi);

// The symbol count the module width is sized for: the data length, except
// for Code 128, where code-set switches ('{' and the letter after it) are
// not symbols of their own and code-set-C data counts extra.
std::int32_t countBarCodeChars(std::int32_t symbology, std::string_view data);

// The module width, in dots, at which `count` symbols of `symbology` fill
// `width` dots; 2 for a symbology without a rule. May be 0 or negative for
// a width too narrow; the caller clamps. Never divides by zero.
std::int32_t GetCodeBarUnitLen(EncodeLog* log, std::int32_t symbology, std::int32_t count, std::int32_t width);

// Clears the encoder's command buffer and fills it with one barcode:
// optional page-mode feed, pending line end, HRI position, alignment,
// upside-down, GS k and the resets. `height` is in dots (1-255),
// `moduleWidth` in dots (1-6). A QR code has no HRI: `height` is its side in
// dots (at least 1, it only sizes page-mode feeds) and `moduleWidth` its
// module size (kQrMinModuleSize-kQrMaxModuleSize). Returns the command byte count, or one of the
// refusals above. Sets the encoder's line-terminated flag on success.
std::int32_t TranslateBarCode(const BarCodeContext& context, CommandEncoder& encoder, std::string_view data,
                              std::int32_t symbology, std::int32_t height, std::int32_t moduleWidth,
                              std::int32_t alignment, std::int32_t textPosition);

// Converts the request's sizes to dots, derives the module width (2-6; for
// a QR code the module size that fits the width, and the requested height
// is not used: the symbol is square),
// translates the barcode and fits it into the printer's rotation: a
// rotated-90 request outside page mode becomes its own page-mode block;
// inside a page-mode block that rotates barcodes the barcode joins the
// block and grows `metrics` (its widest line and total height); inside one
// that does not it is printed at once.
//
// Returns the command byte count (the bytes are encoder.commands()) and
// sets *jobMode to job_mode::NORMAL or job_mode::IMMEDIATE, PrintJob's mode
// for them; -1 when the request was refused (nothing to print, *jobMode
// untouched).
std::int32_t DoPrintBarCode(const BarCodeContext& context, const BarCodeRequest& request, CommandEncoder& encoder,
                            LineMetrics& metrics, std::int32_t* jobMode);

}  // namespace printer
