#include "emulator/ControlServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "UniqueFd.h"

namespace emulator {

namespace {

// A client that lets this much of our replies pile up unread is gone or
// stuck; it is dropped rather than buffered for without end.
constexpr std::size_t kMaxUnreadReplyBytes = 16 * 1024 * 1024;

struct Client {
    UniqueFd fd;
    std::string input;
    // Set while the rest of an over-long line is being skipped.
    bool skipping = false;
    std::string output;
    // The client has said all it will; it is closed once its replies are out.
    bool inputDone = false;
    bool closing = false;
    // The first client the server took.
    bool owner = false;
};

bool fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return false;
}

bool makeAddress(const std::string& path, sockaddr_un& address, std::string* error) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return fail(error, "control socket path must be 1 to " +
                               std::to_string(sizeof address.sun_path - 1) + " bytes long");
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// An old socket file is replaced only when nobody answers on it.
bool clearStaleSocket(const std::string& path, const sockaddr_un& address, std::string* error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT || fail(error, path + ": " + std::strerror(errno));
    }
    if (!S_ISSOCK(info.st_mode)) {
        return fail(error, path + " exists and is not a socket");
    }
    UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (probe.valid() &&
        ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return fail(error, path + " is in use by a running emulator");
    }
    ::unlink(path.c_str());
    return true;
}

constexpr std::string_view kTcpPrefix = "tcp:";

// "tcp:ADDRESS:PORT" with a dotted IPv4 address.
bool makeTcpAddress(std::string_view text, sockaddr_in& address, std::string* error) {
    address = {};
    address.sin_family = AF_INET;
    const std::string_view rest = text.substr(kTcpPrefix.size());
    const std::size_t colon = rest.rfind(':');
    const std::string host(rest.substr(0, colon));
    unsigned port = 0;
    const std::string_view portText = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    const auto [end, result] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (colon == std::string_view::npos || result != std::errc() || end != portText.data() + portText.size() ||
        port == 0 || port > 65535 || ::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        return fail(error, "control address must read tcp:ADDRESS:PORT, as in tcp:127.0.0.5:4100");
    }
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return true;
}

// A TCP listener for `text`; an invalid descriptor, with `error`, on failure.
UniqueFd listenTcp(const std::string& text, std::string* error) {
    sockaddr_in address{};
    if (!makeTcpAddress(text, address, error)) {
        return UniqueFd();
    }
    UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int reuse = 1;
    if (!listener.valid() || ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
        ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), static_cast<int>(ControlServer::kMaxClients)) != 0) {
        fail(error, text + ": " + std::strerror(errno));
        return UniqueFd();
    }
    return listener;
}

// A Unix-socket listener at `path`; an invalid descriptor, with `error`, on
// failure.
UniqueFd listenUnix(const std::string& path, std::string* error) {
    sockaddr_un address{};
    if (!makeAddress(path, address, error) || !clearStaleSocket(path, address, error)) {
        return UniqueFd();
    }
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener.valid()) {
        fail(error, std::string("control socket: ") + std::strerror(errno));
        return UniqueFd();
    }
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), static_cast<int>(ControlServer::kMaxClients)) != 0) {
        fail(error, path + ": " + std::strerror(errno));
        return UniqueFd();
    }
    return listener;
}

}  // namespace

struct ControlServer::Impl {
    void run();
    void acceptClients();
    void readFrom(Client& client);
    void writeTo(Client& client);

    std::string path;
    bool tcp = false;
    Handler handler;
    OwnerGone ownerGone;
    bool ownerTaken = false;
    UniqueFd listener;
    UniqueFd stopFd;
    std::vector<std::unique_ptr<Client>> clients;
    std::thread thread;
};

std::unique_ptr<ControlServer> ControlServer::open(const std::string& socketPath, Handler handler,
                                                   std::string* error, OwnerGone ownerGone) {
    auto impl = std::make_unique<Impl>();
    impl->path = socketPath;
    impl->tcp = socketPath.starts_with(kTcpPrefix);
    impl->handler = std::move(handler);
    impl->ownerGone = std::move(ownerGone);
    impl->listener = impl->tcp ? listenTcp(socketPath, error) : listenUnix(socketPath, error);
    if (!impl->listener.valid()) {
        return nullptr;
    }
    impl->stopFd.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!impl->stopFd.valid()) {
        fail(error, std::string("control socket: ") + std::strerror(errno));
        if (!impl->tcp) {
            ::unlink(socketPath.c_str());
        }
        return nullptr;
    }
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->run(); });
    return std::unique_ptr<ControlServer>(new ControlServer(std::move(impl)));
}

ControlServer::ControlServer(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

ControlServer::~ControlServer() {
    const std::uint64_t one = 1;
    while (::write(m_impl->stopFd.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    m_impl->thread.join();
    if (!m_impl->tcp) {
        ::unlink(m_impl->path.c_str());
    }
}

const std::string& ControlServer::path() const { return m_impl->path; }

void ControlServer::Impl::run() {
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({stopFd.get(), POLLIN, 0});
        fds.push_back({listener.get(), POLLIN, 0});
        for (const auto& client : clients) {
            fds.push_back({client->fd.get(),
                           static_cast<short>((client->inputDone ? 0 : POLLIN) | (client->output.empty() ? 0 : POLLOUT)),
                           0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& client = *clients[i];
            if ((fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                readFrom(client);
            }
            if (!client.closing && !client.output.empty()) {
                writeTo(client);
            }
            if (client.inputDone && client.output.empty()) {
                client.closing = true;
            }
        }
        std::erase_if(clients, [this](const auto& client) {
            if (client->closing && client->owner && ownerGone) {
                ownerGone();
            }
            return client->closing;
        });
        if (fds[1].revents != 0) {
            acceptClients();
        }
    }
}

void ControlServer::Impl::acceptClients() {
    for (;;) {
        UniqueFd fd(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.valid()) {
            return;
        }
        if (clients.size() < kMaxClients) {
            auto client = std::make_unique<Client>();
            client->fd = std::move(fd);
            client->owner = !ownerTaken;
            ownerTaken = true;
            clients.push_back(std::move(client));
        }
    }
}

void ControlServer::Impl::readFrom(Client& client) {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::recv(client.fd.get(), buffer.data(), buffer.size(), 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (n == 0) {
        client.inputDone = true;
        return;
    }
    if (n < 0) {
        client.closing = true;
        return;
    }
    for (const char c : std::string_view(buffer.data(), static_cast<std::size_t>(n))) {
        if (c != '\n') {
            if (client.skipping) {
                continue;
            }
            if (client.input.size() >= kMaxLineLength) {
                client.output += "error line too long\n";
                client.input.clear();
                client.skipping = true;
                continue;
            }
            client.input += c;
            continue;
        }
        if (client.skipping) {
            client.skipping = false;
            continue;
        }
        std::string_view line(client.input);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.find_first_not_of(" \t") != std::string_view::npos) {
            if (client.output.size() > kMaxUnreadReplyBytes) {
                client.closing = true;
                return;
            }
            std::string reply = handler(line);
            // A reply is one line whatever the handler returned.
            std::replace(reply.begin(), reply.end(), '\n', ' ');
            client.output += reply;
            client.output += '\n';
        }
        client.input.clear();
    }
}

void ControlServer::Impl::writeTo(Client& client) {
    const ssize_t n = ::send(client.fd.get(), client.output.data(), client.output.size(), MSG_NOSIGNAL);
    if (n > 0) {
        client.output.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        client.closing = true;
    }
}

}  // namespace emulator
