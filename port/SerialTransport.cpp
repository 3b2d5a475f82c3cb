#include "SerialTransport.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "schema/RegistrySchema.h"

namespace port {

using namespace platform;

namespace {

// How long a status read waits for bytes the printer is still sending.
constexpr DWORD kStatusReadWaitMs = 100;
// A block's four bytes follow each other at line speed: 17 ms at 2400
// baud, the slowest rate of the range.
constexpr auto kBlockArrivalTime = std::chrono::milliseconds(20);
// A write on a device whose TimeOut is 0.
constexpr DWORD kDefaultWriteWaitMs = 8000;

struct LineValue {
    const char* name;
    int32_t missingStep;
};

void configureLine(DCB& dcb, DWORD baudrate, DWORD handShake, DWORD parity) {
    dcb.DCBlength = 28;
    dcb.BaudRate = baudrate;
    // Every printer of the range frames 8 data bits and 1 stop bit, whatever
    // the device key says.
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    switch (parity) {
    case 0: dcb.fParity = 0; dcb.Parity = NOPARITY; break;
    case 1: dcb.fParity = 1; dcb.Parity = ODDPARITY; break;
    case 2: dcb.fParity = 1; dcb.Parity = EVENPARITY; break;
    default: break;
    }
    switch (handShake) {
    case 0:  // DTR/DSR
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 1;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        dcb.fDsrSensitivity = 0;
        break;
    case 1:  // RTS/CTS
        dcb.fOutxCtsFlow = 1;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        dcb.fDsrSensitivity = 0;
        break;
    case 2:  // XON/XOFF
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fOutX = 1;
        dcb.fInX = 1;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.fDsrSensitivity = 0;
        dcb.fTXContinueOnXoff = 0;
        break;
    default: break;
    }
}

void give(BYTE* buffer, const StatusBlock& block) { std::memcpy(buffer, block.data(), block.size()); }

// A byte that can start a status block.
bool looksLikeFirstByte(BYTE b) { return (b & 0x83) == 0 && (b & 0x10) == 0x10; }

bool misaligned(const StatusBlock& s) { return ((s[0] & 0x83) != 0 && (s[0] & 0x10) == 0) || s[3] != 0x0F; }

// Cancels a read left pending by a wait that gave up, so the driver never
// writes into a buffer that is gone.
void abandonRead(SerialChannel& channel) { channel.port->purge(PURGE_RXABORT); }

// Reads `count` bytes of a block the printer is still sending. The port's
// "return at once" time-outs would hand back only what is buffered, so for
// this read the port waits for all of them, bounded by the same 100 ms as
// the status read.
Outcome readFollowUp(SerialChannel& channel, BYTE* bytes, DWORD count, int32_t readStep, int32_t waitStep) {
    SerialPort& port = *channel.port;
    COMMTIMEOUTS saved;
    port.getCommTimeouts(&saved);
    port.setCommTimeouts(COMMTIMEOUTS{});
    DWORD got = 0;
    Outcome outcome = succeeded(1, 0);
    const LONG started = port.read(bytes, count, *channel.readEvent, &got);
    if (started == ERROR_IO_PENDING) {
        LONG error = ERROR_IO_PENDING;
        if (port.waitRead(*channel.readEvent, kStatusReadWaitMs, &got, &error) != WAIT_OBJECT_0) {
            abandonRead(channel);
            outcome = failed(0, waitStep, error);
        }
    } else if (started != ERROR_SUCCESS) {
        outcome = failed(0, readStep, started);
    }
    port.setCommTimeouts(saved);
    return outcome;
}

// A block laid out as the printers of `frame` send theirs.
bool alignedFor(StatusFrame frame, const BYTE* b) {
    switch (frame) {
    case StatusFrame::F60: return looksLikeFirstByte(b[0]) && (b[3] & ~0x02) == 0x6D;
    case StatusFrame::E50:
        // Cover 0x02, paper end 0x04, cutter 0x10 in the first byte; paper
        // end 0x06 and resume 0x40 in the second; the third always 0.
        return (b[0] & ~0x16) == 0 && (b[1] & ~0x46) == 0 && b[2] == 0 && b[3] == 0x0F;
    case StatusFrame::Common: break;
    }
    return looksLikeFirstByte(b[0]) && b[3] == 0x0F;
}

// Takes a backlog of `waiting` bytes off the line, behind the bytes an
// earlier read kept, and finds the newest block that is aligned for `frame`,
// at whatever offset it starts. What follows it (the
// start of the next block) is kept for the next read, and so is the tail of
// a backlog without any aligned block: a block that is not aligned is never
// handed out, since the service object would read its bytes as cover or
// paper states that are not there. When fewer than four bytes are at hand,
// the rest is waited for as briefly as for any status block.
bool readNewestAlignedBlock(SerialChannel& channel, StatusFrame frame, DWORD waiting, StatusBlock* newest) {
    constexpr std::size_t kMostDrained = 1024;
    std::vector<BYTE> bytes = std::move(channel.kept);
    channel.kept.clear();
    const std::size_t held = bytes.size();
    const std::size_t available = std::min<std::size_t>(held + waiting, kMostDrained);
    const std::size_t wanted = available < 4 ? 4 - held : available - held;
    bytes.resize(held + wanted);
    DWORD got = 0;
    if (available < 4) {
        if (readFollowUp(channel, bytes.data() + held, static_cast<DWORD>(wanted), 0, 0).result != 0) {
            got = static_cast<DWORD>(wanted);
        }
    } else if (wanted > 0) {
        const LONG started = channel.port->read(bytes.data() + held, static_cast<DWORD>(wanted), *channel.readEvent, &got);
        if (started == ERROR_IO_PENDING) {
            LONG error = ERROR_IO_PENDING;
            if (channel.port->waitRead(*channel.readEvent, kStatusReadWaitMs, &got, &error) != WAIT_OBJECT_0) {
                abandonRead(channel);
                got = 0;
            }
        } else if (started != ERROR_SUCCESS) {
            got = 0;
        }
    }
    bytes.resize(held + got);
    auto keepTail = [&channel, &bytes](std::size_t from) {
        const std::size_t start = std::max(from, bytes.size() >= 3 ? bytes.size() - 3 : 0);
        channel.kept.assign(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(start, bytes.size())), bytes.end());
    };
    for (std::size_t at = bytes.size() >= 4 ? bytes.size() - 4 + 1 : 0; at-- > 0;) {
        if (alignedFor(frame, bytes.data() + at)) {
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 4, newest->begin());
            keepTail(at + 4);
            return true;
        }
    }
    keepTail(0);
    return false;
}

}  // namespace

