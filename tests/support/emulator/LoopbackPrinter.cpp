#include "support/emulator/LoopbackPrinter.h"

#include <random>
#include <string>

namespace testsupport {

std::unique_ptr<emulator::NetworkPort> openOnOwnLoopbackAddress(emulator::VirtualPrinter& printer) {
    std::random_device seed;
    std::uniform_int_distribution<int> part(1, 254);
    std::unique_ptr<emulator::NetworkPort> network;
    for (int attempt = 0; attempt < 50 && !network; ++attempt) {
        emulator::NetworkPort::Options options;
        options.address = "127." + std::to_string(part(seed)) + "." + std::to_string(part(seed)) + ".1";
        network = emulator::NetworkPort::open(printer, options);
    }
    return network;
}

}  // namespace testsupport
