#pragma once
// The printer models of the family: resolution, paper width, status layout
// and stations. Every other part of the emulator asks here instead of
// testing model codes itself.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "emulator/StatusLayout.h"

namespace emulator {

enum class Station : std::uint8_t { Journal = 0, Receipt = 1, Slip = 2 };
inline constexpr std::size_t kStationCount = 3;

struct ModelInfo {
    std::string_view code;        // as found in device names: "H81", "A14X", "E50"
    std::string_view deviceName;  // the name the service object reports: "RX-H81", "RK-E50"
    std::string_view searchText;  // what marks a device name as this model (the E50's is "RK-E50")
    int modelNumber;              // the service object's number for the model
    int dpi;
    int printWidthDots;
    StatusLayout statusLayout;
    // Printable width of each station's paper in dots; 0 for a station the
    // model does not have. Every model has a receipt station.
    std::array<int, kStationCount> stationWidthDots;

    bool hasStation(Station station) const {
        return stationWidthDots[static_cast<std::size_t>(station)] > 0;
    }
    int stationWidth(Station station) const {
        return stationWidthDots[static_cast<std::size_t>(station)];
    }
    bool hasSeveralStations() const {
        return hasStation(Station::Journal) || hasStation(Station::Slip);
    }
};

// Every model, in the order the service object searches device names.
std::span<const ModelInfo> modelCatalogue();

// The model with exactly this code ("K93", "A14X", "E50"); null if none.
const ModelInfo* findModel(std::string_view code);

// The model a device name stands for, found the way the service object
// finds it: the first code of the search order that occurs in the name
// ("RX-A14XX_2" is the A14X, a name with both "K92" and "K93" the K92).
// Null when no code occurs.
const ModelInfo* detectModel(std::string_view deviceName);

}  // namespace emulator