Outcome openSerialPort(PortRecord& record, const std::string& portName, schema::RegKey& key) {
    static constexpr LineValue kValues[] = {
        {schema::value::BitLengthAsRead, 35}, {schema::value::Baudrate, 37}, {schema::value::HandShakeAsRead, 39},
        {schema::value::Parity, 41},          {schema::value::StopBit, 43},
    };
    DWORD values[std::size(kValues)] = {};
    for (std::size_t i = 0; i < std::size(kValues); ++i) {
        if (key.readDword(kValues[i].name, &values[i]) != ERROR_SUCCESS) {
            key.close();
            return failed(-1, kValues[i].missingStep);
        }
    }
    const DWORD baudrate = values[1];
    const DWORD handShake = values[2];
    const DWORD parity = values[3];
    key.close();

    LONG error = ERROR_SUCCESS;
    auto channel = std::make_shared<SerialChannel>();
    channel->port = SerialPort::open(portName, &error);
    if (!channel->port) {
        record.handle = kClosed;
        return failed(-1, 45, error);
    }
    // From here a failure drops the channel, which closes the port and the
    // events it already has.
    auto fail = [&record](int32_t step, LONG systemError) {
        record.handle = kClosed;
        return failed(-1, step, systemError);
    };
    DCB dcb;
    if (const LONG result = channel->port->getCommState(&dcb); result != ERROR_SUCCESS) {
        return fail(47, result);
    }
    configureLine(dcb, baudrate, handShake, parity);
    if (const LONG result = channel->port->setCommState(dcb); result != ERROR_SUCCESS) {
        return fail(49, result);
    }
    COMMTIMEOUTS timeouts;
    if (const LONG result = channel->port->getCommTimeouts(&timeouts); result != ERROR_SUCCESS) {
        return fail(51, result);
    }
    // A read returns at once with what is buffered: the status reader decides
    // itself whether to wait.
    timeouts = COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 0};
    if (const LONG result = channel->port->setCommTimeouts(timeouts); result != ERROR_SUCCESS) {
        return fail(53, result);
    }
    channel->port->purge(PURGE_TXCLEAR | PURGE_RXCLEAR);
    channel->writeEvent = IoEvent::create(&error);
    if (!channel->writeEvent) {
        return fail(55, error);
    }
    channel->readEvent = IoEvent::create(&error);
    if (!channel->readEvent) {
        return fail(57, error);
    }
    record.setSerial(std::move(channel));
    const int32_t handle = newHandle();
    record.handle = handle;
    record.openCount = 1;
    record.kind = kPortCom;
    return succeeded(handle, 10);
}

