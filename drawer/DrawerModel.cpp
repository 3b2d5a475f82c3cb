#include "drawer/DrawerModel.h"

#include <utility>

namespace drawer {

namespace {

// Longer codes come before the codes they contain (A14XX before A14X before
// A14), so the first match is the most specific one.
constexpr std::pair<std::string_view, int> kModelValues[] = {
    {"H81", 4},   {"G72", 4},  {"G71", 4}, {"G70", 4}, {"A18", 4}, {"A17", 4}, {"K92", 2}, {"K91", 4},
    {"K90", 2},   {"A16", 4},  {"B21", 2}, {"H80", 2}, {"K93", 2}, {"E50", 2}, {"A14XX", 4}, {"A14X", 4},
    {"A14", 4},   {"A15", 4},  {"C30", 4}, {"A12", 4}, {"A11", 4}, {"C31", 4}, {"F60", 4}, {"B20", 4},
    {"A10X", 2},
};

}  // namespace

int drawerModelValue(std::string_view deviceName) {
    for (const auto& [code, value] : kModelValues) {
        if (deviceName.find(code) != std::string_view::npos) {
            return value;
        }
    }
    return 4;
}

PulseCommand pulseCommand(DWORD pinSingle) {
    return {0x10, 0x14, 0x01, static_cast<std::uint8_t>(pinSingle != 0 ? 1 : 0), 0x05};
}

bool drawerIsOpen(const StatusBlock& status, DWORD openSingle) {
    const bool sensorSet = (status[0] & kDrawerSensorBit) != 0;
    return openSingle == 1 ? sensorSet : !sensorSet;
}

}  // namespace drawer
