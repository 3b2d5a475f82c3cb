#include "emulator/NetworkPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "TransportMailbox.h"
#include "UniqueFd.h"

namespace emulator {

namespace {

using Clock = std::chrono::steady_clock;

// Bounds that keep a host which floods the printer or never reads from it
// from growing the emulator without limit.
constexpr std::size_t kMaxConnectionsPerPort = 8;
constexpr std::size_t kMaxOutputBytes = 64 * 1024;
constexpr std::size_t kMaxPendingReplies = 64;

struct Connection {
    UniqueFd fd;
    bool status = false;
    bool closing = false;
    Bytes output;
    // A status request may straddle two reads.
    bool afterEscape = false;
    std::deque<Clock::time_point> repliesDue;
};

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// Closing with a zero linger sends a reset instead of an orderly end: a
// host that asks for status on a connection of a printer that went away
// must see an error, not an empty reply it could take for an answer.
void abortConnection(Connection& connection) {
    const linger hard{1, 0};
    ::setsockopt(connection.fd.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    connection.fd.reset();
}

// `port` zero binds a free port; `bound` receives the port bound.
bool listenOn(const in_addr& address, std::uint16_t port, UniqueFd& listener, std::uint16_t& bound,
              std::string* error) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        *error = systemError("socket");
        return false;
    }
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = address;
    local.sin_port = htons(port);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(fd.get(), SOMAXCONN) != 0) {
        std::array<char, INET_ADDRSTRLEN> text{};
        ::inet_ntop(AF_INET, &address, text.data(), text.size());
        *error = systemError(std::string(text.data()) + ":" + std::to_string(port));
        return false;
    }
    socklen_t length = sizeof local;
    bound = ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length) == 0 ? ntohs(local.sin_port) : port;
    listener = std::move(fd);
    return true;
}

}  // namespace

struct NetworkPort::Impl {
    Impl(VirtualPrinter& printer, NetworkPort::Options options) : printer(printer), options(std::move(options)) {}

    void run();
    bool online() const { return state.powerOn && !state.networkLinkDown; }
    bool listen(std::string* error);
    void reconcile();
    void acceptOn(int listener, bool status);
    void readFrom(Connection& connection);
    void writeTo(Connection& connection);
    void sendDueReplies(Clock::time_point now);
    int pollTimeout(Clock::time_point now) const;

    VirtualPrinter& printer;
    const NetworkPort::Options options;
    in_addr address{};
    std::uint16_t dataPort = 0;
    std::uint16_t statusPort = 0;
    std::shared_ptr<TransportMailbox> mailbox;

    // The I/O thread's own (the opener's until the thread starts).
    PrinterState state;
    UniqueFd dataListener;
    UniqueFd statusListener;
    std::vector<std::unique_ptr<Connection>> connections;
    // Counts every change of the listeners; connections only come and go
    // with them or at the end of a loop turn.
    std::uint64_t generation = 0;

    mutable std::mutex mutex;
    bool stop = false;
    std::string lastError;

    std::thread thread;
};

std::unique_ptr<NetworkPort> NetworkPort::open(VirtualPrinter& printer, Options options, std::string* error) {
    std::string ignored;
    std::string& message = error != nullptr ? *error : ignored;
    auto impl = std::make_unique<Impl>(printer, std::move(options));
    if (::inet_pton(AF_INET, impl->options.address.c_str(), &impl->address) != 1) {
        message = "not an IPv4 address: " + impl->options.address;
        return nullptr;
    }
    impl->dataPort = impl->options.dataPort;
    impl->statusPort = impl->options.statusPort;
    // Bound even for a printer that starts offline, so a taken port shows
    // at once and a port of zero gets its number now.
    if (!impl->listen(&message)) {
        return nullptr;
    }
    impl->mailbox = TransportMailbox::attach(printer, &message);
    if (!impl->mailbox) {
        return nullptr;
    }
    impl->state = printer.state();
    impl->reconcile();
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->run(); });
    return std::unique_ptr<NetworkPort>(new NetworkPort(std::move(impl)));
}

NetworkPort::NetworkPort(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

NetworkPort::~NetworkPort() {
    m_impl->mailbox->close();
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->stop = true;
    }
    m_impl->mailbox->wake();
    m_impl->thread.join();
}

const std::string& NetworkPort::address() const { return m_impl->options.address; }
std::uint16_t NetworkPort::dataPort() const { return m_impl->dataPort; }
std::uint16_t NetworkPort::statusPort() const { return m_impl->statusPort; }

std::string NetworkPort::lastError() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->lastError;
}

bool NetworkPort::Impl::listen(std::string* error) {
    UniqueFd data;
    UniqueFd status;
    std::uint16_t boundData = 0;
    std::uint16_t boundStatus = 0;
    if (!listenOn(address, dataPort, data, boundData, error) ||
        !listenOn(address, statusPort, status, boundStatus, error)) {
        return false;
    }
    // Written once, before the I/O thread starts; later binds reuse them.
    if (dataPort == 0 || statusPort == 0) {
        dataPort = boundData;
        statusPort = boundStatus;
    }
    dataListener = std::move(data);
    statusListener = std::move(status);
    return true;
}

void NetworkPort::Impl::reconcile() {
    std::string error;
    if (online() && !dataListener.valid()) {
        listen(&error);
        ++generation;
    } else if (!online() && dataListener.valid()) {
        ++generation;
        dataListener.reset();
        statusListener.reset();
        for (auto& connection : connections) {
            abortConnection(*connection);
        }
        connections.clear();
    }
    std::lock_guard lock(mutex);
    lastError = error;
}

