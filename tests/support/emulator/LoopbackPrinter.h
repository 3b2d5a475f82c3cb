#pragma once
// Puts a virtual printer on the network at a loopback address of its own
// (127.x.y.1), so tests running side by side keep the printers' fixed ports
// 9100 and 4000 without meeting each other.
#include <memory>

#include "emulator/NetworkPort.h"
#include "emulator/VirtualPrinter.h"

namespace testsupport {

// Null when no free address was found after a few tries.
std::unique_ptr<emulator::NetworkPort> openOnOwnLoopbackAddress(emulator::VirtualPrinter& printer);

}  // namespace testsupport