DWORD serialWriteWaitMs(int32_t length, int32_t timeoutMs, int32_t recordTimeoutMs, int writeClass) {
    if (timeoutMs >= 1) {
        return static_cast<DWORD>(timeoutMs);
    }
    const std::uint64_t timeOut = static_cast<DWORD>(recordTimeoutMs);
    if (timeOut == 0) {
        return kDefaultWriteWaitMs;
    }
    // The slow mechanisms (write classes 1 and 2) need about eleven seconds
    // per thousand bytes; the others one.
    const bool slowPrinter = writeClass == 1 || writeClass == 2;
    std::uint64_t wait = 0;
    if (length <= 1000) {
        wait = slowPrinter ? timeOut * 2 : timeOut;
    } else {
        const std::uint64_t thousands = static_cast<std::uint64_t>(length) / 1000;
        wait = thousands * (slowPrinter ? 11000 : 1000) + timeOut;
    }
    return wait >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(wait);
}

Outcome writeSerialPort(PortRecord& record, const BYTE* data, int32_t length, int32_t timeoutMs) {
    std::lock_guard lock(record.writeLock);
    const auto channel = record.serial();
    if (!channel) {
        return failed(0, 13, ERROR_INVALID_HANDLE);
    }
    const LONG started = channel->port->write(data, static_cast<DWORD>(length), *channel->writeEvent);
    if (started == ERROR_SUCCESS) {
        return succeeded(1, 12);
    }
    if (started != ERROR_IO_PENDING) {
        return failed(0, 13, started);
    }
    const DWORD wait = serialWriteWaitMs(length, timeoutMs, record.timeoutMs, record.writeClass);
    // A wait that runs out leaves the write's own "pending" as the last error.
    LONG error = ERROR_IO_PENDING;
    if (channel->port->waitWrite(*channel->writeEvent, wait, &error) != WAIT_OBJECT_0) {
        channel->port->purge(PURGE_TXABORT | PURGE_TXCLEAR);
        return failed(0, 15, error);
    }
    return succeeded(1, 12);
}

