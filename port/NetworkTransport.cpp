#include "NetworkTransport.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "platform/inputwait.h"
#include "platform/socket.h"
#include "StatusArrivals.h"
#include "portlink/PortlinkTesting.h"

namespace port {

using namespace platform;

namespace {

constexpr WORD kDataPort = 9100;
constexpr WORD kStatusPort = 4000;

// The address entry holds a dotted IPv4 address and its NUL.
constexpr std::size_t kAddressSize = 16;

constexpr DWORD kSocketTimeoutMs = 5000;
// A printer that is there answers a connect at once; three seconds cover a
// busy network without holding an open for long.
constexpr TIMEVAL kConnectWait{3, 0};
constexpr TIMEVAL kReconnectWait{3, 1000};
// The printer answers a status request within this.
constexpr auto kStatusAnswerTime = std::chrono::milliseconds(100);
// A send the printer does not take is retried for as long as the socket's
// send time-out; between tries the socket is watched for room, 10 ms at most.
constexpr auto kSendStall = std::chrono::milliseconds(kSocketTimeoutMs);
constexpr TIMEVAL kSendRetryWait{0, 10000};
// After this long without a write the data connection is assumed dead (a
// printer or a router on the way may have dropped it silently) and made
// anew before the next write.
constexpr DWORD kIdleReconnectMs = 120000;

constexpr BYTE kStatusRequest[] = {0x1B, 0x76};

using SteadyClock = std::chrono::steady_clock;

bool isOpen(SOCKET socket) { return socket != INVALID_SOCKET && socket != 0; }

// The data connection's handle. A status watcher takes its own duplicate
// under the lock every change takes, so it never duplicates a handle value
// that was closed meanwhile and given to another connection.
class DataSocket {
public:
    operator SOCKET() const { return m_socket.load(); }
    DataSocket& operator=(SOCKET socket) {
        exchange(socket);
        return *this;
    }
    SOCKET exchange(SOCKET socket) {
        std::lock_guard lock(m_mutex);
        return m_socket.exchange(socket);
    }
    // INVALID_SOCKET while there is no connection.
    SOCKET duplicate() {
        std::lock_guard lock(m_mutex);
        const SOCKET socket = m_socket.load();
        return isOpen(socket) ? duplicateSocket(socket) : INVALID_SOCKET;
    }

private:
    std::mutex m_mutex;
    std::atomic<SOCKET> m_socket{0};
};

struct NetSlot {
    // Written under the open lock and read by reconnects, hence its own lock.
    std::mutex addressMutex;
    char address[kAddressSize] = {};
    bool inUse = false;  // under the open lock
    std::atomic<int32_t> openCount{0};
    // 0 before the first connect, INVALID_SOCKET when closed. Replaced only
    // under both transfer locks, or under the one lock of the transfer that
    // owns the socket.
    DataSocket dataSocket;
    std::atomic<SOCKET> statusSocket{0};
    CriticalSection writeLock;
    CriticalSection readLock;
    // The last status answer; under readLock.
    StatusBlock receiveBuffer{};
    // The automatic status that arrives on the data connection.
    StatusArrivals arrivals;

