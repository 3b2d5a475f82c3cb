#pragma once
// The printers one emulator runs, each behind its transport and known by a
// name, and the control language applied to them.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/NetworkPort.h"
#include "emulator/PtyPort.h"
#include "emulator/UsbNode.h"
#include "emulator/VirtualPrinter.h"

namespace emulator {

struct TransportConfig {
    enum class Kind { Network, Serial, Parallel, Usb };

    Kind kind = Kind::Network;
    std::string address;  // Network
    std::uint16_t dataPort = NetworkPort::kDefaultDataPort;
    std::uint16_t statusPort = NetworkPort::kDefaultStatusPort;
    std::string path;  // Serial and Parallel: the link; Usb: the node directory
};

// "net:ADDRESS[:DATAPORT[:STATUSPORT]]", "serial:LINK", "parallel:LINK",
// "usb:DIRECTORY". Nothing, with `error` set, for anything else.
std::optional<TransportConfig> parseTransportConfig(std::string_view text, std::string* error);

struct EmulatorPrinterConfig {
    std::string name;
    std::string model;
    std::uint32_t internalId = 0;
    TransportConfig transport;
    // Serial and Parallel: the line becomes the process's controlling
    // terminal (see PtyPort::Options).
    bool controllingTerminal = false;
};

class EmulatorPrinters {
public:
    struct Hooks {
        // After host bytes reached a printer; on a transport's I/O thread.
        std::function<void()> onActivity;
        // The control command `quit`; on the control server's thread.
        std::function<void()> onQuit;
    };

    struct Printer {
        std::string name;
        TransportConfig transport;
        // Declared before the transports, which must go first.
        std::unique_ptr<VirtualPrinter> printer;
        std::unique_ptr<NetworkPort> network;
        std::unique_ptr<PtyPort> line;
        std::unique_ptr<UsbNode> usb;

        // Where the host reaches it, e.g. "net 127.0.0.5 data 9100 status
        // 4000" or "usb /tmp/usb/lp0 IID 90".
        std::string endpoint() const;
    };

    explicit EmulatorPrinters(Hooks hooks = {});
    ~EmulatorPrinters();
    EmulatorPrinters(const EmulatorPrinters&) = delete;
    EmulatorPrinters& operator=(const EmulatorPrinters&) = delete;

    // Starts a printer. False, with `error`, for a name that is empty, holds
    // blanks or is taken, a model the catalogue does not know, or a
    // transport that cannot start. Not thread-safe: add every printer before
    // the control language is served.
    bool add(const EmulatorPrinterConfig& config, std::string* error = nullptr);

    const std::vector<std::unique_ptr<Printer>>& printers() const { return m_printers; }
    Printer* find(std::string_view name) const;

    // One line of the control language in, its reply line out. Thread-safe
    // once every printer has been added.
    std::string handleControlLine(std::string_view line);

private:
    Hooks m_hooks;
    std::vector<std::unique_ptr<Printer>> m_printers;
};

}  // namespace emulator
