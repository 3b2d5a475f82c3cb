#include "BarcodeEncoder.h"

#include <zint.h>

#include <algorithm>
#include <memory>

namespace emulator {

namespace {

struct SymbolDeleter {
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

bool allDigits(std::string_view data) {
    return std::all_of(data.begin(), data.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool lengthIn(std::string_view data, std::size_t low, std::size_t high) {
    return data.size() >= low && data.size() <= high;
}

// Code 128 data as the printers take it: "{A", "{B" or "{C" choose the code
// set, "{{" is a brace, "{1" to "{4" and "{S" are function and shift codes,
// and in code set C every byte is a pair of digits. libzint picks its own
// code sets, so only the characters are passed on.
std::string code128Characters(std::string_view data) {
    std::string out;
    char set = 'B';
    for (std::size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '{' && i + 1 < data.size()) {
            const char next = data[++i];
            if (next == 'A' || next == 'B' || next == 'C') set = next;
            if (next == '{') out.push_back('{');
            continue;
        }
        if (set == 'C') {
            const auto pair = static_cast<unsigned char>(c);
            if (pair > 99) continue;
            out.push_back(static_cast<char>('0' + pair / 10));
            out.push_back(static_cast<char>('0' + pair % 10));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// What the printer accepts, before libzint is asked; empty when acceptable.
std::string checkData(BarcodeSystem system, std::string_view data) {
    switch (system) {
    case BarcodeSystem::UpcA:
        return allDigits(data) && lengthIn(data, 11, 12) ? "" : "UPC-A takes 11 or 12 digits";
    case BarcodeSystem::UpcE:
        return allDigits(data) && lengthIn(data, 6, 8) ? "" : "UPC-E takes 6 to 8 digits";
    case BarcodeSystem::Ean13:
        return allDigits(data) && lengthIn(data, 12, 13) ? "" : "EAN13 takes 12 or 13 digits";
    case BarcodeSystem::Ean8:
        return allDigits(data) && lengthIn(data, 7, 8) ? "" : "EAN8 takes 7 or 8 digits";
    case BarcodeSystem::Itf:
        return allDigits(data) && !data.empty() && data.size() % 2 == 0
                   ? ""
                   : "ITF takes an even number of digits";
    default:
        return data.empty() ? "no data" : "";
    }
}

int zintSymbology(BarcodeSystem system) {
    switch (system) {
    case BarcodeSystem::UpcA: return BARCODE_UPCA;
    case BarcodeSystem::UpcE: return BARCODE_UPCE;
    case BarcodeSystem::Ean13:
    case BarcodeSystem::Ean8: return BARCODE_EANX;
    case BarcodeSystem::Code39: return BARCODE_CODE39;
    case BarcodeSystem::Itf: return BARCODE_C25INTER;
    case BarcodeSystem::Codabar: return BARCODE_CODABAR;
    case BarcodeSystem::Code93: return BARCODE_CODE93;
    case BarcodeSystem::Code128: return BARCODE_CODE128;
    case BarcodeSystem::Pdf417: return BARCODE_PDF417;
    case BarcodeSystem::MaxiCode: return BARCODE_MAXICODE;
    case BarcodeSystem::QrCode: return BARCODE_QRCODE;
    }
    return BARCODE_CODE128;
}

std::string zintInput(BarcodeSystem system, std::string_view data) {
    if (system == BarcodeSystem::Code128) return code128Characters(data);
    if (system == BarcodeSystem::Code39) {
        // The printer adds the start and stop characters itself.
        if (data.size() >= 2 && data.front() == '*' && data.back() == '*') {
            data = data.substr(1, data.size() - 2);
        }
    }
    return std::string(data);
}

}  // namespace

std::optional<BarcodeSystem> barcodeSystemFor(std::uint8_t m) {
    // Function A numbers its systems 0-6, function B the same ones from 65
    // on, followed by Code 93 and Code 128; the two-dimensional codes sit at
    // 75 and 77.
    static constexpr BarcodeSystem kSystems[] = {
        BarcodeSystem::UpcA,   BarcodeSystem::UpcE, BarcodeSystem::Ean13,
        BarcodeSystem::Ean8,   BarcodeSystem::Code39, BarcodeSystem::Itf,
        BarcodeSystem::Codabar, BarcodeSystem::Code93, BarcodeSystem::Code128};
    if (m <= 6) return kSystems[m];
    if (m >= 65 && m <= 73) return kSystems[m - 65];
    if (m == 75) return BarcodeSystem::Pdf417;
    if (m == 77) return BarcodeSystem::MaxiCode;
    return std::nullopt;
}

std::string_view barcodeSystemName(BarcodeSystem system) {
    switch (system) {
    case BarcodeSystem::UpcA: return "UPC-A";
    case BarcodeSystem::UpcE: return "UPC-E";
    case BarcodeSystem::Ean13: return "EAN13";
    case BarcodeSystem::Ean8: return "EAN8";
    case BarcodeSystem::Code39: return "CODE39";
    case BarcodeSystem::Itf: return "ITF";
    case BarcodeSystem::Codabar: return "CODABAR";
    case BarcodeSystem::Code93: return "CODE93";
    case BarcodeSystem::Code128: return "CODE128";
    case BarcodeSystem::Pdf417: return "PDF417";
    case BarcodeSystem::MaxiCode: return "MAXICODE";
    case BarcodeSystem::QrCode: return "QR";
    }
    return "";
}

namespace {

// `option1` is libzint's first symbology option (0: its default); raw
// bytes are encoded as they are, not read as UTF-8.
EncodedSymbol encodeWithZint(BarcodeSystem system, std::string_view data, int option1, bool rawBytes) {
    EncodedSymbol result;
    result.problem = checkData(system, data);
    if (!result.problem.empty()) return result;

    const std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
    if (!symbol) {
        result.problem = "out of memory";
        return result;
    }
    symbol->symbology = zintSymbology(system);
    if (option1 != 0) symbol->option_1 = option1;
    if (rawBytes) symbol->input_mode = DATA_MODE;
    const std::string input = zintInput(system, data);
    const int status = ZBarcode_Encode(symbol.get(),
                                       reinterpret_cast<const unsigned char*>(input.data()),
                                       static_cast<int>(input.size()));
    if (status >= ZINT_ERROR || symbol->width <= 0 || symbol->rows <= 0) {
        result.problem = symbol->errtxt[0] != '\0' ? symbol->errtxt : "cannot be encoded";
        return result;
    }
    result.columns = symbol->width;
    result.rows = symbol->rows;
    result.twoDimensional = system == BarcodeSystem::Pdf417 || system == BarcodeSystem::MaxiCode ||
                            system == BarcodeSystem::QrCode;
    result.hexagonal = system == BarcodeSystem::MaxiCode;
    // PDF417 rows are three modules tall, as the printers draw them.
    result.rowModules = system == BarcodeSystem::Pdf417 ? 3 : 1;
    result.modules.resize(static_cast<std::size_t>(result.columns) * result.rows);
    for (int row = 0; row < result.rows; ++row) {
        for (int column = 0; column < result.columns; ++column) {
            const int bit = (symbol->encoded_data[row][column >> 3] >> (column & 7)) & 1;
            result.modules[static_cast<std::size_t>(row) * result.columns + column] =
                static_cast<std::uint8_t>(bit);
        }
    }
    if (!result.twoDimensional) result.hriText = reinterpret_cast<const char*>(symbol->text);
    return result;
}

}  // namespace

EncodedSymbol encodeBarcode(BarcodeSystem system, std::string_view data) {
    return encodeWithZint(system, data, 0, false);
}

EncodedSymbol encodeQrCode(std::string_view data, int level) {
    // libzint numbers the levels from 1.
    if (level < 0 || level > 3) {
        EncodedSymbol result;
        result.problem = "no such error correction level";
        return result;
    }
    return encodeWithZint(BarcodeSystem::QrCode, data, level + 1, true);
}

}  // namespace emulator
