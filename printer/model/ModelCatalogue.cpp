#include "printer/ModelCatalogue.h"

#include <array>

namespace printer {

namespace {

constexpr std::int32_t K = kKeep;

// dpi, width, char, protocol, line width, chars, height, spacing, to cut,
// sideways chars, sideways lines.
constexpr ReceiptValues kWide180{180, 640, 12, 4, 512, 42, 24, 30, 3, 69, 17};
constexpr ReceiptValues kWide180Sideways115{180, 640, 12, 4, 512, 42, 24, 30, 3, 115, 15};
constexpr ReceiptValues kWide203Sideways115{203, 640, 12, 4, 512, 42, 24, 30, 3, 115, 15};
constexpr ReceiptValues kWide203{203, 640, 12, 4, 512, 42, 24, 30, 3, 69, 17};

constexpr std::array<ModelEntry, 24> kCatalogue{{
    {"H81", model::H81, 0, "RX-H81", kWide180},
    {"G72", model::G72, 0, "RX-G72", kWide180},
    {"G71", model::G71, 0, "RX-G71", kWide180},
    {"G70", model::G70, 0, "RX-G70", kWide180Sideways115},
    {"A18", model::A18, 0, "RX-A18", kWide180Sideways115},
    {"A17", model::A17, 0, "RX-A17", kWide203Sideways115},
    {"K92", model::K92, 0, "RX-K92", {K, K, K, 2, 400, 33, 24, 30, 6, 0, 0}},
    {"K91", model::K91, 0, "RX-K91", {K, K, K, 4, 400, 33, 24, 30, 6, 0, 0}},
    {"K90", model::K90, 0, "RX-K90", {K, K, K, 2, 400, 33, 24, 30, 6, 0, 0}},
    {"A16", model::A16, 0, "RX-A16", {K, K, K, 4, 512, 42, 24, 30, 3, 69, 17}},
    {"B21", model::B21, 0, "RT-B21", {K, K, K, 2, 448, 37, 24, 30, 3, 60, 14}},
    {"H80", model::H80, 0, "RX-H80", {K, K, K, 2, 448, 37, 24, 30, 3, 60, 14}},
    {"K93", model::K92, model::K93SubType, "RX-K93", {K, K, K, 2, 420, 33, 24, 30, 6, 0, 0}},
    {"RK-E50", model::E50, 0, "RK-E50", {203, 640, 12, 2, 640, 53, 24, 30, 3, 69, 17}},
    {"A14X", model::A14X, 0, "RX-A14X", kWide203Sideways115},
    {"D40", model::D40, 0, "RX-D40", kWide203Sideways115},
    {"A14", model::A14, 0, "RX-A14", kWide203},
    {"A15", model::A15, 0, "RX-A15", kWide203},
    {"C31", model::C31, 0, "RX-C31", {203, 832, 12, 4, 512, 42, 24, 30, 3, 69, 17}},
    {"F60", model::F60, 0, "RX-F60", {203, 832, 9, 4, 360, 30, 17, 30, 6, 0, 0}},
    {"C30", model::C30, 0, "RX-C30", kWide203},
    {"A12", model::A12, 0, "RX-A12", kWide180},
    {"B20", model::B20, 0, "RT-B20", {203, 384, 13, 4, 377, 27, 24, 34, 0, 65, 7}},
    {"A10X", model::A10X, 0, "RX-A10X", {203, 640, 12, 2, 448, 37, 24, 30, 3, 60, 14}},
}};

void keepOr(std::int32_t value, std::int32_t* target) {
    if (value != kKeep) {
        *target = value;
    }
}

}  // namespace

std::span<const ModelEntry> detectionOrder() { return kCatalogue; }

const ModelEntry* detectModel(std::string_view deviceName) {
    for (const ModelEntry& entry : kCatalogue) {
        if (deviceName.find(entry.text) != std::string_view::npos) {
            return &entry;
        }
    }
    return nullptr;
}

void loadModelSettings(std::string_view deviceName, OpenEntry entry, ModelSettings* settings) {
    const ModelEntry* found = detectModel(deviceName);
    if (found == nullptr) {
        settings->protocol = 4;
        return;
    }
    ReceiptValues values = found->values;
    if (entry == OpenEntry::Open) {
        if (found->number == model::A17) {
            values.dpi = 180;
        }
        switch (found->number) {
        case model::G70:
        case model::A18:
        case model::A17:
        case model::A14X:
        case model::D40:
            values.sidewaysMaxChars = 69;
            values.sidewaysMaxLines = 17;
            break;
        default:
            break;
        }
    }
    settings->number = found->number;
    settings->subType = found->subType;
    settings->deviceName = std::string(found->deviceName);
    keepOr(values.dpi, &settings->dpi);
    keepOr(values.printWidth, &settings->printWidth);
    keepOr(values.charWidth, &settings->charWidth);
    settings->protocol = values.protocol;
    settings->recLineWidth = values.lineWidth;
    settings->recLineChars = values.lineChars;
    settings->recLineHeight = values.lineHeight;
    settings->recLineSpacing = values.lineSpacing;
    settings->recLinesToPaperCut = values.linesToPaperCut;
    settings->recSidewaysMaxChars = values.sidewaysMaxChars;
    settings->recSidewaysMaxLines = values.sidewaysMaxLines;
    if (found->number == model::F60) {
        settings->jrnLineChars = 30;
        settings->jrnLineHeight = 17;
        settings->jrnLineSpacing = 30;
        settings->jrnLineWidth = 360;
        settings->slpLineChars = entry == OpenEntry::Open ? 68 : 66;
        settings->slpLineHeight = 17;
        settings->slpLineSpacing = 30;
        settings->slpLineWidth = 820;
    }
}

}  // namespace printer
