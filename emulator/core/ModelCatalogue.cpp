#include "emulator/ModelCatalogue.h"

#include <algorithm>

namespace emulator {

namespace {

// The catalogue leaves resolution and width open for the narrow K9x models,
// the A16, B21 and H80; they keep what the service object starts with
// (180 dpi, 640 dots), except the narrow models, whose paper is as wide as
// their longest line (400 dots, 420 for the K93). The F60 prints its receipt
// and journal on 360-dot rolls beside an 832-dot slip.
constexpr int kNarrow = 400;
constexpr std::array<int, kStationCount> receiptOnly(int width) { return {0, width, 0}; }

constexpr ModelInfo kModels[] = {
    {"H81", "RX-H81", "H81", 1, 180, 640, StatusLayout::General, receiptOnly(640)},
    {"G72", "RX-G72", "G72", 4, 180, 640, StatusLayout::General, receiptOnly(640)},
    {"G71", "RX-G71", "G71", 18, 180, 640, StatusLayout::General, receiptOnly(640)},
    {"G70", "RX-G70", "G70", 21, 180, 640, StatusLayout::General, receiptOnly(640)},
    {"A18", "RX-A18", "A18", 29, 180, 640, StatusLayout::General, receiptOnly(640)},
    {"A17", "RX-A17", "A17", 24, 203, 640, StatusLayout::General, receiptOnly(640)},
    {"K92", "RX-K92", "K92", 3, 180, kNarrow, StatusLayout::General, receiptOnly(kNarrow)},
    {"K91", "RX-K91", "K91", 8, 180, kNarrow, StatusLayout::General, receiptOnly(kNarrow)},
    {"K90", "RX-K90", "K90", 12, 180, kNarrow, StatusLayout::General, receiptOnly(kNarrow)},
    {"A16", "RX-A16", "A16", 2, 180, 640, StatusLayout::General, receiptOnly(640)},
    {"B21", "RT-B21", "B21", 5, 180, 640, StatusLayout::General, receiptOnly(640)},
    {"H80", "RX-H80", "H80", 11, 180, 640, StatusLayout::General, receiptOnly(640)},
    {"K93", "RX-K93", "K93", 3, 180, 420, StatusLayout::General, receiptOnly(420)},
    {"E50", "RK-E50", "RK-E50", 7, 203, 640, StatusLayout::E50, receiptOnly(640)},
    {"A14X", "RX-A14X", "A14X", 23, 203, 640, StatusLayout::General, receiptOnly(640)},
    {"D40", "RX-D40", "D40", 30, 203, 640, StatusLayout::General, receiptOnly(640)},
    {"A14", "RX-A14", "A14", 9, 203, 640, StatusLayout::General, receiptOnly(640)},
    {"A15", "RX-A15", "A15", 25, 203, 640, StatusLayout::General, receiptOnly(640)},
    {"C31", "RX-C31", "C31", 19, 203, 832, StatusLayout::General, receiptOnly(832)},
    {"F60", "RX-F60", "F60", 20, 203, 832, StatusLayout::F60, {360, 360, 832}},
    {"C30", "RX-C30", "C30", 10, 203, 640, StatusLayout::General, receiptOnly(640)},
    {"A12", "RX-A12", "A12", 17, 180, 640, StatusLayout::General, receiptOnly(640)},
    {"B20", "RT-B20", "B20", 27, 203, 384, StatusLayout::B20, receiptOnly(384)},
    {"A10X", "RX-A10X", "A10X", 28, 203, 640, StatusLayout::General, receiptOnly(640)},
};

}  // namespace

std::span<const ModelInfo> modelCatalogue() { return kModels; }

const ModelInfo* findModel(std::string_view code) {
    const auto* found = std::find_if(std::begin(kModels), std::end(kModels),
                                     [code](const ModelInfo& model) { return model.code == code; });
    return found == std::end(kModels) ? nullptr : found;
}

const ModelInfo* detectModel(std::string_view deviceName) {
    const auto* found =
        std::find_if(std::begin(kModels), std::end(kModels), [deviceName](const ModelInfo& model) {
            return deviceName.find(model.searchText) != std::string_view::npos;
        });
    return found == std::end(kModels) ? nullptr : found;
}

}  // namespace emulator
