#include "platform/serial.h"

#include <windows.h>

#include <mutex>

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

// One overlapped request in one direction. Its OVERLAPPED stays here, at a
// fixed address, until the system has finished with it.
struct Request {
    OVERLAPPED overlapped{};
    HANDLE event = nullptr;
    bool pending = false;
};

struct SerialLine {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::mutex settingsMutex;
    DCB dcb;
    COMMTIMEOUTS timeouts;
    std::mutex writeMutex;
    Request writing;
    std::mutex readMutex;
    Request reading;
    std::mutex watchMutex;  // one input watch at a time (the comm mask is per port)

    // Drops a pending request; a thread waiting on it wakes and finds it over.
    void drop(Request& request) {
        if (!request.pending) {
            return;
        }
        DWORD moved = 0;
        cancelAndFinish(handle, request.overlapped, &moved);
        request.pending = false;
        ::SetEvent(request.event);
    }

    // Starts a request: the OVERLAPPED cleared and the event reset, as
    // WriteFile and ReadFile do with theirs.
    void prepare(Request& request, HANDLE event) {
        drop(request);
        request.overlapped = OVERLAPPED{};
        request.event = event;
        request.overlapped.hEvent = request.event;
        ::ResetEvent(request.event);
    }
};

namespace {

// Ends a wait on a request: WAIT_OBJECT_0 when it completed, was dropped,
// or its event was set by another thread (then it is cancelled and *moved
// tells how far it got); WAIT_FAILED with *error when the device failed it.
DWORD finishWait(HANDLE port, Request& request, DWORD* moved, LONG* error) {
    *moved = 0;
    if (!request.pending) {
        return WAIT_OBJECT_0;
    }
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
    ::CloseHandle(m_line->handle);
}

std::unique_ptr<SerialPort> SerialPort::open(std::string_view portName, LONG* error) {
    const std::string path = portDevicePath(portName);
    if (path.empty()) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = lastError();
        return nullptr;
    }
    auto line = std::make_unique<SerialLine>();
    line->handle = handle;
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
    std::lock_guard lock(m_line->settingsMutex);
    *dcb = m_line->dcb;
    return ERROR_SUCCESS;
}

LONG SerialPort::setCommState(const DCB& dcb) {
    std::lock_guard lock(m_line->settingsMutex);
    ::DCB line{};
    line.DCBlength = sizeof line;
    if (!::GetCommState(m_line->handle, &line)) {
        return lastError();
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
    if (!::SetCommState(m_line->handle, &line)) {
        return lastError();
    }
    m_line->dcb = dcb;
    return ERROR_SUCCESS;
}

LONG SerialPort::getCommTimeouts(COMMTIMEOUTS* timeouts) {
    std::lock_guard lock(m_line->settingsMutex);
    *timeouts = m_line->timeouts;
    return ERROR_SUCCESS;
}

// The write totals stay with the caller: its wait bounds an overlapped
// write, as on the other platform, so the device gets none.
LONG SerialPort::setCommTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(m_line->settingsMutex);
    ::COMMTIMEOUTS device{};
    device.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    device.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    device.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    if (!::SetCommTimeouts(m_line->handle, &device)) {
        return lastError();
    }
    m_line->timeouts = timeouts;
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
    return ::PurgeComm(m_line->handle, clear) ? ERROR_SUCCESS : lastError();
}

LONG SerialPort::clearCommError(COMSTAT* status) {
    ::DWORD errors = 0;
    ::COMSTAT queues{};
    if (!::ClearCommError(m_line->handle, &errors, &queues)) {
        return lastError();
    }
    status->cbInQue = queues.cbInQue;
    status->cbOutQue = queues.cbOutQue;
    return ERROR_SUCCESS;
}

