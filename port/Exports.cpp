// The eight exports: the steps every port kind shares, and the dispatch to
// the transports by port kind and port index.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <string>

#include "NetworkTransport.h"
#include "ParallelTransport.h"
#include "PortTable.h"
#include "SerialTransport.h"
#include "UsbTransport.h"
#include "platform/debug.h"
#include "portlink/portlink.h"
#include "schema/PortName.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace port {

namespace {

using platform::ERROR_SUCCESS;

// The Port value is read through a buffer of this size.
constexpr DWORD kPortValueSize = PORTLINK_PORT_NAME_SIZE;

void store(int32_t* target, int32_t value) {
    if (target != nullptr) {
        *target = value;
    }
}

int32_t report(const Outcome& outcome, int32_t* stepCode, int32_t* sysError) {
    store(stepCode, outcome.stepCode);
    store(sysError, outcome.sysError);
    return outcome.result;
}

// An argument no transport can work with.
Outcome refused(int32_t result) { return failed(result, 0); }

bool validIndex(int32_t portIndex) { return portIndex >= 0 && portIndex < kPortIndexEnd; }

// Runs an export's body; nothing thrown inside (running out of memory)
// crosses into the caller.
template <typename Body>
int32_t guarded(int32_t failedResult, int32_t* stepCode, int32_t* sysError, Body body) noexcept {
    try {
        return report(body(), stepCode, sysError);
    } catch (...) {
        return report(refused(failedResult), stepCode, sysError);
    }
}

std::string upperCased(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// The port index of "COM1"-"COM40" or "LPT1"-"LPT4", or -1.
int32_t indexOfPortName(const std::string& portName) {
    switch (schema::portKindForOpen(portName)) {
    case schema::PortKind::Serial: return *schema::portNumber(portName, "COM") - 1;
    case schema::PortKind::Parallel: return kFirstLpt + *schema::portNumber(portName, "LPT") - 1;
    default: return -1;
    }
}

Outcome openPort(const char* deviceClass, const char* deviceName, int32_t* portKind, int32_t* portIndex) {
    if (deviceClass == nullptr || deviceName == nullptr) {
        return failed(-1, 1);
    }
    std::lock_guard lock(openLock());
    const DeviceClasses classes = classesOf(deviceName);

    schema::RegKey key;
    if (key.open(platform::HKLM, schema::deviceKeyPath(deviceClass, deviceName), platform::KEY_READ) !=
        ERROR_SUCCESS) {
        platform::outputDebugString("打开端口——注册表失败.\r\n");
        return failed(-1, 1);
    }
    std::string portValue;
    if (key.readString(schema::value::Port, kPortValueSize, &portValue) != ERROR_SUCCESS) {
        key.close();
        platform::outputDebugString("打开端口——关闭注册表失败.\r\n");
        return failed(-1, 3);
    }
    portValue = upperCased(portValue);

    if (schema::portKindForOpen(portValue) == schema::PortKind::Network) {
        key.close();
        int32_t index = -1;
        const Outcome outcome = openNetworkPort(portValue, classes, &index);
        store(portIndex, index);
        if (outcome.result != -1) {
            store(portKind, kPortEth);
        }
        return outcome;
    }

    int32_t index = -1;
    int32_t usbSlot = -1;
    DWORD internalId = 0;
    if (schema::portKindForOpen(portValue) == schema::PortKind::Usb) {
        if (key.readDword(schema::value::InternalID, &internalId) != ERROR_SUCCESS) {
            key.close();
            return failed(-1, 7);
        }
        if (const auto slot = findUsbSlot(internalId)) {
            usbSlot = *slot;
            index = kFirstUsb + usbSlot;
        }
    } else {
        index = indexOfPortName(portValue);
    }
    store(portIndex, index);
    if (index < 0) {
        key.close();
        return failed(-1, 9);
    }

    PortRecord& record = portRecord(index);
    const int32_t handle = record.handle;
    if (handle != kNeverOpened && handle != kClosed) {
        record.openCount = record.openCount + 1;
        if (record.kind == kPortUsb) {
            countUsbReference();
        }
        key.close();
        store(portKind, record.kind);
        return succeeded(handle, 4);
    }
    if (record.openCount == 0) {
        // The port's first user names the printer behind it; a lost USB
        // device opened again keeps the classes it had.
        record.setClasses(classes);
        record.setStatus(defaultStatusBlock(classes.modelClass));
    }
    DWORD timeOut = 0;
    if (key.readDword(schema::value::TimeOut, &timeOut) != ERROR_SUCCESS) {
        platform::outputDebugString("打开端口——因超时关闭注册表失败.\r\n");
        key.close();
        return failed(-1, 11);
    }
    record.timeoutMs = static_cast<int32_t>(timeOut);

    Outcome outcome;
    int32_t kind = 0;
    if (usbSlot >= 0) {
        key.close();
        outcome = openUsbPort(record, usbSlot, internalId);
        kind = kPortUsb;
    } else if (index >= kFirstLpt) {
        key.close();
        outcome = openParallelPort(record, portValue);
        kind = kPortPar;
    } else {
        outcome = openSerialPort(record, portValue, key);
        kind = kPortCom;
    }
    if (outcome.result != -1) {
        store(portKind, kind);
    }
    return outcome;
}

Outcome closePort(int32_t portIndex) {
    if (!validIndex(portIndex)) {
        return refused(1);
    }
    std::lock_guard lock(openLock());
    if (portIndex >= kFirstNet) {
        return closeNetworkPort(portIndex);
    }
    PortRecord& record = portRecord(portIndex);
    // A port without references (never opened, or closed once too often)
    // has nothing to release; counting below zero would unbalance the USB
    // reference count and unload usblink under another port.
    if (record.handle == kNeverOpened || record.openCount <= 0) {
        return {1, 4, portIndex};
    }
    record.openCount = record.openCount - 1;
    const int32_t kind = record.kind;
    if (kind == kPortUsb) {
        closeUsbPort(record, portIndex - kFirstUsb);
        return succeeded(1, 6);
    }
    if (record.openCount == 0) {
        if (kind == kPortPar) {
            closeParallelPort(record);
        } else {
            closeSerialPort(record);
        }
        record.handle = kClosed;
    }
    return succeeded(1, 6);
}

// What a transfer on a record below kFirstNet that was never opened gets:
// nothing happens, and the call succeeds.
Outcome neverOpened(int32_t portIndex) { return {1, 6, portIndex}; }

Outcome writePort(int32_t portIndex, const uint8_t* data, int32_t length, int32_t timeoutMs) {
    if (!validIndex(portIndex) || length < 0 || (data == nullptr && length > 0)) {
        return refused(0);
    }
    if (portIndex >= kFirstNet) {
        return writeNetworkPort(portIndex, data, length);
    }
    PortRecord& record = portRecord(portIndex);
    if (record.kind == kPortPar) {
        return writeParallelPort(record, data, length);
    }
    if (record.handle == kNeverOpened) {
        return neverOpened(portIndex);
    }
    if (record.kind == kPortUsb) {
        return writeUsbPort(record, data, length);
    }
    return writeSerialPort(record, data, length, timeoutMs);
}

Outcome readPort(int32_t portIndex, uint8_t* buffer) {
    if (!validIndex(portIndex) || buffer == nullptr) {
        return refused(0);
    }
    if (portIndex >= kFirstNet) {
        return readNetworkPort(portIndex, buffer);
    }
    PortRecord& record = portRecord(portIndex);
    if (record.kind == kPortPar) {
        return readParallelPort(record, buffer);
    }
    if (record.handle == kNeverOpened) {
        return neverOpened(portIndex);
    }
    if (record.kind == kPortUsb) {
        return readUsbPort(record, buffer);
    }
    return readSerialPort(record, buffer);
}

Outcome portStatus(int32_t portIndex) {
    if (!validIndex(portIndex)) {
        return refused(0);
    }
    if (portIndex < kFirstNet) {
        PortRecord& record = portRecord(portIndex);
        switch (record.kind) {
        case kPortUsb: return usbPortStatus(record);
        case kPortPar: return parallelPortStatus(record);
        case kPortCom: return serialPortStatus(record);
        default: break;
        }
    }
    return {0xF0, 8, kSysSucceeded};
}

}  // namespace

}  // namespace port

