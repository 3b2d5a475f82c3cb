#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DeviceId.h"
#include "PrinterNode.h"
#include "usblink/usblink.h"

namespace usblink {

namespace {

constexpr int32_t kNoDevice = -1;
constexpr uint32_t kNoInternalId = 0xFFFFFFFFu;

constexpr int kDefaultWriteTimeoutMs = 5000;
constexpr int kDefaultReadTimeoutMs = 1000;

constexpr std::uint8_t kStatusRequest[] = {0x1B, 0x76};
constexpr int32_t kStatusBlockSize = 4;

struct Device {
    std::unique_ptr<PrinterNode> node;
    uint32_t internalId = 0;
    std::atomic<int> writeTimeoutMs{kDefaultWriteTimeoutMs};
    std::atomic<int> readTimeoutMs{kDefaultReadTimeoutMs};
    // Data and status requests share the line: a request must never land
    // in the middle of a block being written.
    std::mutex writeMutex;
    std::mutex readMutex;
};

std::mutex g_tableMutex;
std::map<int32_t, std::shared_ptr<Device>> g_devices;
int32_t g_nextHandle = 1;

std::vector<Attached> attachedPrinters() { return identifyPrinters(listPrinterNodes(), readDeviceId); }

int32_t openAttached(const Attached& printer) {
    auto node = PrinterNode::open(printer.path);
    if (!node) {
        return kNoDevice;
    }
    auto device = std::make_shared<Device>();
    device->node = std::move(node);
    device->internalId = printer.internalId;
    std::lock_guard lock(g_tableMutex);
    // Handles are never reused, so a stale one can never reach a printer
    // opened later. Running out after two thousand million opens is refused.
    if (g_nextHandle == INT32_MAX) {
        return kNoDevice;
    }
    const int32_t handle = g_nextHandle++;
    g_devices.emplace(handle, std::move(device));
    return handle;
}

std::shared_ptr<Device> deviceFor(int32_t handle) {
    std::lock_guard lock(g_tableMutex);
    const auto found = g_devices.find(handle);
    return found == g_devices.end() ? nullptr : found->second;
}

}  // namespace

}  // namespace usblink

using namespace usblink;

extern "C" {

int32_t OpenDevice(void) { return OpenDeviceX(0); }

int32_t OpenDeviceX(int32_t number) {
    try {
        const auto printers = attachedPrinters();
        const Attached* printer = printerNumbered(printers, number);
        return printer != nullptr ? openAttached(*printer) : kNoDevice;
    } catch (...) {
        return kNoDevice;
    }
}

int32_t OpenDeviceByName(const char* name) {
    try {
        if (name == nullptr || *name == '\0') {
            return kNoDevice;
        }
        const std::string wanted(name);
        for (const Attached& printer : attachedPrinters()) {
            if (namesNode(printer.path, wanted)) {
                return openAttached(printer);
            }
        }
        return kNoDevice;
    } catch (...) {
        return kNoDevice;
    }
}

int32_t OpenDeviceByInternalID(uint32_t internalId) {
    try {
        const auto printers = attachedPrinters();
        const Attached* printer = printerWithId(printers, internalId);
        return printer != nullptr ? openAttached(*printer) : kNoDevice;
    } catch (...) {
        return kNoDevice;
    }
}

uint32_t GetPrinterInternalID(int32_t device) {
    const auto found = deviceFor(device);
    return found ? found->internalId : kNoInternalId;
}

int32_t SetUSBTimeouts(int32_t device, int32_t writeTimeoutMs, int32_t readTimeoutMs) {
    const auto found = deviceFor(device);
    if (!found) {
        return 0;
    }
    if (writeTimeoutMs >= 1) {
        found->writeTimeoutMs = writeTimeoutMs;
    }
    if (readTimeoutMs >= 1) {
        found->readTimeoutMs = readTimeoutMs;
    }
    return 1;
}

int32_t uWrite(int32_t device, int32_t pipe, const uint8_t* data, int32_t length) {
    if (pipe != 0 || length < 0 || (data == nullptr && length > 0)) {
        return -1;
    }
    const auto found = deviceFor(device);
    if (!found) {
        return -1;
    }
    std::lock_guard lock(found->writeMutex);
    return found->node->write(data, length, found->writeTimeoutMs);
}

int32_t GetSpecStatus(int32_t device, uint8_t* buffer, int32_t length, int32_t* bytesRead) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (buffer == nullptr || length < 1) {
        return 0;
    }
    const auto found = deviceFor(device);
    if (!found) {
        return 0;
    }
    const int32_t wanted = std::min(length, kStatusBlockSize);
    std::memset(buffer, 0, static_cast<std::size_t>(wanted));
    std::lock_guard readLock(found->readMutex);
    if (!found->node->discardInput()) {
        return 0;
    }
    int32_t sent = 0;
    {
        std::lock_guard writeLock(found->writeMutex);
        sent = found->node->write(kStatusRequest, sizeof kStatusRequest, found->writeTimeoutMs);
    }
    if (sent < 0) {
        return 0;
    }
    if (sent < static_cast<int32_t>(sizeof kStatusRequest)) {
        // The printer takes nothing now: no answer, but not gone.
        return 1;
    }
    const int32_t got = found->node->read(buffer, wanted, found->readTimeoutMs);
    if (got < 0) {
        return 0;
    }
    if (bytesRead != nullptr) {
        *bytesRead = got;
    }
    return 1;
}

int32_t WaitDeviceInput(int32_t device, int32_t timeoutMs) {
    const auto found = deviceFor(device);
    if (!found) {
        return -1;
    }
    return found->node->waitForInput(std::max(timeoutMs, 0));
}

int32_t CloseDevice(int32_t device) {
    std::shared_ptr<Device> closing;
    {
        std::lock_guard lock(g_tableMutex);
        const auto found = g_devices.find(device);
        if (found == g_devices.end()) {
            return 0;
        }
        closing = std::move(found->second);
        g_devices.erase(found);
    }
    // The node closes here, or when a call still using it returns.
    return 1;
}

}  // extern "C"