    std::string currentAddress() {
        std::lock_guard lock(addressMutex);
        return address;
    }
};

std::array<NetSlot, kNetSlots>& slots() {
    static std::array<NetSlot, kNetSlots> table;
    return table;
}

NetSlot& slotAt(int32_t portIndex) { return slots()[static_cast<std::size_t>(portIndex - kFirstNet)]; }

// One time stamp for all slots, as the printers share one idle rule.
std::atomic<DWORD> g_lastWrite{0};
std::atomic<TickSource> g_tickSource{nullptr};

DWORD now() {
    const TickSource source = g_tickSource;
    return source != nullptr ? source() : tickCount();
}

template <typename Socket>
void closeIfOpen(Socket& socket) {
    const SOCKET old = socket.exchange(INVALID_SOCKET);
    if (isOpen(old)) {
        closeSocket(old);
    }
}

TIMEVAL timevalUntil(SteadyClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - SteadyClock::now()).count();
    if (left <= 0) {
        return TIMEVAL{};
    }
    return TIMEVAL{static_cast<long>(left / 1000000), static_cast<long>(left % 1000000)};
}

// Reads and drops what the printer has sent: late status answers, or the
// automatic status on a data connection, where bytes left unread would make
// the close a reset. The count dropped; 0 also at the end of the stream.
std::size_t discardInput(SOCKET socket) {
    BYTE scratch[512];
    std::size_t dropped = 0;
    for (int count = 0; (count = recv(socket, scratch, sizeof scratch)) > 0;) {
        dropped += static_cast<std::size_t>(count);
    }
    return dropped;
}

// After the half-close: waits until the printer has taken every byte sent
// and ends its side of the stream, reading and dropping what it sends
// meanwhile. A slow printer is waited for as long as it keeps taking data;
// one that takes nothing for kSendStall is given up. Once everything is
// acknowledged, the end of its stream is waited for a short while more, as
// the last bytes may still sit in its receive buffer. A stack that cannot
// tell its queue (Wine's Winsock, Windows before 10) may still hold bytes
// of its own: the printer's end of stream is then waited for as long as
// for a printer that stalls. True when the printer acknowledged everything.
bool waitForPrinterToFinish(SOCKET socket) {
    constexpr auto kFinishWait = std::chrono::milliseconds(1000);
    // How often the send queue is looked at while nothing arrives.
    constexpr auto kQueueCheck = std::chrono::milliseconds(20);
    auto lastProgress = SteadyClock::now();
    int lastUnsent = unsentBytes(socket);
    const bool queueKnown = lastUnsent != SOCKET_ERROR;
    for (;;) {
        const int unsent = std::max(unsentBytes(socket), 0);
        if (unsent < lastUnsent) {
            lastProgress = SteadyClock::now();
        }
        lastUnsent = unsent;
        const auto deadline = lastProgress + (unsent > 0 || !queueKnown ? kSendStall : kFinishWait);
        const auto current = SteadyClock::now();
        if (current >= deadline) {
            return unsent == 0;
        }
        const auto wait = std::min<SteadyClock::duration>(deadline - current, kQueueCheck);
        if (selectReadable(socket, timevalUntil(current + wait)) != 1) {
            continue;
        }
        BYTE scratch[512];
        const int count = recv(socket, scratch, sizeof scratch);
        if (count == 0) {
            // The printer read to our end of stream and closed its side.
            return true;
        }
        if (count < 0 && wsaGetLastError() != WSAEWOULDBLOCK) {
            return std::max(unsentBytes(socket), 0) == 0;
        }
    }
}

// Closing a socket whose receive queue still holds bytes (the printer's
// automatic status) makes the stack reset the connection, and the printer
// then drops the print data it has not read yet: a receipt already reported
// as sent would be lost. So the data connection is drained and half-closed,
// and the printer given the time its queued bytes need. False when the
// printer stopped taking data and the rest had to be given up.
bool closeDataSocketGracefully(DataSocket& socket) {
    const SOCKET old = socket.exchange(INVALID_SOCKET);
    if (!isOpen(old)) {
        return true;
    }
    discardInput(old);
    bool taken = std::max(unsentBytes(old), 0) == 0;
    if (shutdownSocket(old, SD_SEND) == 0) {
        taken = waitForPrinterToFinish(old);
    }
    closeSocket(old);
    return taken;
}

enum class Connect { Done, WaitFailed, TimedOut };

// A connect that does not complete at once is waited for; a refused one
// shows up as a time-out (see selectWritable).
Connect connectWithin(SOCKET socket, const std::string& address, WORD port, const TIMEVAL& wait) {
    bindAny(socket);
    if (connectIPv4(socket, address.c_str(), port) == 0) {
        return Connect::Done;
    }
    const int ready = selectWritable(socket, wait);
    if (ready == SOCKET_ERROR) {
        return Connect::WaitFailed;
    }
    return ready == 0 ? Connect::TimedOut : Connect::Done;
}

// Opens a non-blocking socket connected to address:port. Step codes in the
// order: socket, time-out option, non-blocking, wait failed, timed out.
struct ConnectSteps {
    int32_t socket, option, nonBlocking, waitFailed, timedOut;
};

Outcome connectSocket(const std::string& address, WORD port, bool sendTimeout, const TIMEVAL& wait,
                      const ConnectSteps& steps, SOCKET* connected) {
    const SOCKET socket = tcpSocket();
    if (socket == INVALID_SOCKET) {
        return failed(0, steps.socket, wsaGetLastError());
    }
    auto fail = [socket](int32_t step, int32_t error) {
        closeSocket(socket);
        return failed(0, step, error);
    };
    const int option = sendTimeout ? setSendTimeout(socket, kSocketTimeoutMs) : setReceiveTimeout(socket, kSocketTimeoutMs);
    if (option == SOCKET_ERROR) {
        return fail(steps.option, wsaGetLastError());
    }
    if (setNonBlocking(socket, true) == SOCKET_ERROR) {
        return fail(steps.nonBlocking, wsaGetLastError());
    }
    switch (connectWithin(socket, address, port, wait)) {
    case Connect::WaitFailed: return fail(steps.waitFailed, wsaGetLastError());
    case Connect::TimedOut: return fail(steps.timedOut, 0);
    case Connect::Done: break;
    }
    *connected = socket;
    return succeeded(1, 0);
}

// The first connect of a slot: both connections, or neither.
Outcome connectSlot(NetSlot& slot, const std::string& address) {
    // A half-connected slot may have another user whose transfers wait here.
    std::lock_guard readLock(slot.readLock);
    std::lock_guard writeLock(slot.writeLock);
    if (wsaStartup() != 0) {
        wsaCleanup();
        return failed(-1, 61, wsaGetLastError());
    }
    closeIfOpen(slot.dataSocket);
    closeIfOpen(slot.statusSocket);
    SOCKET data = INVALID_SOCKET;
    SOCKET status = INVALID_SOCKET;
    Outcome outcome = connectSocket(address, kDataPort, true, kConnectWait, {63, 67, 71, 77, 79}, &data);
    if (outcome.result != 0) {
        outcome = connectSocket(address, kStatusPort, false, kConnectWait, {65, 69, 73, 83, 85}, &status);
        if (outcome.result == 0) {
            closeSocket(data);
        }
    }
    if (outcome.result == 0) {
        return failed(-1, outcome.stepCode, outcome.sysError);
    }
    slot.dataSocket = data;
    slot.statusSocket = status;
    slot.openCount = slot.openCount + 1;
    slot.inUse = true;
    {
        std::lock_guard lock(slot.addressMutex);
        std::memcpy(slot.address, address.c_str(), address.size() + 1);
    }
    g_lastWrite = now();
    return succeeded(1, 60);
}

// ReOpenNetPort's work; under writeLock.
Outcome reconnectData(NetSlot& slot) {
    if (slot.dataSocket != INVALID_SOCKET) {
        return succeeded(1, 22);
    }
    if (wsaStartup() != 0) {
        wsaCleanup();
        return failed(0, 21, wsaGetLastError());
    }
    SOCKET data = INVALID_SOCKET;
    const Outcome outcome =
        connectSocket(slot.currentAddress(), kDataPort, true, kReconnectWait, {23, 25, 27, 31, 33}, &data);
    if (outcome.result == 0) {
        return outcome;
    }
    slot.dataSocket = data;
    return succeeded(1, 24);
}

// ReadPort's first step on a half-connected slot; under readLock.
Outcome reconnectStatus(NetSlot& slot) {
    if (wsaStartup() != 0) {
        return failed(0, 41, wsaGetLastError());
    }
    SOCKET status = INVALID_SOCKET;
    const Outcome outcome =
        connectSocket(slot.currentAddress(), kStatusPort, true, kReconnectWait, {43, 45, 47, 51, 53}, &status);
    if (outcome.result == 0) {
        return outcome;
    }
    slot.statusSocket = status;
    return succeeded(1, 40);
}

// Waits for the answer to a status request: up to 4 bytes within the
// printer's answer time. Returns the count (1-4), or 0 with *error set when
// nothing came or the connection is gone.
int receiveAnswer(SOCKET socket, BYTE* reply, int* error) {
    const auto deadline = SteadyClock::now() + kStatusAnswerTime;
    int got = 0;
    while (got < 4) {
        const int count = recv(socket, reply + got, 4 - got);
        if (count > 0) {
            got += count;
            continue;
        }
        if (count == 0) {
            // The printer closed the connection: no answer will ever come.
            *error = WSAECONNRESET;
            return 0;
        }
        const int failure = wsaGetLastError();
        if (failure != WSAEWOULDBLOCK) {
            *error = failure;
            return 0;
        }
        if (SteadyClock::now() >= deadline) {
            *error = WSAEWOULDBLOCK;
            return got;
        }
        selectReadable(socket, timevalUntil(deadline));
    }
    return got;
}

// One watch of the data connection for automatic status, on a handle of its
// own. What arrived is read and dropped here: the status request of the
// next ReadPort gets the block itself, in the order the printer answers.
InputWait watchData(NetSlot& slot, DWORD waitMs, InputWake& wake) {
    const SOCKET watched = slot.openCount > 0 ? slot.dataSocket.duplicate() : INVALID_SOCKET;
    if (watched == INVALID_SOCKET) {
        return wake.wait(waitMs);
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(waitMs);
    InputWait seen = waitForSocketInput(watched, waitMs, wake);
    if (seen == InputWait::Arrived) {
        BYTE scratch[512];
        int count = recv(watched, scratch, sizeof scratch);
        if (count > 0) {
            while (recv(watched, scratch, sizeof scratch) > 0) {
            }
        } else if (count == 0 || wsaGetLastError() != WSAEWOULDBLOCK) {
            // The printer ended the stream, or the connection failed:
            // readable for good, and nothing will arrive on it.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
            seen = wake.wait(static_cast<DWORD>(std::max<std::int64_t>(left, 0)));
        } else {
            // A writer drained it first, and told the readers.
            seen = InputWait::TimedOut;
        }
    }
    closeSocket(watched);
    return seen;
}

}  // namespace

void setTickSourceForTesting(TickSource source) { g_tickSource = source; }

Outcome openNetworkPort(const std::string& portValue, const DeviceClasses& classes, int32_t* portIndex) {
    const std::string address = portValue.substr(3);
    *portIndex = -1;
    if (address.size() >= kAddressSize) {
        // No dotted IPv4 address is this long, and the entry cannot hold it.
        return failed(-1, 5);
    }
    auto& table = slots();
    auto found = std::find_if(table.begin(), table.end(), [&address](NetSlot& slot) {
        return slot.currentAddress() == address;
    });
    if (found == table.end()) {
        found = std::find_if(table.begin(), table.end(), [](const NetSlot& slot) { return !slot.inUse; });
    }
    if (found == table.end()) {
        return failed(-1, 5);
    }
    NetSlot& slot = *found;
    *portIndex = kFirstNet + static_cast<int32_t>(found - table.begin());
    if (isOpen(slot.dataSocket)) {
        slot.openCount = slot.openCount + 1;
        return succeeded(1, 2);
    }
    if (slot.openCount == 0) {
        std::lock_guard lock(slot.readLock);
        slot.receiveBuffer = defaultStatusBlock(classes.modelClass);
    }
    return connectSlot(slot, address);
}

Outcome writeNetworkPort(int32_t portIndex, const BYTE* data, int32_t length) {
    NetSlot& slot = slotAt(portIndex);
    std::lock_guard lock(slot.writeLock);
    if (slot.openCount == 0) {
        return failed(0, 1);
    }
    const DWORD started = now();
    if (started - g_lastWrite > kIdleReconnectMs) {
        if (!closeDataSocketGracefully(slot.dataSocket)) {
            // What an earlier write handed over never reached the printer.
            return failed(0, 5, WSAETIMEDOUT);
        }
        const Outcome reopened = reconnectData(slot);
        if (reopened.result == 0) {
            g_lastWrite = started;
            return reopened;
        }
    }
    g_lastWrite = started;

    const SOCKET socket = slot.dataSocket;
    int32_t sent = 0;
    auto lastProgress = SteadyClock::now();
    while (sent < length) {
        const int count = send(socket, data + sent, length - sent);
        if (count > 0) {
            sent += count;
            lastProgress = SteadyClock::now();
            continue;
        }
        const int error = wsaGetLastError();
        if (error != WSAEWOULDBLOCK) {
            return failed(0, 3, error);
        }
        // The printer's automatic status arrives here too; left to pile up,
        // it would hold the printer's own sends back. A status watcher that
        // did not see it learns of it all the same.
        if (discardInput(socket) > 0) {
            slot.arrivals.arrived();
        }
        if (SteadyClock::now() - lastProgress >= kSendStall) {
            return failed(0, 5, WSAETIMEDOUT);
        }
        selectWritable(socket, kSendRetryWait);
    }
    return succeeded(1, 4);
}

Outcome readNetworkPort(int32_t portIndex, BYTE* buffer) {
    NetSlot& slot = slotAt(portIndex);
    std::lock_guard lock(slot.readLock);
    if (slot.openCount == 0) {
        return failed(0, 1);
    }
    if (slot.statusSocket == INVALID_SOCKET) {
        if (const Outcome reconnected = reconnectStatus(slot); reconnected.result == 0) {
            return reconnected;
        }
    }
    const SOCKET socket = slot.statusSocket;
    // Answers that came too late for an earlier request would be taken for
    // the answer to this one.
    discardInput(socket);
    send(socket, kStatusRequest, sizeof kStatusRequest);
    BYTE reply[4];
    int error = 0;
    const int got = receiveAnswer(socket, reply, &error);
    if (got == 0) {
        // The printer is treated as gone until a reconnect (ReOpenNetPort or
        // the idle rule, and the next ReadPort) finds it again. A late answer
        // is no reason to drop print data, though: the data connection goes
        // only while no write runs on it and the printer has acknowledged
        // everything written. Otherwise it stays, ReOpenNetPort finds it
        // connected, and a printer that is really gone fails the writes.
        closeIfOpen(slot.statusSocket);
        if (slot.writeLock.tryEnter()) {
            std::lock_guard writeLock(slot.writeLock, std::adopt_lock);
            const SOCKET data = slot.dataSocket;
            if (isOpen(data) && std::max(unsentBytes(data), 0) == 0) {
                closeDataSocketGracefully(slot.dataSocket);
            }
        }
        return failed(0, 7, error);
    }
    std::copy(reply, reply + got, slot.receiveBuffer.begin());
    std::memcpy(buffer, slot.receiveBuffer.data(), slot.receiveBuffer.size());
    return succeeded(1, 4);
}

Outcome reopenNetworkPort(int32_t portIndex) {
    NetSlot& slot = slotAt(portIndex);
    std::lock_guard lock(slot.writeLock);
    if (slot.openCount == 0) {
        return failed(0, 1);
    }
    return reconnectData(slot);
}

Outcome closeNetworkPort(int32_t portIndex) {
    NetSlot& slot = slotAt(portIndex);
    if (slot.openCount <= 0) {
        return failed(1, 2);
    }
    slot.openCount = slot.openCount - 1;
    if (slot.openCount > 0) {
        return succeeded(1, 2);
    }
    std::lock_guard readLock(slot.readLock);
    std::lock_guard writeLock(slot.writeLock);
    const bool taken = closeDataSocketGracefully(slot.dataSocket);
    closeIfOpen(slot.statusSocket);
    slot.inUse = false;
    {
        std::lock_guard lock(slot.addressMutex);
        std::memset(slot.address, 0, sizeof slot.address);
    }
    // ClosePort cannot fail, but a printer that stopped taking data before
    // it had everything is not passed over in silence.
    return {1, 2, taken ? wsaGetLastError() : WSAETIMEDOUT};
}

int32_t waitNetworkStatus(int32_t portIndex, std::uint64_t* mark, DWORD timeoutMs) {
    NetSlot& slot = slotAt(portIndex);
    return slot.arrivals.wait(mark, timeoutMs,
                              [&slot](DWORD waitMs, InputWake& wake) { return watchData(slot, waitMs, wake); });
}

void wakeNetworkStatus(int32_t portIndex) { slotAt(portIndex).arrivals.wake(); }

}  // namespace port
