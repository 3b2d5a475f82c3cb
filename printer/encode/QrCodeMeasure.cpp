// Sizing a QR code: the version its data needs at level M, and the module
// size that makes the symbol as wide as asked.
#include <algorithm>
#include <array>
#include <string_view>

#include "printer/encode/BarCodeEncoder.h"

namespace printer {

namespace {

// Data codewords of versions 1-40 at error correction level M.
constexpr std::array<std::int32_t, 40> kDataCodewordsM = {
    16,   28,   44,   64,   86,   108,  124,  154,  182,  216,  254,  290,  334,  365,
    415,  453,  507,  563,  627,  669,  714,  782,  860,  914,  1000, 1062, 1128, 1193,
    1267, 1373, 1455, 1541, 1631, 1725, 1812, 1914, 1992, 2102, 2216, 2334};

enum class QrMode { Numeric, Alphanumeric, Byte };

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isAlphanumeric(char c)
{
    constexpr std::string_view kSymbols = " $%*+-./:";
    return isDigit(c) || (c >= 'A' && c <= 'Z') || kSymbols.find(c) != std::string_view::npos;
}

QrMode modeFor(std::string_view data)
{
    if (std::all_of(data.begin(), data.end(), isDigit)) return QrMode::Numeric;
    if (std::all_of(data.begin(), data.end(), isAlphanumeric)) return QrMode::Alphanumeric;
    return QrMode::Byte;
}

// The character count indicator grows with the version, in three steps.
std::int64_t countBits(QrMode mode, std::int32_t version)
{
    const int step = version <= 9 ? 0 : version <= 26 ? 1 : 2;
    switch (mode) {
    case QrMode::Numeric: return std::array{10, 12, 14}[step];
    case QrMode::Alphanumeric: return std::array{9, 11, 13}[step];
    case QrMode::Byte: return std::array{8, 16, 16}[step];
    }
    return 16;
}

std::int64_t dataBits(QrMode mode, std::int64_t n)
{
    switch (mode) {
    case QrMode::Numeric: return 10 * (n / 3) + std::array{0, 4, 7}[n % 3];
    case QrMode::Alphanumeric: return 11 * (n / 2) + 6 * (n % 2);
    case QrMode::Byte: return 8 * n;
    }
    return 8 * n;
}

}  // namespace

std::int32_t qrSymbolVersion(std::string_view data)
{
    if (data.empty()) return 0;
    const QrMode mode = modeFor(data);
    const auto n = static_cast<std::int64_t>(data.size());
    constexpr std::int64_t kModeIndicatorBits = 4;
    for (std::int32_t version = 1; version <= 40; ++version) {
        const std::int64_t bits = kModeIndicatorBits + countBits(mode, version) + dataBits(mode, n);
        if (bits <= 8 * static_cast<std::int64_t>(kDataCodewordsM[static_cast<std::size_t>(version - 1)]))
            return version;
    }
    return 0;
}

std::int32_t GetQrModuleSize(EncodeLog* log, std::string_view data, std::int32_t widthDots)
{
    const std::int32_t version = qrSymbolVersion(data);
    logDebug(log, "GetQrModuleSize(%d,%d,%d)", static_cast<std::int32_t>(data.size()), version, widthDots);
    const std::int32_t fitting = version > 0 ? widthDots / qrSymbolModules(version) : kQrMinModuleSize;
    const std::int32_t size = std::clamp(fitting, kQrMinModuleSize, kQrMaxModuleSize);
    logDebug(log, "GetQrModuleSize:%d%s", size, "");
    return size;
}

}  // namespace printer
