#pragma once
// Parallel ports (LPT1-LPT4): synchronous writes, the status query, and the
// status read after which the port is opened afresh. Every call on a
// parallel port holds its parallelLock.
#include <memory>
#include <string>

#include "PortTable.h"
#include "platform/serial.h"

namespace port {

struct ParallelChannel {
    std::unique_ptr<platform::ParallelPort> port;
};

// The rest of OpenPort for a parallel port (the device key is closed).
Outcome openParallelPort(PortRecord& record, const std::string& portName);

Outcome writeParallelPort(PortRecord& record, const BYTE* data, int32_t length);
Outcome readParallelPort(PortRecord& record, BYTE* buffer);
Outcome parallelPortStatus(PortRecord& record);
// The last ClosePort: waits for a call under way, then closes the port.
void closeParallelPort(PortRecord& record);

}  // namespace port