using namespace port;

extern "C" {

int32_t OpenPort(const char* deviceClass, const char* deviceName, int32_t* portKind, int32_t* portIndex,
                 int32_t /*modelParamIgnored*/, int32_t* stepCode, int32_t* sysError) {
    return guarded(-1, stepCode, sysError, [&] { return openPort(deviceClass, deviceName, portKind, portIndex); });
}

int32_t ClosePort(int32_t portIndex, int32_t /*handleIgnored*/, int32_t /*modelParamIgnored*/, int32_t* stepCode,
                  int32_t* sysError) {
    return guarded(1, stepCode, sysError, [&] { return closePort(portIndex); });
}

int32_t ReadPort(int32_t portIndex, int32_t /*handleIgnored*/, uint8_t* buffer, int32_t /*lengthIgnored*/,
                 int32_t /*timeoutMsIgnored*/, int32_t /*modelParamIgnored*/, int32_t* stepCode,
                 int32_t* sysError) {
    return guarded(0, stepCode, sysError, [&] { return readPort(portIndex, buffer); });
}

int32_t WritePort(int32_t portIndex, int32_t /*handleIgnored*/, const uint8_t* data, int32_t length,
                  int32_t timeoutMs, int32_t /*modelParamIgnored*/, int32_t* stepCode, int32_t* sysError) {
    return guarded(0, stepCode, sysError, [&] { return writePort(portIndex, data, length, timeoutMs); });
}

int32_t GetPortStatus(int32_t portIndex, int32_t /*handleIgnored*/, uint8_t* /*bufferIgnored*/,
                      int32_t /*timeoutMsIgnored*/, int32_t /*modelParamIgnored*/, int32_t* stepCode,
                      int32_t* sysError) {
    return guarded(0, stepCode, sysError, [&] { return portStatus(portIndex); });
}

int32_t GetCurrentPort(const char* deviceName, char* portName) {
    try {
        if (deviceName == nullptr) {
            return 0;
        }
        schema::RegKey key;
        if (key.open(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, deviceName),
                     platform::KEY_READ) != ERROR_SUCCESS) {
            return 0;
        }
        std::string value;
        if (key.readString(schema::value::Port, kPortValueSize, &value) != ERROR_SUCCESS) {
            return 0;
        }
        if (portName != nullptr) {
            // readString refused anything that would not fit with its NUL.
            std::memcpy(portName, value.c_str(), value.size() + 1);
        }
        return static_cast<int32_t>(schema::portKindByFirstLetter(value));
    } catch (...) {
        return 0;
    }
}

