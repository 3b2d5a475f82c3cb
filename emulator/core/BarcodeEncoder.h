#pragma once
// Turns the data of a GS k command, or a QR code's stored data, into the
// symbol's modules with libzint,
// the way the printer would draw it: the emulator scales modules to the
// module width and bar height the host set (GS w, GS h) itself.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emulator {

enum class BarcodeSystem : std::uint8_t {
    UpcA, UpcE, Ean13, Ean8, Code39, Itf, Codabar, Code93, Code128, Pdf417, MaxiCode, QrCode
};

// The system a GS k m selects: m 0-6 (data closed by NUL) or 65-77 (data
// counted); nothing for a system the printers do not have.
std::optional<BarcodeSystem> barcodeSystemFor(std::uint8_t m);
// The name the transcript uses: "UPC-A", "EAN13", "CODE39", "PDF417", "QR" ...
std::string_view barcodeSystemName(BarcodeSystem system);

struct EncodedSymbol {
    std::string problem;  // empty when the data could be encoded
    int columns = 0;
    int rows = 0;
    bool twoDimensional = false;
    bool hexagonal = false;
    int rowModules = 1;  // a 2-D row's height in module widths
    std::vector<std::uint8_t> modules;  // rows x columns, 1 = dark
    std::string hriText;                // human-readable text, UTF-8
};

EncodedSymbol encodeBarcode(BarcodeSystem system, std::string_view data);
// A QR code (model 2) of `data` taken as bytes, at error correction level
// `level` (0 L, 1 M, 2 Q, 3 H), in the smallest version that holds it.
EncodedSymbol encodeQrCode(std::string_view data, int level);

}  // namespace emulator
