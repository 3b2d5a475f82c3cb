#pragma once
// A network printer: print data on one TCP port (9100) and status requests
// on another (4000) of one IPv4 address. Tests give every printer its own
// loopback address (127.0.0.x), so all of them keep the fixed port numbers.
//
// Data connections feed the printer's receive(); what the printer sends back
// (answers, automatic status) goes out on every open data connection. Each
// `1B 76` on a status connection is answered with the 4-byte status block,
// after the state's status reply delay and not at all while status replies
// are silent. Several hosts may be connected at once.
//
// While the printer is powered off or its network link is down, the open
// connections are reset and new ones are refused, as they would be by a
// printer that is not there; the ports listen again when it comes back.
//
// The port sets the printer's host sink: one transport per printer. The
// printer must outlive the port. Every member is thread-safe.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "emulator/VirtualPrinter.h"

namespace emulator {

class NetworkPort {
public:
    static constexpr std::uint16_t kDefaultDataPort = 9100;
    static constexpr std::uint16_t kDefaultStatusPort = 4000;

    struct Options {
        std::string address = "127.0.0.1";
        // Zero picks a free port once; it is kept for the port's lifetime.
        std::uint16_t dataPort = kDefaultDataPort;
        std::uint16_t statusPort = kDefaultStatusPort;
        // Called on the port's I/O thread after each chunk of host bytes went
        // into receive(); must not block.
        std::function<void()> onReceive;
    };

    // Binds both ports (SO_REUSEADDR). Null, with `error` set, for an
    // address that is not dotted IPv4 or a port that cannot be bound.
    static std::unique_ptr<NetworkPort> open(VirtualPrinter& printer, Options options,
                                             std::string* error = nullptr);
    ~NetworkPort();
    NetworkPort(const NetworkPort&) = delete;
    NetworkPort& operator=(const NetworkPort&) = delete;

    const std::string& address() const;
    std::uint16_t dataPort() const;
    std::uint16_t statusPort() const;
    // The I/O thread's last trouble: why the ports did not listen again when the
    // printer was back, or the printer failing on received bytes. Empty
    // again once the printer's next state change went through cleanly.
    std::string lastError() const;

private:
    struct Impl;
    explicit NetworkPort(std::unique_ptr<Impl> impl);

    std::unique_ptr<Impl> m_impl;
};

}  // namespace emulator