Outcome readSerialPort(PortRecord& record, BYTE* buffer) {
    std::lock_guard lock(record.readLock);
    const auto channel = record.serial();
    StatusBlock status = record.status();
    if (!channel) {
        give(buffer, status);
        return failed(0, 15, ERROR_INVALID_HANDLE);
    }
    COMSTAT queues;
    if (channel->port->clearCommError(&queues) != ERROR_SUCCESS) {
        // A line that cannot be asked has nothing known to be waiting.
        queues = COMSTAT{};
    }
    channel->comStat = queues;
    const DWORD waiting = queues.cbInQue;
    if (waiting > 0) {
        // This read takes them: a reader waiting for them learns of them.
        ++channel->reads;
        record.arrivals.arrived();
    }
    const StatusFrame frame = record.frame;
    auto fromBacklog = [&](DWORD backlog) {
        if (!readNewestAlignedBlock(*channel, frame, backlog, &status)) {
            give(buffer, record.status());
            return failed(0, 41);
        }
        record.setStatus(status);
        give(buffer, status);
        return succeeded(1, 10);
    };
    if (waiting >= 5 || !channel->kept.empty()) {
        // More than a block is queued, or an earlier read kept the start of
        // one. Handing back the block read last and leaving the queue alone
        // would freeze the status for good, since nothing else ever drains
        // it; take the backlog off the line instead and hand out its newest
        // aligned block (the start of the next one is kept for the next read).
        return fromBacklog(waiting);
    }

    DWORD got = 0;
    const LONG started = channel->port->read(status.data(), 4, *channel->readEvent, &got);
    if (started == ERROR_IO_PENDING) {
        LONG error = ERROR_IO_PENDING;
        if (channel->port->waitRead(*channel->readEvent, kStatusReadWaitMs, &got, &error) != WAIT_OBJECT_0) {
            abandonRead(*channel);
            give(buffer, record.status());
            return failed(0, 17, error);
        }
    } else if (started != ERROR_SUCCESS) {
        give(buffer, record.status());
        return failed(0, 15, started);
    }
    if (frame == StatusFrame::E50 && (got < 4 || !alignedFor(frame, status.data()))) {
        // An E50's first byte never looks like the common layout's, so the
        // common repair cannot place it: find its block among these bytes
        // and the ones that follow instead.
        channel->kept.assign(status.begin() + (got < 4 ? 0 : 1), status.begin() + std::min<DWORD>(got, 4));
        status = record.status();
        return fromBacklog(channel->port->clearCommError(&queues) == ERROR_SUCCESS ? queues.cbInQue : 0);
    }
    record.setStatus(status);

    // Blocks are only repaired when bytes were waiting: then the read may
    // have started in the middle of one, and the rest is on its way.
    if (frame == StatusFrame::Common && waiting > 0 && misaligned(status)) {
        const BYTE s0 = status[0], s1 = status[1], s2 = status[2], s3 = status[3];
        BYTE more[3] = {};
        Outcome repaired;
        if (looksLikeFirstByte(s1) && (s2 & 0x92) == 0) {
            repaired = readFollowUp(*channel, more, 1, 19, 21);
            status = {s1, s2, s3, more[0]};
        } else if (looksLikeFirstByte(s2) && (s3 & 0x92) == 0) {
            repaired = readFollowUp(*channel, more, 2, 23, 25);
            status = {s2, s3, more[0], more[1]};
        } else if (looksLikeFirstByte(s3)) {
            repaired = readFollowUp(*channel, more, 3, 27, 29);
            status = {s3, more[0], more[1], more[2]};
        } else {
            StatusBlock marked;
            int32_t step = 0;
            if ((s1 & 0x80) != 0) {
                marked = {s2, s3, 0x00, 0xF0};
                step = 31;
            } else if ((s2 & 0x80) != 0) {
                marked = {s3, 0x00, 0x00, 0xF0};
                step = 33;
            } else if ((s0 & 0x80) != 0) {
                marked = {s1, s2, s3, 0xF0};
                step = 35;
            } else if ((s3 & 0x80) != 0) {
                marked = {s0, s1, s2, 0xF0};
                step = 37;
            } else {
                marked = {0x14, 0x00, 0x00, 0x0F};
                step = 39;
            }
            record.setStatus(marked);
            give(buffer, marked);
            return failed(0, step);
        }
        if (repaired.result == 0) {
            give(buffer, record.status());
            return repaired;
        }
        record.setStatus(status);
    }
    give(buffer, status);
    return succeeded(1, 10);
}

Outcome serialPortStatus(PortRecord& record) {
    DWORD lines = 0;
    if (const auto channel = record.serial()) {
        channel->port->getModemStatus(&lines);
    }
    return {static_cast<int32_t>(lines), 5, static_cast<int32_t>(lines)};
}

void wakeSerialPort(PortRecord& record) {
    if (const auto channel = record.serial()) {
        channel->writeEvent->set();
        channel->readEvent->set();
    }
}

void closeSerialPort(PortRecord& record) { record.setSerial(nullptr); }

int32_t waitSerialStatus(PortRecord& record, std::uint64_t* mark, DWORD timeoutMs) {
    return record.arrivals.wait(mark, timeoutMs, [&record](DWORD waitMs, InputWake& wake) {
        const auto channel = record.serial();
        if (!channel) {
            return wake.wait(waitMs);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        const InputWait seen = channel->port->waitForInput(waitMs, wake);
        if (seen == InputWait::Arrived && channel->reads.load() == channel->readsAtReport) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            return wake.wait(static_cast<DWORD>(std::max<std::int64_t>(left.count(), 0)));
        }
        if (seen == InputWait::Arrived) {
            channel->readsAtReport = channel->reads.load();
            // Woken by the first byte of a block, a read would take it
            // without the rest: the rest is given its time on the line.
            const auto until = std::chrono::steady_clock::now() + kBlockArrivalTime;
            COMSTAT queues;
            while (std::chrono::steady_clock::now() < until &&
                   channel->port->clearCommError(&queues) == ERROR_SUCCESS && queues.cbInQue < 4) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return seen;
    });
}

}  // namespace port
