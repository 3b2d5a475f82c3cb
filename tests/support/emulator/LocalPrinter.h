#pragma once
// The virtual printer for Linux test programs: the printer itself, in the
// test's process, and the transport it runs on. Offers the members of
// RemotePrinter, its stand-in for Windows test programs, so that fixtures
// start and place a printer the same way on both.
#include <cstdint>
#include <memory>
#include <string>

#include "emulator/NetworkPort.h"
#include "emulator/PtyPort.h"
#include "emulator/VirtualPrinter.h"

namespace testsupport {

class LocalPrinter : public emulator::VirtualPrinter {
public:
    // `linkFolder` holds the links of serial lines (a test's own folder).
    LocalPrinter(const std::string& modelCode, std::string linkFolder, std::uint32_t internalId = 0);
    ~LocalPrinter();

    // Runs the printer on the network at 127.x.y.1 (ports 9100 and 4000),
    // leaving the transport it had.
    bool startNetwork(std::string* error = nullptr);
    // Runs it on a pseudo-terminal for serial port `portName` ("COM3"),
    // published in the link folder, leaving the transport it had.
    bool startSerial(const std::string& portName, std::string* error = nullptr);

    // The Port value of a device key for the printer where it runs:
    // "NET127.x.y.1" or "COM3".
    std::string portSetting() const;
    // The device the port map names for portSetting(); empty for a network
    // printer.
    std::string portDevice() const;
    // The network printer's address; empty for a serial one.
    std::string address() const;
    // Whether the serial line is there for a host to open: it goes while
    // the printer is off.
    bool lineUp() const;

private:
    const std::string m_linkFolder;
    std::string m_portName;
    std::unique_ptr<emulator::NetworkPort> m_network;
    std::unique_ptr<emulator::PtyPort> m_line;
};

}  // namespace testsupport
