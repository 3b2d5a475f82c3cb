#pragma once
// Serial ports (COM1-COM40): line settings from the device key, overlapped
// writes with time-outs by write class and length, and the status block
// reader that repairs misaligned frames.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PortTable.h"
#include "platform/serial.h"
#include "schema/RegKey.h"

namespace port {

struct SerialChannel {
    std::unique_ptr<platform::SerialPort> port;
    std::unique_ptr<platform::IoEvent> writeEvent;
    std::unique_ptr<platform::IoEvent> readEvent;
    // The queue counts of the last status read; under readLock.
    platform::COMSTAT comStat;
    // Status bytes taken off the line that may start the next block; under
    // readLock.
    std::vector<BYTE> kept;
    // Status reads that found bytes waiting, and their count when a watch
    // last reported bytes (the watcher's own): bytes nobody has read since
    // are not news again, or a line whose bytes cannot be read would wake
    // its readers without end.
    std::atomic<std::uint64_t> reads{0};
    std::uint64_t readsAtReport = ~std::uint64_t{0};
};

// The rest of OpenPort for a serial port: `key` is the open device key, with
// the line values still to be read; it is closed here.
Outcome openSerialPort(PortRecord& record, const std::string& portName, schema::RegKey& key);

// How long a serial write may take: timeoutMs when the caller gives one,
// else by the device's TimeOut, the length and the write class.
DWORD serialWriteWaitMs(int32_t length, int32_t timeoutMs, int32_t recordTimeoutMs, int writeClass);

Outcome writeSerialPort(PortRecord& record, const BYTE* data, int32_t length, int32_t timeoutMs);
Outcome readSerialPort(PortRecord& record, BYTE* buffer);
Outcome serialPortStatus(PortRecord& record);
void wakeSerialPort(PortRecord& record);
// WaitPortStatus: the automatic status arrives on the line.
int32_t waitSerialStatus(PortRecord& record, std::uint64_t* mark, DWORD timeoutMs);
void closeSerialPort(PortRecord& record);

}  // namespace port