int32_t ReOpenNetPort(int32_t portIndex, int32_t /*handleIgnored*/, int32_t* stepCode, int32_t* sysError) {
    return guarded(0, stepCode, sysError, [&] {
        return portIndex >= kFirstNet && portIndex < kPortIndexEnd ? reopenNetworkPort(portIndex) : refused(0);
    });
}

int32_t WaitPortStatus(int32_t portIndex, uint64_t* mark, int32_t timeoutMs) {
    try {
        if (!validIndex(portIndex) || mark == nullptr) {
            return 0;
        }
        const DWORD waitMs = static_cast<DWORD>(std::max(timeoutMs, 0));
        if (portIndex >= kFirstNet) {
            return waitNetworkStatus(portIndex, mark, waitMs);
        }
        PortRecord& record = portRecord(portIndex);
        switch (record.kind) {
        case kPortCom: return waitSerialStatus(record, mark, waitMs);
        case kPortUsb: return waitUsbStatus(record, mark, waitMs);
        default:
            return record.arrivals.wait(mark, waitMs,
                                        [](DWORD ms, platform::InputWake& wake) { return wake.wait(ms); });
        }
    } catch (...) {
        return 0;
    }
}

void WakePortStatus(int32_t portIndex) {
    if (!validIndex(portIndex)) {
        return;
    }
    if (portIndex >= kFirstNet) {
        wakeNetworkStatus(portIndex);
    } else {
        portRecord(portIndex).arrivals.wake();
    }
}

void ReSetPrintWork(int32_t portIndex, int32_t /*modeIgnored*/) {
    if (portIndex < 0 || portIndex >= kFirstNet) {
        return;
    }
    PortRecord& record = portRecord(portIndex);
    // A parallel port has no event to wake (its transfers are synchronous),
    // and USB transfers are bounded by usblink's own time-outs.
    if (record.handle != kNeverOpened && record.kind == kPortCom) {
        wakeSerialPort(record);
    }
}

}  // extern "C"
