#pragma once
// The control socket: a Unix stream socket at a path of the caller's
// choice, or a TCP listener at "tcp:ADDRESS:PORT", that takes lines and
// answers each with one line, through a handler (normally the control
// language of ControlProtocol.h). Clients connect with anything that speaks
// lines, such as `socat - UNIX-CONNECT:PATH`. TCP serves programs that
// cannot reach a Unix socket (Windows programs under Wine); bind it to a
// loopback address, since anyone who reaches it controls the printers.
//
// The handler runs on the server's own I/O thread, one line at a time, in
// the order the lines arrived; it must not wait for the thread that destroys
// the server. An empty line gets no reply; a line longer than kMaxLineLength
// is answered `error line too long` and dropped. At most kMaxClients are
// served at once; one more is closed straight away. The first client to
// connect may be the server's owner: `ownerGone` runs, on the server's
// thread, once that client's connection has closed.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace emulator {

class ControlServer {
public:
    static constexpr std::size_t kMaxLineLength = 4096;
    static constexpr std::size_t kMaxClients = 8;

    // The reply to one line, without its line end.
    using Handler = std::function<std::string(std::string_view line)>;
    using OwnerGone = std::function<void()>;

    // Listens at `socketPath`, or at the TCP address it names. A socket file
    // left there by an earlier run that no one listens on any more is
    // replaced; a live one, or anything that is not a socket, makes the call
    // fail. Null, with `error` set, on failure.
    static std::unique_ptr<ControlServer> open(const std::string& socketPath, Handler handler,
                                               std::string* error = nullptr, OwnerGone ownerGone = {});
    // Stops serving and removes the socket file (if it is one).
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    const std::string& path() const;

private:
    struct Impl;
    explicit ControlServer(std::unique_ptr<Impl> impl);

    std::unique_ptr<Impl> m_impl;
};

}  // namespace emulator
