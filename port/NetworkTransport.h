#pragma once
// Network printers: a data connection to TCP port 9100 for everything
// written and a status connection to port 4000 for the status block, in 50
// slots (port indices 52-101) shared by every logical device on the same
// address.
#include <cstdint>
#include <string>

#include "PortTable.h"

namespace port {

// OpenPort for an upper-cased Port value "NET<address>".
Outcome openNetworkPort(const std::string& portValue, const DeviceClasses& classes, int32_t* portIndex);

Outcome writeNetworkPort(int32_t portIndex, const BYTE* data, int32_t length);
Outcome readNetworkPort(int32_t portIndex, BYTE* buffer);
Outcome reopenNetworkPort(int32_t portIndex);
Outcome closeNetworkPort(int32_t portIndex);
// WaitPortStatus and WakePortStatus: the automatic status arrives on the
// data connection.
int32_t waitNetworkStatus(int32_t portIndex, std::uint64_t* mark, DWORD timeoutMs);
void wakeNetworkStatus(int32_t portIndex);

}  // namespace port
