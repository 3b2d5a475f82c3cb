// Fuzz target for the barcode encoder: any PrintBarCode arguments, in any
// printer state, on any model. The encoder must never read or write out of
// bounds, and what it hands to PrintJob must be whole: either a refusal
// with nothing to print, or commands whose GS k (GS ( k for a QR code)
// announces exactly the data that follows it.
//
// Input: model, state flags, MapMode, symbology (2 bytes), height and width
// (4 bytes each), alignment, text position, then the barcode data.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"
#include "printer/encode/BarCodeEncoder.h"

namespace {

void require(bool condition)
{
    if (!condition) std::abort();
}

std::int32_t int32At(const std::uint8_t* p)
{
    std::uint32_t value = 0;
    std::memcpy(&value, p, sizeof value);
    return static_cast<std::int32_t>(value);
}

// GS w n GS h n GS k m n d1..dn, and every GS ( k pL pH of a QR code with
// its parameters, must end inside the commands.
void requireWholeBarCode(std::span<const std::uint8_t> commands)
{
    for (std::size_t i = 0; i + 1 < commands.size(); ++i) {
        if (i + 2 < commands.size() && commands[i] == 0x1D && commands[i + 1] == 0x28 && commands[i + 2] == 0x6B) {
            require(i + 5 <= commands.size());
            const std::size_t length = commands[i + 3] | (commands[i + 4] << 8);
            require(i + 5 + length <= commands.size());
            i += 4 + length;
        } else if (commands[i] == 0x1D && commands[i + 1] == 0x6B) {
            require(i + 4 <= commands.size());
            require(i + 4 + commands[i + 3] <= commands.size());
            i += 3 + commands[i + 3];
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kHeader = 15;
    if (size < kHeader) return 0;
    const auto models = printer::detectionOrder();

    printer::BarCodeContext context;
    context.model = data[0] < models.size() ? models[data[0]].number : data[0];
    context.dpi = (data[1] & 0x01) != 0 ? 203 : 180;
    context.pageMode = (data[1] & 0x02) != 0;
    context.barcodeRotation = (data[1] & 0x04) != 0;
    context.rotationState = printer::kRotationNormal + ((data[1] >> 3) & 0x03);
    static constexpr std::int32_t kRotateSpecial[] = {common::PTR_RP_NORMAL, common::PTR_RP_RIGHT90,
                                                      common::PTR_RP_LEFT90, common::PTR_RP_ROTATE180};
    context.rotateSpecial = kRotateSpecial[(data[1] >> 5) & 0x03];
    const bool lineTerminated = (data[1] & 0x80) != 0;
    context.mapMode = data[2] % 6;

    printer::BarCodeRequest request;
    request.symbology = 95 + (data[3] | (data[4] << 8)) % 120;  // mostly around the accepted values
    request.height = int32At(data + 5);
    request.width = int32At(data + 9);
    request.alignment = -static_cast<std::int32_t>(data[13] % 5);
    request.textPosition = -9 - static_cast<std::int32_t>(data[14] % 6);
    request.data = std::string_view(reinterpret_cast<const char*>(data + kHeader), size - kHeader);

    // The sizing helpers on their own, with raw values.
    std::int32_t dots = 0;
    printer::SetLinParInDot(nullptr, &dots, context.mapMode, request.width, context.dpi);
    printer::GetCodeBarUnitLen(nullptr, request.symbology, request.height, request.width);

    printer::CommandEncoder encoder;
    encoder.setLineTerminated(lineTerminated);
    printer::LineMetrics metrics;
    std::int32_t jobMode = -1;
    const std::int32_t result = printer::DoPrintBarCode(context, request, encoder, metrics, &jobMode);

    require(!encoder.overflowed());
    if (result <= 0) {
        require(result == -1);
        require(jobMode == -1);
        require(encoder.fillCount() == 0);
        require(encoder.lineTerminated() == lineTerminated);
        return 0;
    }
    require(result == encoder.fillCount());
    require(jobMode == printer::job_mode::NORMAL || jobMode == printer::job_mode::IMMEDIATE);
    require(encoder.lineTerminated());
    requireWholeBarCode(encoder.commands());
    return 0;
}
