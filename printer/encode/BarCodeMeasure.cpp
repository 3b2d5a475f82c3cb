// Sizing a barcode: MapMode distances to dots, and the module width that
// makes the requested number of symbols fill the requested width.
#include <cmath>
#include <limits>

#include "printer/encode/BarCodeEncoder.h"

namespace printer {

namespace {

constexpr double kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr double kInt32Max = std::numeric_limits<std::int32_t>::max();

// Application values reach here unchecked; a cast of an out-of-range double
// would be undefined, so the result saturates instead.
std::int32_t truncated(double value)
{
    if (std::isnan(value)) return 0;
    if (value <= kInt32Min) return std::numeric_limits<std::int32_t>::min();
    if (value >= kInt32Max) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

std::int32_t saturated(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

// w / d with d > 0 required; 0 otherwise (only a negative count gets there).
std::int32_t divided(std::int64_t w, std::int64_t d) { return d > 0 ? saturated(w / d) : 0; }
std::int32_t divided(double w, double d) { return d > 0 ? truncated(w / d) : 0; }

std::int32_t moduleWidth(std::int32_t symbology, std::int64_t c, std::int64_t w)
{
    switch (symbology) {
    case common::PTR_BCS_UPCA:
    case common::PTR_BCS_EAN13:
        return divided(w, std::int64_t{113});
    case common::PTR_BCS_UPCE:
        return divided(w, std::int64_t{51});
    case common::PTR_BCS_EAN8:
        return divided(w, std::int64_t{81});
    case common::PTR_BCS_TF:
        return divided(w - 10 * c, 8 * c + 12);
    case common::PTR_BCS_ITF:
        return divided(static_cast<double>(w), 8.0 * static_cast<double>(c) + 8.5);
    case common::PTR_BCS_Codabar:
        return divided(static_cast<double>(w), 10.0 * static_cast<double>(c) + 23);
    case common::PTR_BCS_Code39:
        return divided(static_cast<double>(w), 13.5 * static_cast<double>(c) + 27);
    case common::PTR_BCS_Code93:
        return divided(w, 9 * (c + 2) + 1);
    case common::PTR_BCS_Code128:
        return divided(w, 11 * (c + 2) + 2);
    default:
        return 2;
    }
}

}  // namespace

void SetLinParInDot(EncodeLog* log, std::int32_t* dots, std::int32_t mapMode, std::int32_t value, std::int32_t dpi)
{
    std::int32_t result = value;
    switch (mapMode) {
    case common::PTR_MM_TWIPS:
        result = saturated(static_cast<std::int64_t>(value) * dpi / 1440);
        break;
    case common::PTR_MM_ENGLISH:
        result = truncated(value * 0.001 * dpi);
        break;
    case common::PTR_MM_METRIC:
        result = truncated(value * 0.01 * 7);
        break;
    default:
        break;
    }
    if (dots != nullptr) *dots = result;
    logDebug(log, "SetLinParInDot(%d,%d,%d) ok%s", mapMode, value, result, "");
}

std::int32_t countBarCodeChars(std::int32_t symbology, std::string_view data)
{
    auto count = static_cast<std::int64_t>(data.size());
    if (symbology != common::PTR_BCS_Code128) return saturated(count);
    bool codeSetC = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(data[i]);
        if (b == '{') {
            --count;
            codeSetC = false;
            if (i + 1 < data.size() && data[i + 1] == 'C') {
                codeSetC = true;
                ++i;
            }
        } else if (codeSetC && b > 0x09) {
            ++count;
        }
    }
    return saturated(count);
}

std::int32_t GetCodeBarUnitLen(EncodeLog* log, std::int32_t symbology, std::int32_t count, std::int32_t width)
{
    logDebug(log, "GetCodeBarUnitLen(%d,%d,%d)", symbology, count, width);
    const std::int32_t module = moduleWidth(symbology, count, width);
    logDebug(log, "GetCodeBarUnitLen:%d%s", module, "");
    return module;
}

}  // namespace printer
