#include "UsbTransport.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "platform/module.h"
#include "usblink/usblink.h"

namespace port {

using namespace platform;

// The loaded usblink and the entry points the port library calls. Unloaded
// when the last holder lets go: the table between opens, and every transfer
// while it runs, so a close on another thread never unloads code in use.
class UsbLibrary {
public:
    static std::shared_ptr<UsbLibrary> load(Outcome* failure);
    ~UsbLibrary() { freeLibrary(m_module); }
    UsbLibrary(const UsbLibrary&) = delete;
    UsbLibrary& operator=(const UsbLibrary&) = delete;

    USBLINK_CLOSEDEVICE closeDevice = nullptr;
    USBLINK_UWRITE write = nullptr;
    USBLINK_GETSPECSTATUS getSpecStatus = nullptr;
    USBLINK_OPENDEVICEBYINTERNALID openDeviceByInternalId = nullptr;
    USBLINK_SETUSBTIMEOUTS setUsbTimeouts = nullptr;
    // Null in a usblink without it: status readers then wait out their time.
    USBLINK_WAITDEVICEINPUT waitDeviceInput = nullptr;

private:
    explicit UsbLibrary(HModule module) : m_module(module) {}
    HModule m_module;
};

namespace {

// A free slot's stored InternalID.
constexpr DWORD kFreeSlotId = 100;

// How long a write waits for the status reader to bring a lost device back.
constexpr auto kLostDeviceWait = std::chrono::milliseconds(25 * 200);

// Time-outs handed to usblink (write, read), in milliseconds, after an open
// and after a reopen alike: usblink ends a transfer when the printer has
// taken nothing for the write time-out, and a printer that has just come
// back prints as slowly as one freshly opened, so a shorter one would turn
// every pause of the mechanism into a lost device.
constexpr int32_t kWriteTimeoutMs = 500;
constexpr int32_t kReadTimeoutMs = 100;

// A printer that takes nothing for this long while it stays connected
// fails the write (the device stays open); one that takes data, however
// slowly, is waited for.
constexpr auto kWriteStall = std::chrono::milliseconds(5000);

constexpr int32_t kNoDevice = -1;

// usblink's wait for input cannot be woken: it is watched in slices no
// longer than a status cycle's pause, so a wake-up ends the wait within one.
constexpr DWORD kWatchSliceMs = 100;

// Under the open lock.
struct UsbTable {
    std::shared_ptr<UsbLibrary> library;
    int references = 0;
    std::array<DWORD, kUsbSlots> ids;
    std::array<bool, kUsbSlots> inUse{};

