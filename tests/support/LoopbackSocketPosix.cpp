#include "support/LoopbackSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace testsupport::loopback {

Handle listenOn(const std::string& address, std::uint16_t port, int receiveBufferSize) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return kNone;
    }
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferSize, sizeof receiveBufferSize);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return kNone;
    }
    return fd;
}

Handle acceptFrom(Handle listener) {
    const int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    return fd >= 0 ? fd : kNone;
}

void closeSocket(Handle socket) { ::close(static_cast<int>(socket)); }

Received receive(Handle socket, std::uint8_t* buffer, std::size_t most, std::size_t* count) {
    const ssize_t got = ::recv(static_cast<int>(socket), buffer, most, 0);
    if (got > 0) {
        *count = static_cast<std::size_t>(got);
        return Received::Data;
    }
    return got < 0 && errno == EAGAIN ? Received::WouldBlock : Received::Closed;
}

void send(Handle socket, const std::uint8_t* data, std::size_t length) {
    ::send(static_cast<int>(socket), data, length, MSG_NOSIGNAL);
}

Wakeup::Wakeup() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("no pipe for the wake-up");
    }
    m_read = ends[0];
    m_write = ends[1];
}

Wakeup::~Wakeup() {
    ::close(static_cast<int>(m_read));
    ::close(static_cast<int>(m_write));
}

void Wakeup::set() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(static_cast<int>(m_write), &byte, 1);
}

void Wakeup::wait(std::vector<Watched>& watched, int timeoutMs) {
    std::vector<pollfd> polled = {{static_cast<int>(m_read), POLLIN, 0}};
    for (const Watched& entry : watched) {
        polled.push_back({static_cast<int>(entry.socket), static_cast<short>(entry.forInput ? POLLIN : 0), 0});
    }
    ::poll(polled.data(), polled.size(), timeoutMs);
    char drained[16];
    while (::read(static_cast<int>(m_read), drained, sizeof drained) > 0) {
    }
    for (std::size_t i = 0; i < watched.size(); ++i) {
        const short events = polled[i + 1].revents;
        watched[i].readable = (events & (POLLIN | POLLHUP | POLLERR)) != 0;
        watched[i].failed = (events & (POLLHUP | POLLERR)) != 0;
    }
}

}  // namespace testsupport::loopback
