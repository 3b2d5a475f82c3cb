#include "platform/serial.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

namespace platform {

namespace {

HANDLE handleOf(int descriptor) { return LongToHandle(descriptor); }

LONG lastError() { return static_cast<LONG>(::GetLastError()); }

// How often a cancelled request is looked at until the system lets go of
// it. Its event cannot be waited for alone: a waiter on another thread may
// take the signal of the completion first.
constexpr DWORD kCancelCheckMs = 5;

// Ends an overlapped request that is still under way and waits until the
// system has let go of its OVERLAPPED; the bytes it moved in *moved.
void cancelAndFinish(HANDLE port, OVERLAPPED& request, DWORD* moved) {
    ::CancelIoEx(port, &request);
    while (!HasOverlappedIoCompleted(&request)) {
        ::WaitForSingleObject(request.hEvent, kCancelCheckMs);
    }
    ::DWORD count = 0;
    ::GetOverlappedResult(port, &request, &count, FALSE);
    *moved = count;
}

}  // namespace

// The event handle is kept in the descriptor field: Windows guarantees that
// kernel handles fit in 32 bits, also in 64-bit processes.
std::unique_ptr<IoEvent> IoEvent::create(LONG* error) {
    HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) {
        *error = lastError();
        return nullptr;
    }
    return std::unique_ptr<IoEvent>(new IoEvent(HandleToLong(event)));
}

IoEvent::IoEvent(int descriptor) : m_descriptor(descriptor) {}

IoEvent::~IoEvent() { ::CloseHandle(handleOf(m_descriptor)); }

void IoEvent::set() { ::SetEvent(handleOf(m_descriptor)); }

void IoEvent::reset() { ::ResetEvent(handleOf(m_descriptor)); }

bool IoEvent::consume() { return ::WaitForSingleObject(handleOf(m_descriptor), 0) == WAIT_OBJECT_0; }

// An open device file; closed when the last user lets go, so a reopen
// never closes a handle another thread is still working on.
struct Device {
    explicit Device(HANDLE handle) : handle(handle) {}
    ~Device() { ::CloseHandle(handle); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const HANDLE handle;
};

// One overlapped request in one direction. Its OVERLAPPED stays here, at a
// fixed address, until the system has finished with it.
struct Request {
    OVERLAPPED overlapped{};
    HANDLE event = nullptr;
    bool pending = false;
    // The device it runs on, which a reopen meanwhile does not change.
    std::shared_ptr<Device> device;
};

namespace {

// Errors with which a handle answers once its device has gone: a pulled
// USB adapter, or (under Wine) a pseudo-terminal whose far end closed.
bool deviceGone(LONG error) {
    switch (error) {
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return true;
    default:
        return false;
    }
}

HANDLE openDevice(const std::string& path) {
    return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                         nullptr);
}

// Our line settings on top of what the device has.
bool applyDcb(HANDLE handle, const DCB& dcb) {
    ::DCB line{};
    line.DCBlength = sizeof line;
    if (!::GetCommState(handle, &line)) {
        return false;
    }
    line.BaudRate = dcb.BaudRate;
    line.fBinary = TRUE;
    line.fParity = dcb.fParity != 0;
    line.fOutxCtsFlow = dcb.fOutxCtsFlow != 0;
    line.fOutxDsrFlow = dcb.fOutxDsrFlow != 0;
    line.fDtrControl = dcb.fDtrControl & 3;
    line.fDsrSensitivity = dcb.fDsrSensitivity != 0;
    line.fTXContinueOnXoff = dcb.fTXContinueOnXoff != 0;
    line.fOutX = dcb.fOutX != 0;
    line.fInX = dcb.fInX != 0;
    line.fRtsControl = dcb.fRtsControl & 3;
    line.ByteSize = dcb.ByteSize;
    line.Parity = dcb.Parity;
    line.StopBits = dcb.StopBits;
    line.XonChar = dcb.XonChar;
    line.XoffChar = dcb.XoffChar;
    return ::SetCommState(handle, &line) != 0;
}

// The write totals stay with the caller: its wait bounds an overlapped
// write, as on the other platform, so the device gets none.
bool applyTimeouts(HANDLE handle, const COMMTIMEOUTS& timeouts) {
    ::COMMTIMEOUTS device{};
    device.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    device.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    device.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    return ::SetCommTimeouts(handle, &device) != 0;
}

}  // namespace

