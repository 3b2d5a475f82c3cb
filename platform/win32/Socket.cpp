#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <mutex>

namespace platform {

namespace {

// The WSA number of this thread's last failure in this layer: checks made
// here (a handle of 0) fail without Winsock ever seeing the call, so
// WSAGetLastError alone would not tell.
thread_local int t_lastError = 0;

int fail(int wsaError) {
    t_lastError = wsaError;
    return SOCKET_ERROR;
}

int failFromWinsock() { return fail(::WSAGetLastError()); }

// Winsock is started once for the process and left running: the callers'
// startup and cleanup calls may be unbalanced, and a cleanup while another
// thread still holds a socket would pull the stack from under it.
bool started() {
    static const bool ok = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
}

// 0 stands for "never opened" in callers' tables, and INVALID_SOCKET for
// "closed"; neither may reach Winsock.
bool usable(SOCKET socket) { return socket != 0 && socket != INVALID_SOCKET; }

::SOCKET native(SOCKET socket) { return static_cast<::SOCKET>(socket); }

int setTimeout(SOCKET socket, int option, DWORD milliseconds) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    const auto value = static_cast<::DWORD>(milliseconds);
    return ::setsockopt(native(socket), SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value) == 0
               ? 0
               : failFromWinsock();
}

int selectOne(SOCKET socket, bool forWrite, const TIMEVAL& timeout) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(native(socket), &set);
    timeval wait{};
    wait.tv_sec = timeout.tv_sec;
    wait.tv_usec = timeout.tv_usec;
    const int ready = ::select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &wait);
    return ready == SOCKET_ERROR ? failFromWinsock() : ready;
}

}  // namespace

int wsaStartup() { return 0; }

int wsaCleanup() { return 0; }

int wsaGetLastError() { return t_lastError; }

SOCKET tcpSocket() {
    if (!started()) {
        fail(WSASYSNOTREADY);
        return INVALID_SOCKET;
    }
    // Not inherited: a process started meanwhile must not keep a printer's
    // connection open.
    const ::SOCKET socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == ::SOCKET(~0)) {
        failFromWinsock();
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(socket);
}

int setSendTimeout(SOCKET socket, DWORD milliseconds) { return setTimeout(socket, SO_SNDTIMEO, milliseconds); }

int setReceiveTimeout(SOCKET socket, DWORD milliseconds) { return setTimeout(socket, SO_RCVTIMEO, milliseconds); }

int setNonBlocking(SOCKET socket, bool nonBlocking) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    u_long mode = nonBlocking ? 1 : 0;
    return ::ioctlsocket(native(socket), FIONBIO, &mode) == 0 ? 0 : failFromWinsock();
}

int bindAny(SOCKET socket) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    return ::bind(native(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 ? 0
                                                                                                 : failFromWinsock();
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
    return ::connect(native(socket), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0
               ? 0
               : failFromWinsock();
}

int selectWritable(SOCKET socket, const TIMEVAL& timeout) { return selectOne(socket, true, timeout); }

int selectReadable(SOCKET socket, const TIMEVAL& timeout) { return selectOne(socket, false, timeout); }

int send(SOCKET socket, const BYTE* data, int length) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    if (length < 0 || (data == nullptr && length > 0)) {
        return fail(WSAEFAULT);
    }
    const int sent = ::send(native(socket), reinterpret_cast<const char*>(data), length, 0);
    return sent == SOCKET_ERROR ? failFromWinsock() : sent;
}

int recv(SOCKET socket, BYTE* buffer, int length) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    if (length < 0 || (buffer == nullptr && length > 0)) {
        return fail(WSAEFAULT);
    }
    const int got = ::recv(native(socket), reinterpret_cast<char*>(buffer), length, 0);
    return got == SOCKET_ERROR ? failFromWinsock() : got;
}

// SIO_TCP_INFO (Windows 10 1703 on) tells the bytes sent and not yet
// acknowledged; an older stack, or Wine, cannot tell (SOCKET_ERROR).
int unsentBytes(SOCKET socket) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    constexpr DWORD kSioTcpInfo = 0xD8000027;  // _WSAIORW(IOC_VENDOR, 39)
    struct TcpInfoV0 {
        DWORD state;
        ULONG mss;
        ULONG64 connectionTimeMs;
        BOOLEAN timestampsEnabled;
        ULONG rttUs;
        ULONG minRttUs;
        ULONG bytesInFlight;
        ULONG cwnd;
        ULONG sndWnd;
        ULONG rcvWnd;
        ULONG rcvBuf;
        ULONG64 bytesOut;
        ULONG64 bytesIn;
        ULONG bytesReordered;
        ULONG bytesRetrans;
        ULONG fastRetrans;
        ULONG dupAcksIn;
        ULONG timeoutEpisodes;
        UCHAR synRetrans;
    };
    DWORD version = 0;
    TcpInfoV0 info{};
    ::DWORD returned = 0;
    if (::WSAIoctl(native(socket), kSioTcpInfo, &version, sizeof version, &info, sizeof info, &returned, nullptr,
                   nullptr) != 0) {
        return failFromWinsock();
    }
    return static_cast<int>(info.bytesInFlight);
}

int shutdownSocket(SOCKET socket, int how) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    if (how != SD_SEND) {
        return fail(WSAEINVAL);
    }
    return ::shutdown(native(socket), SD_SEND) == 0 ? 0 : failFromWinsock();
}

int closeSocket(SOCKET socket) {
    if (!usable(socket)) {
        return fail(WSAENOTSOCK);
    }
    return ::closesocket(native(socket)) == 0 ? 0 : failFromWinsock();
}

SOCKET duplicateSocket(SOCKET socket) {
    if (!usable(socket)) {
        fail(WSAENOTSOCK);
        return INVALID_SOCKET;
    }
    WSAPROTOCOL_INFOW info{};
    if (::WSADuplicateSocketW(native(socket), ::GetCurrentProcessId(), &info) != 0) {
        failFromWinsock();
        return INVALID_SOCKET;
    }
    const ::SOCKET copy = ::WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0,
                                       WSA_FLAG_NO_HANDLE_INHERIT);
    if (copy == ::SOCKET(~0)) {
        failFromWinsock();
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(copy);
}

}  // namespace platform
