#include "support/emulator/LocalPrinter.h"

#include <filesystem>

#include "support/emulator/LoopbackPrinter.h"

namespace testsupport {

LocalPrinter::LocalPrinter(const std::string& modelCode, std::string linkFolder, std::uint32_t internalId)
    : VirtualPrinter(modelCode, internalId), m_linkFolder(std::move(linkFolder)) {}

// The transports go before the printer they feed.
LocalPrinter::~LocalPrinter() {
    m_network.reset();
    m_line.reset();
}

bool LocalPrinter::startNetwork(std::string* error) {
    m_line.reset();
    m_network.reset();
    m_portName.clear();
    m_network = openOnOwnLoopbackAddress(*this);
    if (!m_network && error != nullptr) {
        *error = "no free loopback address for the printer";
    }
    return m_network != nullptr;
}

bool LocalPrinter::startSerial(const std::string& portName, std::string* error) {
    m_network.reset();
    m_line.reset();
    m_portName = portName;
    m_line = emulator::PtyPort::open(*this, {m_linkFolder + "/" + portName, {}}, error);
    return m_line != nullptr;
}

std::string LocalPrinter::portSetting() const { return m_network ? "NET" + m_network->address() : m_portName; }

std::string LocalPrinter::portDevice() const { return m_line ? m_line->linkPath() : std::string(); }

std::string LocalPrinter::address() const { return m_network ? m_network->address() : std::string(); }

bool LocalPrinter::lineUp() const {
    std::error_code error;
    return m_line && std::filesystem::is_symlink(m_line->linkPath(), error);
}

}  // namespace testsupport