struct SerialLine {
    // The port name, looked up again at each reopen.
    std::string portName;
    // Guards the device and the settings last applied, which a reopen puts
    // on the new device. Taken after any of the request mutexes below.
    std::mutex deviceMutex;
    std::shared_ptr<Device> device;
    DCB dcb;
    bool dcbApplied = false;
    COMMTIMEOUTS timeouts;
    bool timeoutsApplied = false;
    std::mutex writeMutex;
    Request writing;
    std::mutex readMutex;
    Request reading;
    std::mutex watchMutex;  // one input watch at a time (the comm mask is per port)

    std::shared_ptr<Device> current() {
        std::lock_guard lock(deviceMutex);
        return device;
    }

    // The device after `failed` answered as gone: opened again by the port
    // name (unless another thread already did), with the settings restored.
    // Null, with *error ERROR_DEVICE_NOT_CONNECTED, while it cannot be.
    std::shared_ptr<Device> reopen(const std::shared_ptr<Device>& failed, LONG* error) {
        std::lock_guard lock(deviceMutex);
        return reopenLocked(failed, error);
    }

    std::shared_ptr<Device> reopenLocked(const std::shared_ptr<Device>& failed, LONG* error) {
        if (device != failed) {
            return device;
        }
        const std::string path = portDevicePath(portName);
        const HANDLE handle = path.empty() ? INVALID_HANDLE_VALUE : openDevice(path);
        if (handle == INVALID_HANDLE_VALUE) {
            *error = ERROR_DEVICE_NOT_CONNECTED;
            return nullptr;
        }
        auto reopened = std::make_shared<Device>(handle);
        if ((dcbApplied && !applyDcb(handle, dcb)) || (timeoutsApplied && !applyTimeouts(handle, timeouts))) {
            *error = lastError();
            return nullptr;
        }
        device = reopened;
        return device;
    }

    // Applies a setting (`apply` false with the error in GetLastError) to
    // the device, and once more to the device opened again when it answered
    // as gone. Requires deviceMutex.
    template <typename Apply>
    LONG applyLocked(Apply apply) {
        if (apply(device->handle)) {
            return ERROR_SUCCESS;
        }
        const LONG failure = lastError();
        LONG error = ERROR_SUCCESS;
        if (!deviceGone(failure)) {
            return failure;
        }
        if (!reopenLocked(device, &error)) {
            return error;
        }
        return apply(device->handle) ? ERROR_SUCCESS : lastError();
    }

    // Runs `call` (an error code from a device) on the device, and once
    // more on the device opened again when it answered as gone.
    template <typename Call>
    LONG onDevice(Call call) {
        auto used = current();
        const LONG result = call(used);
        if (!deviceGone(result)) {
            return result;
        }
        LONG error = ERROR_SUCCESS;
        used = reopen(used, &error);
        return used ? call(used) : error;
    }

    // Drops a pending request; a thread waiting on it wakes and finds it over.
    void drop(Request& request) {
        if (!request.pending) {
            return;
        }
        DWORD moved = 0;
        cancelAndFinish(request.device->handle, request.overlapped, &moved);
        request.pending = false;
        ::SetEvent(request.event);
    }

