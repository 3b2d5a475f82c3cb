#pragma once
// The one step of naming a port's device that differs between backends.
#include <string>

namespace platform::detail {

// The device a port opens when the port map has no value for it: `prefix`
// is "COM" or "LPT", `number` counts from 1.
std::string defaultPortDevicePath(const std::string& prefix, int number);

}  // namespace platform::detail
