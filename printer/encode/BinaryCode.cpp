#include "printer/encode/BinaryCode.h"

#include "common/OposConstants.h"
#include "printer/encode/CommandEncoder.h"

namespace printer {

std::int32_t TranslateBinaryCode(std::int32_t conversion, std::uint8_t* data, std::int32_t length)
{
    if (data == nullptr || length <= 0) return length;
    if (conversion == common::OPOS_BC_NIBBLE) {
        if (length % 2 != 0) return length;
        for (std::int32_t i = 0; i < length / 2; ++i) {
            const std::int32_t c1 = data[2 * i], c2 = data[2 * i + 1];
            data[i] = static_cast<std::uint8_t>((c1 * 16 + c2 - 0x30) & 0xFF);
        }
        return length / 2;
    }
    if (conversion == common::OPOS_BC_DECIMAL) {
        if (length % 3 != 0) return length;
        for (std::int32_t i = 0; i < length / 3; ++i) {
            const std::int32_t c1 = data[3 * i], c2 = data[3 * i + 1], c3 = data[3 * i + 2];
            data[i] = static_cast<std::uint8_t>((100 * (c1 - 0x30) + 10 * (c2 - 0x30) + (c3 - 0x30)) & 0xFF);
        }
        return length / 3;
    }
    return length;
}

void SetLinParInDot2(EncodeLog* log, std::int32_t* dots, std::int32_t mapMode, std::int32_t value)
{
    std::int32_t result = value;
    switch (mapMode) {
    case common::PTR_MM_TWIPS:
        result = static_cast<std::int32_t>(static_cast<std::int64_t>(value) * 180 / 1440);
        break;
    case common::PTR_MM_ENGLISH:
        result = static_cast<std::int32_t>(value * 0.001 * 180);
        break;
    case common::PTR_MM_METRIC:
        result = static_cast<std::int32_t>(value * 0.01 * 7);
        break;
    default:
        break;
    }
    logDebug(log, "SetLinParInDot2(0x%02x,%d,%d):ok", static_cast<unsigned>(mapMode), value, result);
    if (dots != nullptr) *dots = result;
    logDebug(log, "SetLinParInDot2 ok");
}

}  // namespace printer