void NetworkPort::Impl::run() {
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({mailbox->wakeFd(), POLLIN, 0});
        fds.push_back({dataListener.valid() ? dataListener.get() : -1, POLLIN, 0});
        fds.push_back({statusListener.valid() ? statusListener.get() : -1, POLLIN, 0});
        for (const auto& connection : connections) {
            fds.push_back({connection->fd.get(),
                           static_cast<short>(POLLIN | (connection->output.empty() ? 0 : POLLOUT)), 0});
        }
        const std::uint64_t polledGeneration = generation;
        const std::size_t polledConnections = connections.size();
        if (::poll(fds.data(), fds.size(), pollTimeout(Clock::now())) < 0 && errno != EINTR) {
            std::lock_guard lock(mutex);
            lastError = systemError("poll");
            return;
        }
        if (fds[0].revents != 0) {
            {
                std::lock_guard lock(mutex);
                if (stop) {
                    return;
                }
            }
            for (auto& event : mailbox->take()) {
                if (event.isState) {
                    state = event.state;
                    reconcile();
                    continue;
                }
                for (auto& connection : connections) {
                    if (!connection->status && connection->output.size() < kMaxOutputBytes) {
                        const std::size_t n =
                            std::min(kMaxOutputBytes - connection->output.size(), event.bytes.size());
                        connection->output.insert(connection->output.end(), event.bytes.begin(),
                                                  event.bytes.begin() + static_cast<std::ptrdiff_t>(n));
                    }
                }
            }
        }
        // Going offline drops every descriptor polled; what poll said about
        // them no longer applies.
        if (generation == polledGeneration) {
            for (std::size_t i = 0; i < polledConnections; ++i) {
                Connection& connection = *connections[i];
                const short events = fds[i + 3].revents;
                if ((events & (POLLIN | POLLHUP | POLLERR)) != 0) {
                    readFrom(connection);
                }
                if (!connection.closing && (events & POLLOUT) != 0) {
                    writeTo(connection);
                }
            }
            if (fds[1].revents != 0) {
                acceptOn(dataListener.get(), false);
            }
            if (fds[2].revents != 0) {
                acceptOn(statusListener.get(), true);
            }
        }
        sendDueReplies(Clock::now());
        std::erase_if(connections, [](const auto& connection) { return connection->closing; });
    }
}

void NetworkPort::Impl::acceptOn(int listener, bool status) {
    for (;;) {
        UniqueFd fd(::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.valid()) {
            return;  // EAGAIN once the backlog is empty; anything else is the peer's problem
        }
        const auto sameKind = std::count_if(connections.begin(), connections.end(),
                                            [&](const auto& c) { return c->status == status; });
        auto connection = std::make_unique<Connection>();
        connection->fd = std::move(fd);
        connection->status = status;
        if (static_cast<std::size_t>(sameKind) >= kMaxConnectionsPerPort) {
            abortConnection(*connection);
            continue;
        }
        connections.push_back(std::move(connection));
    }
}

void NetworkPort::Impl::readFrom(Connection& connection) {
    std::array<std::uint8_t, 4096> buffer{};
    const ssize_t n = ::recv(connection.fd.get(), buffer.data(), buffer.size(), 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (n <= 0) {
        connection.closing = true;
        return;
    }
    const std::span<const std::uint8_t> bytes(buffer.data(), static_cast<std::size_t>(n));
    if (!connection.status) {
        const std::string failure = feedPrinter(printer, bytes, options.onReceive);
        if (!failure.empty()) {
            std::lock_guard lock(mutex);
            lastError = failure;
        }
        return;
    }
    for (const std::uint8_t byte : bytes) {
        if (connection.afterEscape && byte == 0x76) {
            const PrinterState now = printer.state();
            if (!now.statusSilent && connection.repliesDue.size() < kMaxPendingReplies) {
                connection.repliesDue.push_back(Clock::now() + now.statusReplyDelay);
            }
        }
        connection.afterEscape = byte == 0x1B;
    }
}

void NetworkPort::Impl::writeTo(Connection& connection) {
    const ssize_t n = ::send(connection.fd.get(), connection.output.data(), connection.output.size(), MSG_NOSIGNAL);
    if (n > 0) {
        connection.output.erase(connection.output.begin(), connection.output.begin() + n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        connection.closing = true;
    }
}

void NetworkPort::Impl::sendDueReplies(Clock::time_point now) {
    for (auto& connection : connections) {
        if (connection->closing || connection->repliesDue.empty() || connection->repliesDue.front() > now) {
            continue;
        }
        // Silence that began while a slow reply was pending swallows it too.
        const bool silent = printer.state().statusSilent;
        while (!connection->repliesDue.empty() && connection->repliesDue.front() <= now) {
            connection->repliesDue.pop_front();
            if (!silent && connection->output.size() < kMaxOutputBytes) {
                const StatusBlock block = printer.statusBlock();
                connection->output.insert(connection->output.end(), block.begin(), block.end());
            }
        }
        writeTo(*connection);
    }
}

int NetworkPort::Impl::pollTimeout(Clock::time_point now) const {
    std::optional<Clock::time_point> earliest;
    for (const auto& connection : connections) {
        if (!connection->repliesDue.empty() && (!earliest || connection->repliesDue.front() < *earliest)) {
            earliest = connection->repliesDue.front();
        }
    }
    if (!earliest) {
        return -1;
    }
    if (*earliest <= now) {
        return 0;
    }
    // Rounded up, so the thread never wakes a moment early and spins.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*earliest - now).count();
    return static_cast<int>(std::min<long long>(wait, 60 * 60 * 1000));
}

}  // namespace emulator
