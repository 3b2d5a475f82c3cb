#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/socket.h"

namespace platform {

namespace {

thread_local int t_lastError = 0;

int wsaErrorFromErrno(int error) {
    switch (error) {
    case EAGAIN:
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ENOTCONN: return WSAENOTCONN;
    case EBADF:
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EINVAL: return WSAEINVAL;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ECONNABORTED: return WSAECONNABORTED;
    case EISCONN: return WSAEISCONN;
    case EINTR: return WSAEINTR;
    default: return WSAEFAULT;
    }
}

int fail(int wsaError) {
    t_lastError = wsaError;
    return SOCKET_ERROR;
}

int failFromErrno() { return fail(wsaErrorFromErrno(errno)); }

// Descriptor 0 stands for "never opened" in callers' tables, and
// INVALID_SOCKET for "closed"; neither may reach the system.
bool usable(SOCKET socket) { return socket > 0 && socket <= 0x7FFFFFFF; }

int fd(SOCKET socket) { return static_cast<int>(socket); }

int setTimeout(SOCKET socket, int option, DWORD milliseconds) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    timeval value{};
    value.tv_sec = static_cast<time_t>(milliseconds / 1000);
    value.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    return ::setsockopt(fd(socket), SOL_SOCKET, option, &value, sizeof value) == 0 ? 0 : failFromErrno();
}

// poll() on one socket until it reports `events` or the time-out passes.
// Returns the revents (0 on time-out) or -1.
int pollFor(SOCKET socket, short events, std::chrono::steady_clock::time_point deadline) {
    pollfd watched{fd(socket), events, 0};
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        const int ready = ::poll(&watched, 1, left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1'000'000)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return -1;
        }
        return ready == 0 ? 0 : watched.revents;
    }
}

std::chrono::steady_clock::time_point deadlineAfter(const TIMEVAL& timeout) {
    return std::chrono::steady_clock::now() + std::chrono::seconds(timeout.tv_sec) +
           std::chrono::microseconds(timeout.tv_usec);
}

bool established(SOCKET socket) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    return ::getpeername(fd(socket), reinterpret_cast<sockaddr*>(&peer), &size) == 0;
}

}  // namespace

int wsaStartup() { return 0; }

int wsaCleanup() { return 0; }

int wsaGetLastError() { return t_lastError; }

SOCKET tcpSocket() {
    int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        failFromErrno();
        return INVALID_SOCKET;
    }
    if (descriptor == 0) {
        const int moved = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 1);
        const int error = errno;
        ::close(descriptor);
        if (moved < 0) {
            fail(wsaErrorFromErrno(error));
            return INVALID_SOCKET;
        }
        descriptor = moved;
    }
    return descriptor;
}

int setSendTimeout(SOCKET socket, DWORD milliseconds) { return setTimeout(socket, SO_SNDTIMEO, milliseconds); }

int setReceiveTimeout(SOCKET socket, DWORD milliseconds) { return setTimeout(socket, SO_RCVTIMEO, milliseconds); }

int setNonBlocking(SOCKET socket, bool nonBlocking) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    const int flags = ::fcntl(fd(socket), F_GETFL);
    if (flags < 0) {
        return failFromErrno();
    }
    const int wanted = nonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
    return ::fcntl(fd(socket), F_SETFL, wanted) == 0 ? 0 : failFromErrno();
}

int bindAny(SOCKET socket) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    return ::bind(fd(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 ? 0 : failFromErrno();
}

int connectIPv4(SOCKET socket, const char* dottedAddress, WORD port) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    if (dottedAddress == nullptr || ::inet_pton(AF_INET, dottedAddress, &remote.sin_addr) != 1) {
        return fail(WSAEADDRNOTAVAIL);
    }
    for (;;) {
        if (::connect(fd(socket), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return failFromErrno();
        }
    }
}

int selectWritable(SOCKET socket, const TIMEVAL& timeout) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    const auto deadline = deadlineAfter(timeout);
    const int ready = pollFor(socket, POLLOUT, deadline);
    if (ready < 0) {
        return failFromErrno();
    }
    if (ready != 0 && established(socket)) {
        return 1;
    }
    if (ready != 0) {
        // The connect failed: Winsock would list the socket as an exception,
        // never as writable, so the caller's wait simply runs out.
        pollFor(INVALID_SOCKET, 0, deadline);
    }
    return 0;
}

int selectReadable(SOCKET socket, const TIMEVAL& timeout) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    const int ready = pollFor(socket, POLLIN, deadlineAfter(timeout));
    if (ready < 0) {
        return failFromErrno();
    }
    return ready != 0 ? 1 : 0;
}

int send(SOCKET socket, const BYTE* data, int length) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    if (length < 0 || (data == nullptr && length > 0)) {
        return fail(WSAEFAULT);
    }
    for (;;) {
        const ssize_t sent = ::send(fd(socket), data, static_cast<size_t>(length), MSG_NOSIGNAL);
        if (sent >= 0) {
            return static_cast<int>(sent);
        }
        if (errno != EINTR) {
            return failFromErrno();
        }
    }
}

int recv(SOCKET socket, BYTE* buffer, int length) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    if (length < 0 || (buffer == nullptr && length > 0)) {
        return fail(WSAEFAULT);
    }
    for (;;) {
        const ssize_t got = ::recv(fd(socket), buffer, static_cast<size_t>(length), 0);
        if (got >= 0) {
            return static_cast<int>(got);
        }
        if (errno != EINTR) {
            return failFromErrno();
        }
    }
}

int unsentBytes(SOCKET socket) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    int queued = 0;
    return ::ioctl(fd(socket), SIOCOUTQ, &queued) == 0 ? queued : failFromErrno();
}

int shutdownSocket(SOCKET socket, int how) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    if (how != SD_SEND) {
        return fail(WSAEINVAL);
    }
    return ::shutdown(fd(socket), SHUT_WR) == 0 ? 0 : failFromErrno();
}

int closeSocket(SOCKET socket) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    return ::close(fd(socket)) == 0 ? 0 : failFromErrno();
}

SOCKET duplicateSocket(SOCKET socket) {
    if (!usable(socket)) {
        fail(WSAENOTSOCK);
        return INVALID_SOCKET;
    }
    const int copy = ::fcntl(static_cast<int>(socket), F_DUPFD_CLOEXEC, 1);
    if (copy < 0) {
        failFromErrno();
        return INVALID_SOCKET;
    }
    return copy;
}

}  // namespace platform
