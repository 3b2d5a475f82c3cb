#pragma once
// What the drawer service object knows of the printers its drawers hang on:
// the model value portlink is handed, the drawer kick pulse, the command
// that turns on automatic status, and how the drawer sensor reads.
#include <array>
#include <cstdint>
#include <string_view>

#include "platform/types.h"

namespace drawer {

using platform::DWORD;

using StatusBlock = std::array<std::uint8_t, 4>;
using PulseCommand = std::array<std::uint8_t, 5>;

// 2 or 4 by the first model code of the fixed detection order found in the
// device name; 4 when none is.
int drawerModelValue(std::string_view deviceName);

// DLE DC4 1 m t: a real-time pulse on connector pin m (0: pin 2, 1: pin 5)
// for t = 5 units of 100 ms. Any non-zero PinSingle selects pin 5.
PulseCommand pulseCommand(DWORD pinSingle);

// GS a 255: the printer sends its status block on every change.
inline constexpr std::array<std::uint8_t, 3> kEnableCommand = {0x1D, 0x61, 0xFF};

// Bit 0x04 of the first status byte is the drawer sensor. OpenSingle 1 wires
// the sensor so that it is set while the drawer is open; every other value
// means it is set while the drawer is closed.
inline constexpr std::uint8_t kDrawerSensorBit = 0x04;
bool drawerIsOpen(const StatusBlock& status, DWORD openSingle);

}  // namespace drawer
