#pragma once
// USB printers, reached through the usblink library: loaded at the first USB
// open and unloaded after the last USB reference is closed; 8 slots found by
// the printer's InternalID; a lost device is reopened by the status reader
// while a writer waits up to 5 s for it.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "PortTable.h"

namespace port {

class UsbLibrary;

struct UsbChannel {
    // Keeps the library loaded while a transfer on this port runs.
    std::shared_ptr<UsbLibrary> library;
    // The device the status reader reopens when it is lost.
    DWORD internalId = 0;
    // Signalled when the status reader brings a lost device back.
    std::mutex backMutex;
    std::condition_variable back;
};

// The slot for a device: the one holding its InternalID, else the first
// free one. Under the open lock.
std::optional<int32_t> findUsbSlot(DWORD internalId);

// The rest of OpenPort for a USB port in `slot` (the device key is closed).
Outcome openUsbPort(PortRecord& record, int32_t slot, DWORD internalId);

// OpenPort of a USB port that is open already adds a reference.
void countUsbReference();

Outcome writeUsbPort(PortRecord& record, const BYTE* data, int32_t length);
Outcome readUsbPort(PortRecord& record, BYTE* buffer);
Outcome usbPortStatus(PortRecord& record);
// WaitPortStatus: the automatic status the device sends.
int32_t waitUsbStatus(PortRecord& record, std::uint64_t* mark, DWORD timeoutMs);
// Every ClosePort of a USB port: drops one USB reference, closes the device
// when the record's count reached 0, and unloads usblink after the last
// reference.
void closeUsbPort(PortRecord& record, int32_t slot);

}  // namespace port
