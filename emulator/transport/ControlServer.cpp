#include "emulator/ControlServer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
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

}  // namespace

struct ControlServer::Impl {
    void run();
    void acceptClients();
    void readFrom(Client& client);
    void writeTo(Client& client);

    std::string path;
    Handler handler;
    UniqueFd listener;
    UniqueFd stopFd;
    std::vector<std::unique_ptr<Client>> clients;
    std::thread thread;
};

std::unique_ptr<ControlServer> ControlServer::open(const std::string& socketPath, Handler handler,
                                                   std::string* error) {
    sockaddr_un address{};
    if (!makeAddress(socketPath, address, error) || !clearStaleSocket(socketPath, address, error)) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->path = socketPath;
    impl->handler = std::move(handler);
    impl->listener.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    impl->stopFd.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!impl->listener.valid() || !impl->stopFd.valid()) {
        fail(error, std::string("control socket: ") + std::strerror(errno));
        return nullptr;
    }
    if (::bind(impl->listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(impl->listener.get(), static_cast<int>(kMaxClients)) != 0) {
        fail(error, socketPath + ": " + std::strerror(errno));
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
    ::unlink(m_impl->path.c_str());
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
        std::erase_if(clients, [](const auto& client) { return client->closing; });
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
