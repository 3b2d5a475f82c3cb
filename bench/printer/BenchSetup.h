#pragma once
// What the receiptso benchmarks share: a registry file of their own in a
// private temporary folder, a network virtual printer on a loopback
// address, and the device key that points the service object at it.
#include <memory>
#include <string>

#include "emulator/NetworkPort.h"
#include "emulator/VirtualPrinter.h"

namespace bench {

// Points the registry at a fresh file in a new private folder and removes
// the folder when it goes.
class PrivateRegistry {
public:
    PrivateRegistry();
    ~PrivateRegistry();
    PrivateRegistry(const PrivateRegistry&) = delete;
    PrivateRegistry& operator=(const PrivateRegistry&) = delete;
    bool ready() const { return !m_folder.empty(); }

private:
    std::string m_folder;
};

// The virtual printer on a free loopback address, or null.
std::unique_ptr<emulator::NetworkPort> openNetwork(emulator::VirtualPrinter& printer);

// Registers receiptso and writes the device key `keyName` on `port`.
bool writeDevice(const std::string& keyName, const std::string& port);

}  // namespace bench