    // Starts a request on `on`: the OVERLAPPED cleared and the event reset,
    // as WriteFile and ReadFile do with theirs.
    void prepare(Request& request, HANDLE event, std::shared_ptr<Device> on) {
        drop(request);
        request.overlapped = OVERLAPPED{};
        request.event = event;
        request.device = std::move(on);
        request.overlapped.hEvent = request.event;
        ::ResetEvent(request.event);
    }
};

namespace {

// Ends a wait on a request: WAIT_OBJECT_0 when it completed, was dropped,
// or its event was set by another thread (then it is cancelled and *moved
// tells how far it got); WAIT_FAILED with *error when the device failed it.
DWORD finishWait(Request& request, DWORD* moved, LONG* error) {
    *moved = 0;
    if (!request.pending) {
        return WAIT_OBJECT_0;
    }
    const HANDLE port = request.device->handle;
    ::DWORD count = 0;
    if (::GetOverlappedResult(port, &request.overlapped, &count, FALSE)) {
        request.pending = false;
        *moved = count;
        return WAIT_OBJECT_0;
    }
    const LONG failure = lastError();
    if (failure == ERROR_IO_INCOMPLETE) {
        cancelAndFinish(port, request.overlapped, moved);
        request.pending = false;
        return WAIT_OBJECT_0;
    }
    request.pending = false;
    *error = failure;
    return WAIT_FAILED;
}

}  // namespace

SerialPort::SerialPort(std::unique_ptr<SerialLine> line) : m_line(std::move(line)) {}

SerialPort::~SerialPort() {
    {
        std::lock_guard lock(m_line->writeMutex);
        m_line->drop(m_line->writing);
    }
    {
        std::lock_guard lock(m_line->readMutex);
        m_line->drop(m_line->reading);
    }
}

std::unique_ptr<SerialPort> SerialPort::open(std::string_view portName, LONG* error) {
    const std::string path = portDevicePath(portName);
    if (path.empty()) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    HANDLE handle = openDevice(path);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = lastError();
        return nullptr;
    }
    auto line = std::make_unique<SerialLine>();
    line->portName = std::string(portName);
    line->device = std::make_shared<Device>(handle);
    ::DCB found{};
    found.DCBlength = sizeof found;
    if (::GetCommState(handle, &found)) {
        line->dcb.BaudRate = found.BaudRate;
        line->dcb.fParity = found.fParity;
        line->dcb.fOutxCtsFlow = found.fOutxCtsFlow;
        line->dcb.fOutxDsrFlow = found.fOutxDsrFlow;
        line->dcb.fDtrControl = found.fDtrControl;
        line->dcb.fDsrSensitivity = found.fDsrSensitivity;
        line->dcb.fTXContinueOnXoff = found.fTXContinueOnXoff;
        line->dcb.fOutX = found.fOutX;
        line->dcb.fInX = found.fInX;
        line->dcb.fRtsControl = found.fRtsControl;
        line->dcb.ByteSize = found.ByteSize;
        line->dcb.Parity = found.Parity;
        line->dcb.StopBits = found.StopBits;
        line->dcb.XonChar = found.XonChar;
        line->dcb.XoffChar = found.XoffChar;
    }
    return std::unique_ptr<SerialPort>(new SerialPort(std::move(line)));
}

LONG SerialPort::getCommState(DCB* dcb) {
    std::lock_guard lock(m_line->deviceMutex);
    *dcb = m_line->dcb;
    return ERROR_SUCCESS;
}

// Applied under the device mutex, so that a reopen on another thread puts
// either these settings or the earlier ones on the new device, never a mix.
LONG SerialPort::setCommState(const DCB& dcb) {
    std::lock_guard lock(m_line->deviceMutex);
    if (const LONG error = m_line->applyLocked([&](HANDLE handle) { return applyDcb(handle, dcb); });
        error != ERROR_SUCCESS) {
        return error;
    }
    m_line->dcb = dcb;
    m_line->dcbApplied = true;
    return ERROR_SUCCESS;
}

