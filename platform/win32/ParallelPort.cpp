#include "platform/serial.h"

#include <windows.h>

#include <mutex>

namespace platform {

namespace {

LONG lastError() { return static_cast<LONG>(::GetLastError()); }

}  // namespace

struct ParallelPort::State {
    std::string portName;
    std::mutex mutex;  // the calls are synchronous: one at a time
    HANDLE handle = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS timeouts;

    LONG openLocked() {
        const std::string path = portDevicePath(portName);
        if (path.empty()) {
            return ERROR_FILE_NOT_FOUND;
        }
        handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return lastError();
        }
        applyTimeoutsLocked();
        return ERROR_SUCCESS;
    }

    // A port that was closed by a failed reopen is opened again first.
    LONG ensureOpenLocked() { return handle != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : openLocked(); }

    void closeLocked() {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
        }
    }

    LONG applyTimeoutsLocked() {
        ::COMMTIMEOUTS device{};
        device.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
        device.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
        device.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
        device.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
        device.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
        return ::SetCommTimeouts(handle, &device) ? ERROR_SUCCESS : lastError();
    }
};

ParallelPort::ParallelPort(std::unique_ptr<State> state) : m_state(std::move(state)) {}

ParallelPort::~ParallelPort() { m_state->closeLocked(); }

std::unique_ptr<ParallelPort> ParallelPort::open(std::string_view portName, LONG* error) {
    auto state = std::make_unique<State>();
    state->portName = std::string(portName);
    if (const LONG result = state->openLocked(); result != ERROR_SUCCESS) {
        *error = result;
        return nullptr;
    }
    return std::unique_ptr<ParallelPort>(new ParallelPort(std::move(state)));
}

// Windows opens a parallel port for one handle at a time, so the old handle
// goes before the new one comes.
LONG ParallelPort::reopen() {
    std::lock_guard lock(m_state->mutex);
    m_state->closeLocked();
    return m_state->openLocked();
}

LONG ParallelPort::getCommTimeouts(COMMTIMEOUTS* timeouts) {
    std::lock_guard lock(m_state->mutex);
    *timeouts = m_state->timeouts;
    return ERROR_SUCCESS;
}

LONG ParallelPort::setCommTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(m_state->mutex);
    m_state->timeouts = timeouts;
    if (m_state->handle == INVALID_HANDLE_VALUE) {
        return ERROR_SUCCESS;
    }
    return m_state->applyTimeoutsLocked();
}

LONG ParallelPort::write(const BYTE* data, DWORD length, DWORD* written) {
    std::lock_guard lock(m_state->mutex);
    *written = 0;
    if (const LONG error = m_state->ensureOpenLocked(); error != ERROR_SUCCESS) {
        return error;
    }
    ::DWORD count = 0;
    const BOOL ok = ::WriteFile(m_state->handle, data, length, &count, nullptr);
    *written = count;
    if (!ok) {
        return lastError();
    }
    // A write the time-out cut short is never a finished write.
    return count < length ? ERROR_SEM_TIMEOUT : ERROR_SUCCESS;
}

LONG ParallelPort::read(BYTE* buffer, DWORD length, DWORD* bytesRead) {
    std::lock_guard lock(m_state->mutex);
    *bytesRead = 0;
    if (const LONG error = m_state->ensureOpenLocked(); error != ERROR_SUCCESS) {
        return error;
    }
    ::DWORD count = 0;
    const BOOL ok = ::ReadFile(m_state->handle, buffer, length, &count, nullptr);
    *bytesRead = count;
    return ok ? ERROR_SUCCESS : lastError();
}

// Windows' parallel port driver gives no notice of input: the read itself
// waits, under its time-outs, so the reader is sent on at once.
bool ParallelPort::waitForInput(DWORD) { return true; }

LONG ParallelPort::queryInformation(BYTE* status) {
    std::lock_guard lock(m_state->mutex);
    if (m_state->ensureOpenLocked() != ERROR_SUCCESS) {
        *status = PARALLEL_POWER_OFF | PARALLEL_NOT_CONNECTED;
        return ERROR_SUCCESS;
    }
    BYTE answer = 0;
    ::DWORD returned = 0;
    if (!::DeviceIoControl(m_state->handle, IOCTL_PAR_QUERY_INFORMATION, nullptr, 0, &answer, sizeof answer, &returned,
                           nullptr)) {
        return lastError();
    }
    *status = answer;
    return ERROR_SUCCESS;
}

}  // namespace platform
