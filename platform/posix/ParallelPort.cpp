#include <linux/lp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <deque>

#include "SerialDevice.h"
#include "platform/serial.h"

namespace platform {

using detail::Clock;

namespace {

// How long a stand-in printer gets to answer the status request: far above
// a printer's reply time, far below the two polls a status cycle makes.
constexpr auto kStatusAnswerTime = std::chrono::milliseconds(500);

constexpr BYTE kStatusRequest[] = {0x1B, 0x76};

// Input kept across status queries is capped: a printer that talks while
// nobody reads must not grow it without end. The oldest bytes go first.
constexpr std::size_t kMaxKeptInput = 4096;

Clock::time_point totalDeadline(DWORD multiplier, DWORD constant, DWORD length) {
    const std::uint64_t total = std::uint64_t(multiplier) * length + constant;
    return total == 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(total);
}

BYTE statusFromLines(int lines) {
    BYTE status = 0;
    status |= (lines & LP_PSELECD) != 0 ? PARALLEL_SELECTED : PARALLEL_OFF_LINE;
    if ((lines & LP_POUTPA) != 0) {
        status |= PARALLEL_PAPER_EMPTY;
    }
    // The busy input arrives inverted in the status register.
    if ((lines & LP_PBUSY) == 0) {
        status |= PARALLEL_BUSY;
    }
    if ((lines & (LP_PBUSY | LP_PACK | LP_POUTPA | LP_PSELECD | LP_PERRORP)) == 0) {
        status |= PARALLEL_POWER_OFF;
    }
    return status;
}

}  // namespace

struct ParallelPort::State {
    std::unique_ptr<detail::DeviceFile> file;
    std::mutex mutex;  // the calls are synchronous: one at a time
    COMMTIMEOUTS timeouts;
    // Bytes a status query found waiting; reads deliver them first.
    std::deque<BYTE> keptInput;

