// Fuzz target for the three escape sequence translators and CountChar: any
// print data, on any model and station, in line or page mode, split over
// two calls as applications print line by line. The translators must never
// leave their buffers, and every result must be whole: the command bytes
// counted, or a refusal with nothing to print.
//
// Input: model, flags (page mode, upside down, BinaryConversion-free
// settings), station, split point, what the stored bitmaps do, then the
// data.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "printer/ModelCatalogue.h"
#include "printer/encode/EscapeTranslator.h"

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

void requireWhole(printer::EscapeTranslator& translator, std::int32_t result)
{
    const auto commands = translator.commands();
    if (result < 0) {
        require(result == -1, "a refusal is -1");
        require(commands.empty(), "a refusal leaves nothing to print");
        return;
    }
    require(static_cast<std::size_t>(result) == commands.size(), "the result counts the commands");
    require(commands.size() <= printer::kCommandBufferSize, "within the command buffer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kHeader = 6;
    if (size < kHeader) return 0;
    const auto models = printer::detectionOrder();
    const auto& entry = models[data[0] % models.size()];
    printer::TranslatorSettings settings;
    settings.model = entry.number;
    settings.subType = entry.subType;
    settings.charWidth = entry.values.charWidth;
    settings.recLineChars = (data[1] & 0x01) != 0 ? 40 : 42;
    settings.jrnLineChars = (data[1] & 0x02) != 0 ? 40 : 0;
    settings.slpLineChars = (data[1] & 0x04) != 0 ? 91 : 68;
    settings.rotate180 = (data[1] & 0x08) != 0;
    settings.asianCharMode = (data[1] & 0x10) != 0;
    settings.mapMode = 1 + (data[1] >> 5) % 4;
    static constexpr std::int32_t kStations[] = {1, 2, 3, 4, 0x8003};
    const std::int32_t station = kStations[data[2] % 5];
    const std::uint8_t bitmaps = data[4];

    printer::EscapeTranslator translator;
    translator.setSettings(settings);
    printer::CommandEncoder& encoder = translator.encoder();
    encoder.setPageMode((data[1] & 0x80) != 0);
    // Stored bitmaps: some fail, the others append a band of their number's
    // size, large ones filling much of the buffer.
    encoder.setBitmapToCommands([bitmaps](printer::CommandEncoder& e, const std::string&, std::int32_t number,
                                          std::int32_t, std::int32_t* width) -> std::int32_t {
        if (((bitmaps >> (number % 8)) & 1) != 0) return -1;
        const std::vector<std::uint8_t> band(static_cast<std::size_t>(number) * 1500, 0xAA);
        if (e.appendCommands(band) != 0) return -1;
        *width = number * 8;
        return e.fillCount();
    });

    const std::span<const std::uint8_t> text(data + kHeader, size - kHeader);
    const std::size_t split = text.empty() ? 0 : data[3] % (text.size() + 1);
    requireWhole(translator, translator.translate(station, text.first(split)));
    requireWhole(translator, translator.translate(station, text.subspan(split)));
    const std::int32_t fit = translator.CountChar(text);
    require(fit >= -1, "CountChar answers a count or -1");
    return 0;
}