LONG SerialPort::getCommTimeouts(COMMTIMEOUTS* timeouts) {
    std::lock_guard lock(m_line->deviceMutex);
    *timeouts = m_line->timeouts;
    return ERROR_SUCCESS;
}

LONG SerialPort::setCommTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(m_line->deviceMutex);
    if (const LONG error = m_line->applyLocked([&](HANDLE handle) { return applyTimeouts(handle, timeouts); });
        error != ERROR_SUCCESS) {
        return error;
    }
    m_line->timeouts = timeouts;
    m_line->timeoutsApplied = true;
    return ERROR_SUCCESS;
}

LONG SerialPort::purge(DWORD flags) {
    if ((flags & PURGE_TXABORT) != 0) {
        std::lock_guard lock(m_line->writeMutex);
        m_line->drop(m_line->writing);
    }
    if ((flags & PURGE_RXABORT) != 0) {
        std::lock_guard lock(m_line->readMutex);
        m_line->drop(m_line->reading);
    }
    const DWORD clear = flags & (PURGE_TXCLEAR | PURGE_RXCLEAR);
    if (clear == 0) {
        return ERROR_SUCCESS;
    }
    return m_line->onDevice([clear](const std::shared_ptr<Device>& device) {
        return ::PurgeComm(device->handle, clear) ? ERROR_SUCCESS : lastError();
    });
}

