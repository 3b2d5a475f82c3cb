#include "ParallelTransport.h"

#include <cstring>

namespace port {

using namespace platform;

namespace {

// One status block serves every parallel port: a parallel printer's status
// arrives only when it has something to say, and the last word counts.
std::mutex g_statusMutex;
StatusBlock g_status = defaultStatusBlock(2);

StatusBlock sharedStatus() {
    std::lock_guard lock(g_statusMutex);
    return g_status;
}

void setSharedStatus(const StatusBlock& block) {
    std::lock_guard lock(g_statusMutex);
    g_status = block;
}

// How long a status read waits for the printer's block to start. A printer
// sends its block only when something changed, so this wait usually runs
// out; it is spent outside the port's lock, so that print data never waits
// behind it.
constexpr DWORD kBlockWaitMs = 3000;
// Time-outs of a parallel port, in milliseconds: how long a read under the
// port's lock waits for the rest of a block that has started, and how long
// a write waits for the printer to take its data (longer once the port has
// been reopened after a read).
constexpr DWORD kBlockRestWaitMs = 50;
constexpr DWORD kOpenWriteWaitMs = 2000;
constexpr DWORD kReopenedWriteWaitMs = 3000;

COMMTIMEOUTS portTimeouts(DWORD writeWaitMs) { return COMMTIMEOUTS{MAXDWORD, 0, kBlockRestWaitMs, 0, writeWaitMs}; }

constexpr BYTE kNoPrinter = PARALLEL_POWER_OFF | PARALLEL_NOT_CONNECTED;

bool offLine(BYTE status) { return (status & (PARALLEL_POWER_OFF | PARALLEL_OFF_LINE)) != 0; }

int32_t signExtended(BYTE status) { return static_cast<int8_t>(status); }

}  // namespace

Outcome openParallelPort(PortRecord& record, const std::string& portName) {
    setSharedStatus(defaultStatusBlock(record.modelClass));
    LONG error = ERROR_SUCCESS;
    auto channel = std::make_shared<ParallelChannel>();
    channel->port = ParallelPort::open(portName, &error);
    if (!channel->port) {
        record.handle = kClosed;
        return failed(-1, 29, error);
    }
    COMMTIMEOUTS timeouts;
    if (const LONG result = channel->port->getCommTimeouts(&timeouts); result != ERROR_SUCCESS) {
        record.handle = kClosed;
        return failed(-1, 31, result);
    }
    if (const LONG result = channel->port->setCommTimeouts(portTimeouts(kOpenWriteWaitMs)); result != ERROR_SUCCESS) {
        record.handle = kClosed;
        return failed(-1, 33, result);
    }
    record.setParallel(std::move(channel));
    const int32_t handle = newHandle();
    record.handle = handle;
    record.openCount = 1;
    record.kind = kPortPar;
    return succeeded(handle, 8);
}

Outcome writeParallelPort(PortRecord& record, const BYTE* data, int32_t length) {
    std::lock_guard lock(record.parallelLock);
    const auto channel = record.parallel();
    if (!channel) {
        return failed(0, 1, ERROR_INVALID_HANDLE);
    }
    DWORD written = 0;
    if (const LONG result = channel->port->write(data, static_cast<DWORD>(length), &written); result != ERROR_SUCCESS) {
        return failed(0, 1, result);
    }
    return succeeded(1, 2);
}

Outcome readParallelPort(PortRecord& record, BYTE* buffer) {
    if (const auto waiting = record.parallel()) {
        waiting->port->waitForInput(kBlockWaitMs);
    }
    std::lock_guard lock(record.parallelLock);
    const auto channel = record.parallel();
    if (!channel) {
        return failed(0, 1, ERROR_INVALID_HANDLE);
    }
    // The printer's status comes back through a read of the port, after
    // which the port has to be opened afresh before it takes data again.
    BYTE block[4] = {};
    DWORD got = 0;
    channel->port->read(block, sizeof block, &got);
    if (const LONG result = channel->port->reopen(); result != ERROR_SUCCESS) {
        // The port stays open for its users, whose references the handle
        // stands for (an open of a drawer on this port adds to them): the
        // next call opens the device by name again.
        return failed(0, 1, result);
    }
    record.handle = newHandle();
    COMMTIMEOUTS timeouts;
    if (const LONG result = channel->port->getCommTimeouts(&timeouts); result != ERROR_SUCCESS) {
        return failed(0, 3, result);
    }
    if (const LONG result = channel->port->setCommTimeouts(portTimeouts(kReopenedWriteWaitMs)); result != ERROR_SUCCESS) {
        return failed(0, 5, result);
    }
    if (got == sizeof block) {
        const StatusBlock status{block[0], block[1], block[2], block[3]};
        setSharedStatus(status);
        std::memcpy(buffer, status.data(), status.size());
        return {1, 22, -22};
    }
    const StatusBlock status = sharedStatus();
    std::memcpy(buffer, status.data(), status.size());
    return {1, 44, -44};
}

Outcome parallelPortStatus(PortRecord& record) {
    std::lock_guard lock(record.parallelLock);
    const auto channel = record.parallel();
    // A query that cannot be made is a printer that cannot be reached, never
    // one that is on line.
    auto query = [&channel]() {
        BYTE status = kNoPrinter;
        if (!channel || channel->port->queryInformation(&status) != ERROR_SUCCESS) {
            status = kNoPrinter;
        }
        return status;
    };
    const BYTE first = query();
    if (!offLine(first)) {
        return {0xF0, 6, signExtended(first)};
    }
    const BYTE second = query();
    if (!offLine(second)) {
        return {0xF0, 4, signExtended(second)};
    }
    return {0, 3, signExtended(second)};
}

void closeParallelPort(PortRecord& record) {
    std::lock_guard lock(record.parallelLock);
    record.setParallel(nullptr);
}

}  // namespace port
