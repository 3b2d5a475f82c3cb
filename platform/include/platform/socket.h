#pragma once
// Winsock 2.2 as the port library uses it for network printers: TCP/IPv4
// stream sockets, WSAStartup / WSACleanup, setsockopt SO_SNDTIMEO /
// SO_RCVTIMEO, ioctlsocket FIONBIO, bind, connect, select on one socket,
// send, recv, closesocket and WSAGetLastError.
//
// Results follow Winsock: a call returns 0 (or a count) on success and
// SOCKET_ERROR (-1) on failure, and the failure's WSA error number is then
// what wsaGetLastError() returns on the same thread (the number is per
// thread, as on Windows). The POSIX error numbers are translated here once:
// EAGAIN / EINPROGRESS -> WSAEWOULDBLOCK (10035, what Winsock reports for a
// non-blocking connect that is under way and for a transfer that would
// block), ECONNREFUSED -> WSAECONNREFUSED (10061), ETIMEDOUT ->
// WSAETIMEDOUT (10060), ECONNRESET and EPIPE -> WSAECONNRESET (10054),
// ENOTCONN -> WSAENOTCONN (10057), EBADF / ENOTSOCK -> WSAENOTSOCK
// (10038), EMFILE / ENFILE -> WSAEMFILE (10024), ENOBUFS / ENOMEM ->
// WSAENOBUFS (10055), EINVAL -> WSAEINVAL (10022), EADDRINUSE ->
// WSAEADDRINUSE (10048), EADDRNOTAVAIL -> WSAEADDRNOTAVAIL (10049),
// ENETDOWN / ENETUNREACH / EHOSTUNREACH -> WSAENETDOWN (10050) /
// WSAENETUNREACH (10051) / WSAEHOSTUNREACH (10065), ECONNABORTED ->
// WSAECONNABORTED (10053), EISCONN -> WSAEISCONN (10056), EINTR ->
// WSAEINTR (10004); anything else WSAEFAULT (10014).
//
// Differences a caller might trip over, and how they are settled:
// - A send never raises SIGPIPE: a connection the printer closed fails
//   with WSAECONNRESET, as on Windows.
// - A socket handle is never 0 (a valid descriptor 0 is moved), so 0 can
//   keep meaning "never opened" in a caller's table, and a call on 0 or on
//   INVALID_SOCKET fails with WSAENOTSOCK without touching descriptor 0.
// - selectWritable reports a socket writable only once its connection is
//   established, as Winsock's select does with only a write set: a refused
//   or failed connect shows up there in the exception set, which the
//   suite's callers do not ask for, so the wait runs to its time-out. A
//   printer that refuses the connection is therefore found missing after
//   the same time-out as one that is switched off.
//
// Thread safety: every call may be made from any thread; one socket may
// have a send and a recv under way on two threads at once. A socket must not
// be closed while another thread uses it.
#include <cstdint>

#include "platform/types.h"

namespace platform {

using SOCKET = std::intptr_t;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

constexpr int WSAEINTR = 10004;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;

// A select() time-out.
struct TIMEVAL {
    long tv_sec = 0;
    long tv_usec = 0;
};

// WSAStartup(MAKEWORD(2, 2)) and WSACleanup: nothing to initialise here;
// both succeed (0) and may be called any number of times, unbalanced.
int wsaStartup();
int wsaCleanup();

// The WSA error of this thread's last failed call (0 when none failed).
int wsaGetLastError();

// socket(AF_INET, SOCK_STREAM, 0): a blocking socket, or INVALID_SOCKET.
SOCKET tcpSocket();

// setsockopt SO_SNDTIMEO / SO_RCVTIMEO in milliseconds. They bound blocking
// transfers only; on a non-blocking socket they have no effect (as on
// Windows).
int setSendTimeout(SOCKET socket, DWORD milliseconds);
int setReceiveTimeout(SOCKET socket, DWORD milliseconds);

// ioctlsocket(FIONBIO).
int setNonBlocking(SOCKET socket, bool nonBlocking);

// bind to INADDR_ANY, port 0.
int bindAny(SOCKET socket);

// connect to a dotted IPv4 address ("192.168.1.20") and port. On a
// non-blocking socket a connection under way fails with WSAEWOULDBLOCK; a
// text that is not a dotted address fails with WSAEADDRNOTAVAIL, as the
// INADDR_NONE that inet_addr makes of it would. Blocking sockets block until
// the connection is made or refused.
int connectIPv4(SOCKET socket, const char* dottedAddress, WORD port);

// select with the socket in the write set only: 1 once the connection is
// established and the socket can send, 0 when the time-out passed,
// SOCKET_ERROR on a failure of the wait itself. Blocks at most the time-out.
int selectWritable(SOCKET socket, const TIMEVAL& timeout);

// select with the socket in the read set only: 1 when a recv would not
// block (data, end of stream or an error to report), 0 on time-out.
int selectReadable(SOCKET socket, const TIMEVAL& timeout);

// send: the number of bytes taken (possibly fewer than length), or
// SOCKET_ERROR (WSAEWOULDBLOCK when a non-blocking socket can take nothing
// now).
int send(SOCKET socket, const BYTE* data, int length);

// recv: the number of bytes received, 0 when the peer closed the
// connection, or SOCKET_ERROR (WSAEWOULDBLOCK when a non-blocking socket has
// nothing now).
int recv(SOCKET socket, BYTE* buffer, int length);

// shutdown with SD_SEND: no more data will be sent; the peer reads what was
// sent, then the end of the stream. Never blocks.
constexpr int SD_SEND = 1;
int shutdownSocket(SOCKET socket, int how);

// How many bytes sent on a stream socket the peer has not acknowledged yet
// (still in the local send queue or on the way), so a caller can tell
// whether a close would lose data the peer never took. SOCKET_ERROR when
// the stack cannot tell. Never blocks.
int unsentBytes(SOCKET socket);

// closesocket. Never blocks (no lingering).
int closeSocket(SOCKET socket);

// WSADuplicateSocket within the process: a second handle on the same
// connection, which stays open until both handles are closed. A thread
// that watches a connection another thread may close holds its own
// handle, so a handle value reused for some other connection is never
// watched by mistake. INVALID_SOCKET on failure.
SOCKET duplicateSocket(SOCKET socket);

}  // namespace platform