LONG SerialPort::clearCommError(COMSTAT* status) {
    return m_line->onDevice([status](const std::shared_ptr<Device>& device) {
        ::DWORD errors = 0;
        ::COMSTAT queues{};
        if (!::ClearCommError(device->handle, &errors, &queues)) {
            return lastError();
        }
        status->cbInQue = queues.cbInQue;
        status->cbOutQue = queues.cbOutQue;
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG SerialPort::getModemStatus(DWORD* status) {
    const LONG result = m_line->onDevice([status](const std::shared_ptr<Device>& device) {
        ::DWORD lines = 0;
        if (::GetCommModemStatus(device->handle, &lines)) {
            *status = lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
            return static_cast<LONG>(ERROR_SUCCESS);
        }
        const LONG failure = lastError();
        if (failure == ERROR_NOT_SUPPORTED || failure == ERROR_INVALID_FUNCTION) {
            // No modem lines (a pseudo-terminal behind the port): the port
            // being there is the printer being there, as for such a device
            // elsewhere.
            *status = MS_CTS_ON | MS_DSR_ON;
            return static_cast<LONG>(ERROR_SUCCESS);
        }
        return failure;
    });
    if (result != ERROR_SUCCESS) {
        // Gone and not back (an adapter pulled out): no lines, as for a
        // printer switched off.
        *status = 0;
    }
    return ERROR_SUCCESS;
}

LONG SerialPort::write(const BYTE* data, DWORD length, IoEvent& event) {
    std::lock_guard lock(m_line->writeMutex);
    Request& request = m_line->writing;
    return m_line->onDevice([&](const std::shared_ptr<Device>& device) {
        m_line->prepare(request, handleOf(event.m_descriptor), device);
        if (::WriteFile(device->handle, data, length, nullptr, &request.overlapped)) {
            return static_cast<LONG>(ERROR_SUCCESS);
        }
        const LONG failure = lastError();
        if (failure == ERROR_IO_PENDING) {
            request.pending = true;
        }
        return failure;
    });
}

DWORD SerialPort::waitWrite(IoEvent& event, DWORD timeoutMs, LONG* error) {
    {
        std::lock_guard lock(m_line->writeMutex);
        if (!m_line->writing.pending) {
            return WAIT_OBJECT_0;
        }
    }
    if (::WaitForSingleObject(handleOf(event.m_descriptor), timeoutMs) == WAIT_TIMEOUT) {
        return WAIT_TIMEOUT;
    }
    std::lock_guard lock(m_line->writeMutex);
    DWORD moved = 0;
    return finishWait(m_line->writing, &moved, error);
}

LONG SerialPort::read(BYTE* buffer, DWORD length, IoEvent& event, DWORD* bytesRead) {
    std::lock_guard lock(m_line->readMutex);
    Request& request = m_line->reading;
    *bytesRead = 0;
    return m_line->onDevice([&](const std::shared_ptr<Device>& device) {
        m_line->prepare(request, handleOf(event.m_descriptor), device);
        if (::ReadFile(device->handle, buffer, length, nullptr, &request.overlapped)) {
            ::DWORD count = 0;
            ::GetOverlappedResult(device->handle, &request.overlapped, &count, FALSE);
            *bytesRead = count;
            return static_cast<LONG>(ERROR_SUCCESS);
        }
        const LONG failure = lastError();
        if (failure == ERROR_IO_PENDING) {
            request.pending = true;
        }
        return failure;
    });
}

DWORD SerialPort::waitRead(IoEvent& event, DWORD timeoutMs, DWORD* bytesRead, LONG* error) {
    *bytesRead = 0;
    {
        std::lock_guard lock(m_line->readMutex);
        if (!m_line->reading.pending) {
            return WAIT_OBJECT_0;
        }
    }
    if (::WaitForSingleObject(handleOf(event.m_descriptor), timeoutMs) == WAIT_TIMEOUT) {
        return WAIT_TIMEOUT;
    }
    std::lock_guard lock(m_line->readMutex);
    return finishWait(m_line->reading, bytesRead, error);
}

InputWait SerialPort::waitForInput(DWORD waitMs, InputWake& wake) {
    std::lock_guard lock(m_line->watchMutex);
    ::DWORD errors = 0;
    ::COMSTAT queues{};
    std::shared_ptr<Device> device;
    const LONG cleared = m_line->onDevice([&](const std::shared_ptr<Device>& on) {
        device = on;
        return ::ClearCommError(on->handle, &errors, &queues) ? static_cast<LONG>(ERROR_SUCCESS) : lastError();
    });
    if (cleared != ERROR_SUCCESS) {
        return wake.wait(waitMs);
    }
    const HANDLE port = device->handle;
    if (queues.cbInQue > 0) {
        return InputWait::Arrived;
    }
    HANDLE arrival = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (arrival == nullptr || !::SetCommMask(port, EV_RXCHAR)) {
        if (arrival != nullptr) {
            ::CloseHandle(arrival);
        }
        return wake.wait(waitMs);
    }
    OVERLAPPED watch{};
    watch.hEvent = arrival;
    ::DWORD seen = 0;
    bool arrived = false;
    InputWait result = InputWait::TimedOut;
    if (::WaitCommEvent(port, &seen, &watch)) {
        arrived = (seen & EV_RXCHAR) != 0;
    } else if (::GetLastError() == ERROR_IO_PENDING) {
        // The wake-up comes first, so a set() is never hidden behind input.
        const HANDLE events[] = {handleOf(wake.m_descriptor), arrival};
        const DWORD waited = ::WaitForMultipleObjects(2, events, FALSE, waitMs);
        if (waited == WAIT_OBJECT_0) {
            result = InputWait::Woken;
        }
        // An empty mask ends a WaitCommEvent still under way.
        ::SetCommMask(port, 0);
        ::DWORD unused = 0;
        ::GetOverlappedResult(port, &watch, &unused, TRUE);
        arrived = waited == WAIT_OBJECT_0 + 1 && (seen & EV_RXCHAR) != 0;
    } else {
        // The line failed (gone): nothing arrives on it.
        ::CloseHandle(arrival);
        ::SetCommMask(port, 0);
        return wake.wait(waitMs);
    }
    ::CloseHandle(arrival);
    ::SetCommMask(port, 0);
    if (result == InputWait::Woken) {
        return result;
    }
    return arrived ? InputWait::Arrived : InputWait::TimedOut;
}

}  // namespace platform
