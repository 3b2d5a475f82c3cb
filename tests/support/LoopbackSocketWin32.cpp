#include "support/LoopbackSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <stdexcept>

namespace testsupport::loopback {

namespace {

SOCKET native(Handle socket) { return static_cast<SOCKET>(socket); }

void startWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) {
        throw std::runtime_error("Winsock did not start");
    }
}

void setNonBlocking(SOCKET socket) {
    u_long yes = 1;
    ::ioctlsocket(socket, FIONBIO, &yes);
}

}  // namespace

Handle listenOn(const std::string& address, std::uint16_t port, int receiveBufferSize) {
    startWinsock();
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        return kNone;
    }
    // Windows lets SO_REUSEADDR take a port another socket listens on; the
    // exclusive use keeps two fakes from sharing an address.
    const BOOL yes = TRUE;
    ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
    ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBufferSize),
                 sizeof receiveBufferSize);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(socket, 16) != 0) {
        ::closesocket(socket);
        return kNone;
    }
    setNonBlocking(socket);
    return static_cast<Handle>(socket);
}

Handle acceptFrom(Handle listener) {
    const SOCKET socket = ::accept(native(listener), nullptr, nullptr);
    if (socket == INVALID_SOCKET) {
        return kNone;
    }
    setNonBlocking(socket);
    return static_cast<Handle>(socket);
}

void closeSocket(Handle socket) { ::closesocket(native(socket)); }

Received receive(Handle socket, std::uint8_t* buffer, std::size_t most, std::size_t* count) {
    const int got = ::recv(native(socket), reinterpret_cast<char*>(buffer), static_cast<int>(most), 0);
    if (got > 0) {
        *count = static_cast<std::size_t>(got);
        return Received::Data;
    }
    return got < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK ? Received::WouldBlock : Received::Closed;
}

void send(Handle socket, const std::uint8_t* data, std::size_t length) {
    ::send(native(socket), reinterpret_cast<const char*>(data), static_cast<int>(length), 0);
}

// Winsock has no pipes: a datagram socket that sends to itself.
Wakeup::Wakeup() {
    startWinsock();
    const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket == INVALID_SOCKET) {
        throw std::runtime_error("no socket for the wake-up");
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof local;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0 ||
        ::connect(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::closesocket(socket);
        throw std::runtime_error("no socket for the wake-up");
    }
    setNonBlocking(socket);
    m_read = static_cast<Handle>(socket);
    m_write = m_read;
}

Wakeup::~Wakeup() { ::closesocket(native(m_read)); }

void Wakeup::set() {
    const char byte = 1;
    ::send(native(m_write), &byte, 1, 0);
}

void Wakeup::wait(std::vector<Watched>& watched, int timeoutMs) {
    std::vector<WSAPOLLFD> polled = {{native(m_read), POLLRDNORM, 0}};
    for (const Watched& entry : watched) {
        polled.push_back({native(entry.socket), static_cast<SHORT>(entry.forInput ? POLLRDNORM : 0), 0});
    }
    ::WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), timeoutMs);
    char drained[16];
    while (::recv(native(m_read), drained, sizeof drained, 0) > 0) {
    }
    for (std::size_t i = 0; i < watched.size(); ++i) {
        const SHORT events = polled[i + 1].revents;
        watched[i].readable = (events & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
        // Winsock reports the peer's end of stream as POLLHUP while data
        // still waits to be read: only a failed connection is given up
        // unread.
        watched[i].failed = (events & POLLERR) != 0;
    }
}

}  // namespace testsupport::loopback
