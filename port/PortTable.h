#pragma once
// The process-wide port table: one record per serial, parallel and USB port
// index (0-51), each with the classes of the device that opened it, and the
// lock that serialises OpenPort and ClosePort.
//
// Lock order: the open lock, then a record's readLock, then its writeLock
// (or its parallelLock). Transfers never take the open lock, so an open or
// close waits at most for the transfers it has to wait for.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "StatusArrivals.h"
#include "platform/threads.h"
#include "platform/types.h"

namespace port {

using platform::BYTE;
using platform::DWORD;
using platform::LONG;

constexpr int32_t kComPorts = 40;
constexpr int32_t kFirstLpt = 40;
constexpr int32_t kLptPorts = 4;
constexpr int32_t kFirstUsb = 44;
constexpr int32_t kUsbSlots = 8;
constexpr int32_t kFirstNet = 52;
constexpr int32_t kNetSlots = 50;
constexpr int32_t kPortIndexEnd = kFirstNet + kNetSlots;

constexpr int32_t kPortCom = 1;
constexpr int32_t kPortPar = 2;
constexpr int32_t kPortUsb = 3;
constexpr int32_t kPortEth = 4;

// sysError values that are not system errors.
constexpr int32_t kSysSucceeded = -2;
constexpr int32_t kSysNone = -1;

// A record's handle before its first open, and after a close or loss.
constexpr int32_t kNeverOpened = 0;
constexpr int32_t kClosed = -1;

using StatusBlock = std::array<BYTE, 4>;

// What a port starts with: the block an idle printer sends.
StatusBlock defaultStatusBlock(int modelClass);

// The three results every export reports.
struct Outcome {
    int32_t result = 0;
    int32_t stepCode = 0;
    int32_t sysError = kSysNone;
};

inline Outcome succeeded(int32_t result, int32_t stepCode) { return {result, stepCode, kSysSucceeded}; }
inline Outcome failed(int32_t result, int32_t stepCode, int32_t sysError = kSysNone) {
    return {result, stepCode, sysError};
}

// How a printer frames its status block: the common layout (first byte
// 0x10 set, last byte 0F), F60's (last byte 6D or 6F) or E50's (first byte
// without 0x10, last byte 0F).
enum class StatusFrame { Common, F60, E50 };

// What a port needs to know about the printer model behind it, taken from
// the name of the device that opened the port. Model class 1 ("F60") or 2;
// write class 1 ("B20"), 2 ("A10X") or 3. A port keeps these until it
// closes, so two printers of different models in one process each keep
// their own rules.
struct DeviceClasses {
    int modelClass = 2;
    int writeClass = 3;
    StatusFrame frame = StatusFrame::Common;
};

DeviceClasses classesOf(const char* deviceName);

// OpenPort and ClosePort hold this for their whole run.
std::mutex& openLock();

// A fresh handle value for a serial or parallel port: never 0 or -1.
int32_t newHandle();

struct SerialChannel;
struct ParallelChannel;
struct UsbChannel;

// One physical port. The channel of its kind exists while the port is open;
// transfers take their own reference to it, so a close on another thread
// never pulls it from under them.
class PortRecord {
public:
    std::atomic<int32_t> handle{kNeverOpened};
    // Changed only under the open lock.
    std::atomic<int32_t> openCount{0};
    std::atomic<int32_t> kind{0};
    std::atomic<int32_t> timeoutMs{0};
    // Set when the port is opened afresh; the transfers read them.
    std::atomic<int> modelClass{2};
    std::atomic<int> writeClass{3};
    std::atomic<StatusFrame> frame{StatusFrame::Common};

    void setClasses(const DeviceClasses& classes);

    platform::CriticalSection writeLock;
    platform::CriticalSection readLock;
    platform::CriticalSection parallelLock;
    // The automatic status a serial or USB printer sends.
    StatusArrivals arrivals;

    StatusBlock status() const;
    void setStatus(const StatusBlock& block);

    std::shared_ptr<SerialChannel> serial() const;
    std::shared_ptr<ParallelChannel> parallel() const;
    std::shared_ptr<UsbChannel> usb() const;
    void setSerial(std::shared_ptr<SerialChannel> channel);
    void setParallel(std::shared_ptr<ParallelChannel> channel);
    void setUsb(std::shared_ptr<UsbChannel> channel);

private:
    mutable std::mutex m_mutex;
    StatusBlock m_status{};
    std::shared_ptr<SerialChannel> m_serial;
    std::shared_ptr<ParallelChannel> m_parallel;
    std::shared_ptr<UsbChannel> m_usb;
};

// Indices 0 to kFirstNet - 1.
PortRecord& portRecord(int32_t index);

}  // namespace port