    void keep(const BYTE* bytes, DWORD count) {
        keptInput.insert(keptInput.end(), bytes, bytes + count);
        while (keptInput.size() > kMaxKeptInput) {
            keptInput.pop_front();
        }
    }
};

ParallelPort::ParallelPort(std::unique_ptr<State> state) : m_state(std::move(state)) {}

ParallelPort::~ParallelPort() { m_state->file->close(); }

std::unique_ptr<ParallelPort> ParallelPort::open(std::string_view portName, LONG* error) {
    auto file = detail::DeviceFile::open(std::string(portName), error);
    if (!file) {
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->file = std::move(file);
    return std::unique_ptr<ParallelPort>(new ParallelPort(std::move(state)));
}

LONG ParallelPort::reopen() {
    std::lock_guard lock(m_state->mutex);
    return m_state->file->reopen();
}

LONG ParallelPort::getCommTimeouts(COMMTIMEOUTS* timeouts) {
    std::lock_guard lock(m_state->mutex);
    *timeouts = m_state->timeouts;
    return ERROR_SUCCESS;
}

LONG ParallelPort::setCommTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(m_state->mutex);
    m_state->timeouts = timeouts;
    return ERROR_SUCCESS;
}

namespace {

LONG writeUntil(int fd, const BYTE* data, DWORD length, Clock::time_point deadline, DWORD* written) {
    *written = 0;
    while (*written < length) {
        const ssize_t count = ::write(fd, data + *written, length - *written);
        if (count > 0) {
            *written += static_cast<DWORD>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN) {
            return detail::win32ErrorFromErrno(errno);
        }
        if (Clock::now() >= deadline) {
            return ERROR_SEM_TIMEOUT;
        }
        bool wokeUp = false;
        // A printer holding the line busy may report itself writable and
        // still take nothing; the short cap keeps that from spinning.
        const auto slice = std::min(deadline, Clock::now() + std::chrono::milliseconds(10));
        if (detail::waitReady(fd, POLLOUT, -1, slice, &wokeUp) < 0) {
            return detail::win32ErrorFromErrno(errno);
        }
    }
    return ERROR_SUCCESS;
}

// Reads until `length` bytes are in or the deadline passes. End of file on a
// terminal is the far end hanging up.
LONG readUntil(int fd, BYTE* buffer, DWORD length, Clock::time_point deadline, DWORD* done) {
    while (*done < length) {
        const ssize_t count = ::read(fd, buffer + *done, length - *done);
        if (count > 0) {
            *done += static_cast<DWORD>(count);
            continue;
        }
        if (count == 0) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return detail::win32ErrorFromErrno(errno);
        }
        if (Clock::now() >= deadline) {
            break;
        }
        bool wokeUp = false;
        const int ready = detail::waitReady(fd, POLLIN, -1, deadline, &wokeUp);
        if (ready < 0) {
            return detail::win32ErrorFromErrno(errno);
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace

LONG ParallelPort::write(const BYTE* data, DWORD length, DWORD* written) {
    std::lock_guard lock(m_state->mutex);
    *written = 0;
    LONG error = ERROR_SUCCESS;
    const auto descriptor = m_state->file->current(&error);
    if (!descriptor) {
        return error;
    }
    const COMMTIMEOUTS& timeouts = m_state->timeouts;
    const auto deadline = totalDeadline(timeouts.WriteTotalTimeoutMultiplier, timeouts.WriteTotalTimeoutConstant, length);
    return writeUntil(descriptor->fd(), data, length, deadline, written);
}

LONG ParallelPort::read(BYTE* buffer, DWORD length, DWORD* bytesRead) {
    std::lock_guard lock(m_state->mutex);
    *bytesRead = 0;
    while (*bytesRead < length && !m_state->keptInput.empty()) {
        buffer[(*bytesRead)++] = m_state->keptInput.front();
        m_state->keptInput.pop_front();
    }
    if (*bytesRead == length) {
        return ERROR_SUCCESS;
    }
    LONG error = ERROR_SUCCESS;
    const auto descriptor = m_state->file->current(&error);
    if (!descriptor) {
        return error;
    }
    const COMMTIMEOUTS& timeouts = m_state->timeouts;
    const bool returnAtOnce = timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == 0 &&
                              timeouts.ReadTotalTimeoutConstant == 0;
    const auto deadline = returnAtOnce ? Clock::now()
                                       : totalDeadline(timeouts.ReadTotalTimeoutMultiplier,
                                                       timeouts.ReadTotalTimeoutConstant, length);
    return readUntil(descriptor->fd(), buffer, length, deadline, bytesRead);
}

bool ParallelPort::waitForInput(DWORD waitMs) {
    std::shared_ptr<detail::Descriptor> descriptor;
    {
        std::lock_guard lock(m_state->mutex);
        if (!m_state->keptInput.empty()) {
            return true;
        }
        LONG error = ERROR_SUCCESS;
        descriptor = m_state->file->current(&error);
        if (!descriptor) {
            return true;
        }
    }
    bool wokeUp = false;
    const int ready = detail::waitReady(descriptor->fd(), POLLIN, -1, Clock::now() + std::chrono::milliseconds(waitMs),
                                        &wokeUp);
    return ready != 0;
}

LONG ParallelPort::queryInformation(BYTE* status) {
    std::lock_guard lock(m_state->mutex);
    LONG error = ERROR_SUCCESS;
    const auto descriptor = m_state->file->current(&error);
    if (!descriptor) {
        *status = PARALLEL_POWER_OFF | PARALLEL_NOT_CONNECTED;
        return ERROR_SUCCESS;
    }
    const int fd = descriptor->fd();
    if (!m_state->file->isTerminal()) {
        int lines = 0;
        if (::ioctl(fd, LPGETSTATUS, &lines) != 0) {
            return detail::win32ErrorFromErrno(errno);
        }
        *status = statusFromLines(lines);
        return ERROR_SUCCESS;
    }
    BYTE waiting[256];
    for (;;) {
        DWORD count = 0;
        const LONG drained = readUntil(fd, waiting, sizeof waiting, Clock::now(), &count);
        m_state->keep(waiting, count);
        if (drained != ERROR_SUCCESS) {
            *status = PARALLEL_POWER_OFF | PARALLEL_NOT_CONNECTED;
            return ERROR_SUCCESS;
        }
        if (count < sizeof waiting) {
            break;
        }
    }
    const auto deadline = Clock::now() + kStatusAnswerTime;
    DWORD sent = 0;
    const LONG requested = writeUntil(fd, kStatusRequest, sizeof kStatusRequest, deadline, &sent);
    if (requested == ERROR_DEVICE_NOT_CONNECTED) {
        *status = PARALLEL_POWER_OFF | PARALLEL_NOT_CONNECTED;
        return ERROR_SUCCESS;
    }
    if (requested != ERROR_SUCCESS) {
        *status = PARALLEL_OFF_LINE;
        return ERROR_SUCCESS;
    }
    BYTE answer[4];
    DWORD got = 0;
    const LONG answered = readUntil(fd, answer, sizeof answer, deadline, &got);
    if (answered != ERROR_SUCCESS) {
        *status = PARALLEL_POWER_OFF | PARALLEL_NOT_CONNECTED;
        return ERROR_SUCCESS;
    }
    if (got < sizeof answer) {
        // A late answer is still a status block; keep its start in line so
        // the stream stays whole for the next read.
        m_state->keep(answer, got);
        *status = PARALLEL_OFF_LINE;
        return ERROR_SUCCESS;
    }
    *status = PARALLEL_SELECTED;
    return ERROR_SUCCESS;
}

}  // namespace platform