    UsbTable() { ids.fill(kFreeSlotId); }
};

UsbTable& usbTable() {
    static UsbTable table;
    return table;
}

template <typename Function>
bool resolve(HModule module, const char* name, Function* function, LONG* error) {
    ModuleError detail;
    *function = getProcAddressAs<Function>(module, name, &detail);
    *error = detail.code;
    return *function != nullptr;
}

// Marks the device lost, unless the status reader has already replaced it.
void loseDevice(PortRecord& record, const UsbLibrary& library, int32_t device) {
    library.closeDevice(device);
    int32_t expected = device;
    record.handle.compare_exchange_strong(expected, kClosed);
}

void publishDevice(PortRecord& record, UsbChannel& channel, int32_t device) {
    {
        std::lock_guard lock(channel.backMutex);
        record.handle = device;
    }
    channel.back.notify_all();
}

}  // namespace

std::shared_ptr<UsbLibrary> UsbLibrary::load(Outcome* failure) {
    ModuleError loadError;
    HModule module = loadLibrary("usblink", &loadError);
    if (module == nullptr) {
        *failure = failed(-1, 13, loadError.code);
        return nullptr;
    }
    std::shared_ptr<UsbLibrary> library(new UsbLibrary(module));
    LONG error = ERROR_SUCCESS;
    USBLINK_OPENDEVICE openDevice = nullptr;
    // The order of the look-ups is the order of their step codes.
    if (!resolve(module, "OpenDevice", &openDevice, &error)) {
        *failure = failed(-1, 15, error);
    } else if (!resolve(module, "CloseDevice", &library->closeDevice, &error)) {
        *failure = failed(-1, 17, error);
    } else if (!resolve(module, "uWrite", &library->write, &error)) {
        *failure = failed(-1, 19, error);
    } else if (!resolve(module, "GetSpecStatus", &library->getSpecStatus, &error)) {
        *failure = failed(-1, 21, error);
    } else if (!resolve(module, "OpenDeviceByInternalID", &library->openDeviceByInternalId, &error)) {
        *failure = failed(-1, 23, error);
    } else if (!resolve(module, "SetUSBTimeouts", &library->setUsbTimeouts, &error)) {
        *failure = failed(-1, 25, error);
    } else {
        resolve(module, "WaitDeviceInput", &library->waitDeviceInput, &error);
        return library;
    }
    return nullptr;
}

std::optional<int32_t> findUsbSlot(DWORD internalId) {
    const UsbTable& table = usbTable();
    for (int32_t slot = 0; slot < kUsbSlots; ++slot) {
        if (table.ids[slot] == internalId) {
            return slot;
        }
    }
    for (int32_t slot = 0; slot < kUsbSlots; ++slot) {
        if (!table.inUse[slot]) {
            return slot;
        }
    }
    return std::nullopt;
}

Outcome openUsbPort(PortRecord& record, int32_t slot, DWORD internalId) {
    UsbTable& table = usbTable();
    std::shared_ptr<UsbLibrary> library = table.library;
    if (!library) {
        Outcome failure;
        library = UsbLibrary::load(&failure);
        if (!library) {
            return failure;
        }
    }
    const int32_t device = library->openDeviceByInternalId(internalId);
    if (device == kNoDevice) {
        // A library loaded for this open goes with `library`.
        return failed(-1, 27);
    }
    table.library = library;
    auto channel = record.usb();
    if (!channel) {
        channel = std::make_shared<UsbChannel>();
        channel->library = library;
        channel->internalId = internalId;
        record.setUsb(channel);
    }
    record.openCount = record.openCount + 1;
    table.inUse[slot] = true;
    table.ids[slot] = internalId;
    ++table.references;
    record.kind = kPortUsb;
    library->setUsbTimeouts(device, kWriteTimeoutMs, kReadTimeoutMs);
    publishDevice(record, *channel, device);
    return succeeded(device, 6);
}

void countUsbReference() { ++usbTable().references; }

Outcome writeUsbPort(PortRecord& record, const BYTE* data, int32_t length) {
    std::lock_guard lock(record.writeLock);
    const auto channel = record.usb();
    if (!channel) {
        return failed(0, 5);
    }
    {
        // The status reader reopens a lost device; a write gives it a while.
        std::unique_lock wait(channel->backMutex);
        channel->back.wait_for(wait, kLostDeviceWait, [&record] { return record.handle != kClosed; });
    }
    const int32_t device = record.handle;
    if (device == kClosed) {
        return failed(0, 5);
    }
    if (length == 0) {
        // Nothing to send; usblink would count "took nothing" as a lost device.
        return succeeded(1, 10);
    }
    const UsbLibrary& library = *channel->library;
    // usblink hands back what the printer took before it paused (0 when it
    // took nothing) and -1 once the device is gone; the transfers go on
    // while the printer keeps taking data.
    int32_t sent = 0;
    int transfers = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    while (sent < length) {
        const int32_t taken = library.write(device, 0, data + sent, length - sent);
        ++transfers;
        if (taken < 0) {
            loseDevice(record, library, device);
            return failed(0, sent == 0 ? 7 : 9);
        }
        if (taken > 0) {
            sent += taken;
            lastProgress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastProgress >= kWriteStall) {
            return failed(0, 11);
        }
    }
    return succeeded(1, transfers == 1 ? 10 : 8);
}

Outcome readUsbPort(PortRecord& record, BYTE* buffer) {
    std::lock_guard lock(record.readLock);
    const auto channel = record.usb();
    auto lost = [buffer](int32_t step) {
        std::memset(buffer, 0, 4);
        return failed(0, step);
    };
    if (!channel) {
        return lost(9);
    }
    const UsbLibrary& library = *channel->library;
    int32_t device = record.handle;
    if (device == kClosed) {
        device = library.openDeviceByInternalId(channel->internalId);
        if (device == kNoDevice) {
            return lost(9);
        }
        library.setUsbTimeouts(device, kWriteTimeoutMs, kReadTimeoutMs);
        publishDevice(record, *channel, device);
    }
    int32_t got = 0;
    if (library.getSpecStatus(device, buffer, 4, &got) == 0) {
        loseDevice(record, library, device);
        return lost(11);
    }
    const BYTE zero[4] = {};
    if (std::memcmp(buffer, zero, sizeof zero) == 0) {
        // usblink zero-fills what was not answered in time: ask once more,
        // and take a second all-zero block as it is.
        if (library.getSpecStatus(device, buffer, 4, &got) == 0) {
            loseDevice(record, library, device);
            return lost(13);
        }
    }
    return succeeded(1, 8);
}

Outcome usbPortStatus(PortRecord& record) {
    if (record.handle == kClosed) {
        return failed(0, 1);
    }
    return {0xF0, 2, kSysSucceeded};
}

int32_t waitUsbStatus(PortRecord& record, std::uint64_t* mark, DWORD timeoutMs) {
    return record.arrivals.wait(mark, timeoutMs, [&record](DWORD waitMs, InputWake& wake) {
        const auto channel = record.usb();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            const int32_t device = record.handle;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return InputWait::TimedOut;
            }
            const auto leftMs = static_cast<DWORD>(left.count());
            if (!channel || !channel->library->waitDeviceInput || device == kClosed || device == kNeverOpened) {
                return wake.wait(leftMs);
            }
            if (wake.wait(0) == InputWait::Woken) {
                return InputWait::Woken;
            }
            const int32_t seen =
                channel->library->waitDeviceInput(device, static_cast<int32_t>(std::min(leftMs, kWatchSliceMs)));
            if (seen == 1) {
                return InputWait::Arrived;
            }
            if (seen < 0) {
                // Lost: the status reader's next ReadPort reopens it.
                return wake.wait(leftMs);
            }
        }
    });
}

void closeUsbPort(PortRecord& record, int32_t slot) {
    UsbTable& table = usbTable();
    --table.references;
    if (record.openCount != 0) {
        return;
    }
    // A write or a reopen on another thread finishes first: the device is
    // never closed under a transfer, nor a reopened one left open behind.
    std::lock_guard readLock(record.readLock);
    std::lock_guard writeLock(record.writeLock);
    const auto channel = record.usb();
    const int32_t device = record.handle.exchange(kClosed);
    if (channel && device != kClosed) {
        channel->library->closeDevice(device);
    }
    record.setUsb(nullptr);
    table.inUse[slot] = false;
    table.ids[slot] = kFreeSlotId;
    if (table.references < 1) {
        table.library.reset();
    }
}

}  // namespace port