LONG SerialPort::getModemStatus(DWORD* status) {
    ::DWORD lines = 0;
    if (::GetCommModemStatus(m_line->handle, &lines)) {
        *status = lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
        return ERROR_SUCCESS;
    }
    const LONG failure = lastError();
    if (failure == ERROR_NOT_SUPPORTED || failure == ERROR_INVALID_FUNCTION) {
        // No modem lines (a pseudo-terminal behind the port): the port being
        // there is the printer being there, as for such a device elsewhere.
        *status = MS_CTS_ON | MS_DSR_ON;
        return ERROR_SUCCESS;
    }
    // Gone (an adapter pulled out): no lines, as for a printer switched off.
    *status = 0;
    return ERROR_SUCCESS;
}

LONG SerialPort::write(const BYTE* data, DWORD length, IoEvent& event) {
    std::lock_guard lock(m_line->writeMutex);
    Request& request = m_line->writing;
    m_line->prepare(request, handleOf(event.m_descriptor));
    if (::WriteFile(m_line->handle, data, length, nullptr, &request.overlapped)) {
        return ERROR_SUCCESS;
    }
    const LONG failure = lastError();
    if (failure == ERROR_IO_PENDING) {
        request.pending = true;
    }
    return failure;
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
    return finishWait(m_line->handle, m_line->writing, &moved, error);
}

LONG SerialPort::read(BYTE* buffer, DWORD length, IoEvent& event, DWORD* bytesRead) {
    std::lock_guard lock(m_line->readMutex);
    Request& request = m_line->reading;
    m_line->prepare(request, handleOf(event.m_descriptor));
    *bytesRead = 0;
    if (::ReadFile(m_line->handle, buffer, length, nullptr, &request.overlapped)) {
        ::DWORD count = 0;
        ::GetOverlappedResult(m_line->handle, &request.overlapped, &count, FALSE);
        *bytesRead = count;
        return ERROR_SUCCESS;
    }
    const LONG failure = lastError();
    if (failure == ERROR_IO_PENDING) {
        request.pending = true;
    }
    return failure;
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
    return finishWait(m_line->handle, m_line->reading, bytesRead, error);
}

InputWait SerialPort::waitForInput(DWORD waitMs, InputWake& wake) {
    std::lock_guard lock(m_line->watchMutex);
    ::DWORD errors = 0;
    ::COMSTAT queues{};
    if (!::ClearCommError(m_line->handle, &errors, &queues)) {
        return wake.wait(waitMs);
    }
    if (queues.cbInQue > 0) {
        return InputWait::Arrived;
    }
    HANDLE arrival = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (arrival == nullptr || !::SetCommMask(m_line->handle, EV_RXCHAR)) {
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
    if (::WaitCommEvent(m_line->handle, &seen, &watch)) {
        arrived = (seen & EV_RXCHAR) != 0;
    } else if (::GetLastError() == ERROR_IO_PENDING) {
        // The wake-up comes first, so a set() is never hidden behind input.
        const HANDLE events[] = {handleOf(wake.m_descriptor), arrival};
        const DWORD waited = ::WaitForMultipleObjects(2, events, FALSE, waitMs);
        if (waited == WAIT_OBJECT_0) {
            result = InputWait::Woken;
        }
        // An empty mask ends a WaitCommEvent still under way.
        ::SetCommMask(m_line->handle, 0);
        ::DWORD unused = 0;
        ::GetOverlappedResult(m_line->handle, &watch, &unused, TRUE);
        arrived = waited == WAIT_OBJECT_0 + 1 && (seen & EV_RXCHAR) != 0;
    } else {
        // The line failed (gone): nothing arrives on it.
        ::CloseHandle(arrival);
        ::SetCommMask(m_line->handle, 0);
        return wake.wait(waitMs);
    }
    ::CloseHandle(arrival);
    ::SetCommMask(m_line->handle, 0);
    if (result == InputWait::Woken) {
        return result;
    }
    return arrived ? InputWait::Arrived : InputWait::TimedOut;
}

}  // namespace platform
