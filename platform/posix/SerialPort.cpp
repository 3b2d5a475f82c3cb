#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "SerialDevice.h"
#include "platform/serial.h"

namespace platform {

using detail::Clock;
using detail::Descriptor;

namespace {

struct BaudRate {
    DWORD bitsPerSecond;
    speed_t code;
};

constexpr std::array<BaudRate, 30> kBaudRates = {{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
}};

bool speedCode(DWORD bitsPerSecond, speed_t* code) {
    for (const BaudRate& rate : kBaudRates) {
        if (rate.bitsPerSecond == bitsPerSecond) {
            *code = rate.code;
            return true;
        }
    }
    return false;
}

DWORD bitsPerSecond(speed_t code) {
    for (const BaudRate& rate : kBaudRates) {
        if (rate.code == code) {
            return rate.bitsPerSecond;
        }
    }
    return 9600;
}

// What GetCommState reports for a line nobody has configured yet.
DCB dcbFromLine(const termios& line) {
    DCB dcb;
    dcb.BaudRate = bitsPerSecond(::cfgetospeed(&line));
    switch (line.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
    }
    if ((line.c_cflag & PARENB) == 0) {
        dcb.Parity = NOPARITY;
    } else if ((line.c_cflag & CMSPAR) != 0) {
        dcb.Parity = (line.c_cflag & PARODD) != 0 ? MARKPARITY : SPACEPARITY;
    } else {
        dcb.Parity = (line.c_cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY;
    }
    dcb.fParity = (line.c_iflag & INPCK) != 0 ? 1 : 0;
    dcb.StopBits = (line.c_cflag & CSTOPB) != 0 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fOutxCtsFlow = (line.c_cflag & CRTSCTS) != 0 ? 1 : 0;
    dcb.fOutX = (line.c_iflag & IXON) != 0 ? 1 : 0;
    dcb.fInX = (line.c_iflag & IXOFF) != 0 ? 1 : 0;
    dcb.XonChar = static_cast<char>(line.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(line.c_cc[VSTOP]);
    return dcb;
}

LONG lineFromDcb(const DCB& dcb, termios* line) {
    speed_t speed = B0;
    if (!speedCode(dcb.BaudRate, &speed) || dcb.ByteSize < 5 || dcb.ByteSize > 8 ||
        dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS) {
        return ERROR_INVALID_PARAMETER;
    }
    ::cfmakeraw(line);
    line->c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(line, speed);
    ::cfsetospeed(line, speed);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    line->c_cflag = (line->c_cflag & ~CSIZE) | kSizes[dcb.ByteSize - 5];
    line->c_cflag &= ~(PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (dcb.Parity) {
    case ODDPARITY: line->c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: line->c_cflag |= PARENB; break;
    case MARKPARITY: line->c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: line->c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    line->c_iflag &= ~(INPCK | IXON | IXOFF);
    if (dcb.fParity != 0) {
        line->c_iflag |= INPCK;
    }
    if (dcb.StopBits != ONESTOPBIT) {
        line->c_cflag |= CSTOPB;
    }
    if (dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        line->c_cflag |= CRTSCTS;
    }
    if (dcb.fOutX != 0) {
        line->c_iflag |= IXON;
    }
    if (dcb.fInX != 0) {
        line->c_iflag |= IXOFF;
    }
    line->c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    line->c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    return ERROR_SUCCESS;
}

// Writes what the device takes now. ERROR_SUCCESS also when it took nothing.
LONG pushBytes(int fd, const BYTE* data, DWORD length, DWORD* done) {
    while (*done < length) {
        const ssize_t written = ::write(fd, data + *done, length - *done);
        if (written > 0) {
            *done += static_cast<DWORD>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno != EAGAIN) {
            return detail::win32ErrorFromErrno(errno);
        }
        break;
    }
    return ERROR_SUCCESS;
}

// Reads what is buffered now. End of file on a terminal means the far end
// hung up.
LONG pullBytes(int fd, BYTE* buffer, DWORD length, DWORD* done) {
    while (*done < length) {
        const ssize_t got = ::read(fd, buffer + *done, length - *done);
        if (got > 0) {
            *done += static_cast<DWORD>(got);
            continue;
        }
        if (got == 0) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return detail::win32ErrorFromErrno(errno);
        }
        break;
    }
    return ERROR_SUCCESS;
}

Clock::time_point deadlineAfter(DWORD timeoutMs) {
    return timeoutMs == INFINITE ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
}

// A device that reports itself ready and then takes nothing (a line held by
// XOFF) is given this long before it is asked again, so the wait does not
// spin.
constexpr auto kStalledDevicePause = std::chrono::milliseconds(10);

}  // namespace

// One overlapped transfer in one direction.
struct Transfer {
    std::shared_ptr<Descriptor> descriptor;
    BYTE* buffer = nullptr;
    const BYTE* data = nullptr;
    DWORD length = 0;
    DWORD done = 0;
    bool pending = false;
    Clock::time_point totalDeadline = Clock::time_point::max();
    DWORD intervalMs = 0;
    Clock::time_point lastByte{};
};

struct SerialLine {
    std::unique_ptr<detail::DeviceFile> file;
    std::mutex settingsMutex;
    DCB dcb;
    COMMTIMEOUTS timeouts;
    std::mutex writeMutex;
    Transfer writing;
    std::mutex readMutex;
    Transfer reading;
};

SerialPort::SerialPort(std::unique_ptr<SerialLine> line) : m_line(std::move(line)) {}

SerialPort::~SerialPort() { m_line->file->close(); }

std::unique_ptr<SerialPort> SerialPort::open(std::string_view portName, LONG* error) {
    auto file = detail::DeviceFile::open(std::string(portName), error);
    if (!file) {
        return nullptr;
    }
    auto line = std::make_unique<SerialLine>();
    if (auto settings = file->lineSettings()) {
        line->dcb = dcbFromLine(*settings);
    }
    line->file = std::move(file);
    return std::unique_ptr<SerialPort>(new SerialPort(std::move(line)));
}

LONG SerialPort::getCommState(DCB* dcb) {
    std::lock_guard lock(m_line->settingsMutex);
    *dcb = m_line->dcb;
    return ERROR_SUCCESS;
}

LONG SerialPort::setCommState(const DCB& dcb) {
    std::lock_guard lock(m_line->settingsMutex);
    if (m_line->file->isTerminal()) {
        termios line = m_line->file->lineSettings().value_or(termios{});
        if (const LONG error = lineFromDcb(dcb, &line); error != ERROR_SUCCESS) {
            return error;
        }
        if (const LONG error = m_line->file->applyLineSettings(line); error != ERROR_SUCCESS) {
            return error;
        }
        int raise = 0;
        int drop = 0;
        (dcb.fDtrControl == DTR_CONTROL_DISABLE ? drop : raise) |= TIOCM_DTR;
        if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE && dcb.fOutxCtsFlow == 0) {
            (dcb.fRtsControl == RTS_CONTROL_DISABLE ? drop : raise) |= TIOCM_RTS;
        }
        m_line->file->applyModemLevels(raise, drop);
    }
    m_line->dcb = dcb;
    return ERROR_SUCCESS;
}

LONG SerialPort::getCommTimeouts(COMMTIMEOUTS* timeouts) {
    std::lock_guard lock(m_line->settingsMutex);
    *timeouts = m_line->timeouts;
    return ERROR_SUCCESS;
}

LONG SerialPort::setCommTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(m_line->settingsMutex);
    m_line->timeouts = timeouts;
    return ERROR_SUCCESS;
}

LONG SerialPort::purge(DWORD flags) {
    if ((flags & PURGE_TXABORT) != 0) {
        std::lock_guard lock(m_line->writeMutex);
        m_line->writing = Transfer{};
    }
    if ((flags & PURGE_RXABORT) != 0) {
        std::lock_guard lock(m_line->readMutex);
        m_line->reading = Transfer{};
    }
    if ((flags & (PURGE_TXCLEAR | PURGE_RXCLEAR)) == 0 || !m_line->file->isTerminal()) {
        return ERROR_SUCCESS;
    }
    LONG error = ERROR_SUCCESS;
    const auto descriptor = m_line->file->current(&error);
    if (!descriptor) {
        return error;
    }
    const int queue = (flags & PURGE_TXCLEAR) != 0 && (flags & PURGE_RXCLEAR) != 0 ? TCIOFLUSH
                      : (flags & PURGE_TXCLEAR) != 0                                  ? TCOFLUSH
                                                                                      : TCIFLUSH;
    return ::tcflush(descriptor->fd(), queue) == 0 ? ERROR_SUCCESS : detail::win32ErrorFromErrno(errno);
}

LONG SerialPort::clearCommError(COMSTAT* status) {
    LONG error = ERROR_SUCCESS;
    const auto descriptor = m_line->file->current(&error);
    if (!descriptor) {
        return error;
    }
    int waiting = 0;
    if (::ioctl(descriptor->fd(), FIONREAD, &waiting) != 0) {
        return detail::win32ErrorFromErrno(errno);
    }
    int unsent = 0;
    if (::ioctl(descriptor->fd(), TIOCOUTQ, &unsent) != 0) {
        unsent = 0;
    }
    status->cbInQue = static_cast<DWORD>(waiting);
    status->cbOutQue = static_cast<DWORD>(unsent);
    std::lock_guard lock(m_line->writeMutex);
    if (m_line->writing.pending) {
        status->cbOutQue += m_line->writing.length - m_line->writing.done;
    }
    return ERROR_SUCCESS;
}

LONG SerialPort::getModemStatus(DWORD* status) {
    LONG error = ERROR_SUCCESS;
    const auto descriptor = m_line->file->current(&error);
    if (!descriptor) {
        *status = 0;
        return ERROR_SUCCESS;
    }
    int lines = 0;
    if (::ioctl(descriptor->fd(), TIOCMGET, &lines) != 0) {
        if (errno == ENOTTY || errno == EINVAL) {
            // No modem lines: the far end holding the line open is the
            // printer being there. current() has just seen it not hung up.
            *status = MS_CTS_ON | MS_DSR_ON;
            return ERROR_SUCCESS;
        }
        *status = 0;
        return ERROR_SUCCESS;
    }
    *status = ((lines & TIOCM_CTS) != 0 ? MS_CTS_ON : 0) | ((lines & TIOCM_DSR) != 0 ? MS_DSR_ON : 0) |
              ((lines & TIOCM_RNG) != 0 ? MS_RING_ON : 0) | ((lines & TIOCM_CAR) != 0 ? MS_RLSD_ON : 0);
    return ERROR_SUCCESS;
}

LONG SerialPort::write(const BYTE* data, DWORD length, IoEvent& event) {
    event.reset();
    std::lock_guard lock(m_line->writeMutex);
    m_line->writing = Transfer{};
    LONG error = ERROR_SUCCESS;
    auto descriptor = m_line->file->current(&error);
    if (!descriptor) {
        return error;
    }
    DWORD done = 0;
    if (const LONG result = pushBytes(descriptor->fd(), data, length, &done); result != ERROR_SUCCESS) {
        return result;
    }
    if (done == length) {
        return ERROR_SUCCESS;
    }
    Transfer& transfer = m_line->writing;
    transfer.descriptor = std::move(descriptor);
    transfer.data = data;
    transfer.length = length;
    transfer.done = done;
    transfer.pending = true;
    return ERROR_IO_PENDING;
}

DWORD SerialPort::waitWrite(IoEvent& event, DWORD timeoutMs, LONG* error) {
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        std::shared_ptr<Descriptor> descriptor;
        DWORD before = 0;
        {
            std::lock_guard lock(m_line->writeMutex);
            Transfer& transfer = m_line->writing;
            if (!transfer.pending) {
                return WAIT_OBJECT_0;
            }
            before = transfer.done;
            const LONG result = pushBytes(transfer.descriptor->fd(), transfer.data, transfer.length, &transfer.done);
            if (result != ERROR_SUCCESS) {
                transfer = Transfer{};
                *error = result;
                return WAIT_FAILED;
            }
            if (transfer.done == transfer.length) {
                transfer = Transfer{};
                return WAIT_OBJECT_0;
            }
            descriptor = transfer.descriptor;
        }
        if (Clock::now() >= deadline) {
            return WAIT_TIMEOUT;
        }
        bool wokeUp = false;
        const int ready = detail::waitReady(descriptor->fd(), POLLOUT, event.m_descriptor, deadline, &wokeUp);
        if (wokeUp && event.consume()) {
            std::lock_guard lock(m_line->writeMutex);
            m_line->writing = Transfer{};
            return WAIT_OBJECT_0;
        }
        if (ready < 0) {
            *error = detail::win32ErrorFromErrno(errno);
            return WAIT_FAILED;
        }
        if ((ready & POLLOUT) != 0 && (ready & (POLLHUP | POLLERR)) == 0) {
            std::lock_guard lock(m_line->writeMutex);
            if (m_line->writing.pending && m_line->writing.done == before) {
                // Ready, yet the last attempt took nothing: wait a moment on
                // the event alone.
                const int stalled = -1;
                bool woke = false;
                detail::waitReady(stalled, 0, event.m_descriptor,
                                  std::min(deadline, Clock::now() + kStalledDevicePause), &woke);
            }
        }
    }
}

LONG SerialPort::read(BYTE* buffer, DWORD length, IoEvent& event, DWORD* bytesRead) {
    event.reset();
    COMMTIMEOUTS timeouts;
    getCommTimeouts(&timeouts);
    std::lock_guard lock(m_line->readMutex);
    m_line->reading = Transfer{};
    *bytesRead = 0;
    LONG error = ERROR_SUCCESS;
    auto descriptor = m_line->file->current(&error);
    if (!descriptor) {
        return error;
    }
    DWORD done = 0;
    if (const LONG result = pullBytes(descriptor->fd(), buffer, length, &done); result != ERROR_SUCCESS) {
        return result;
    }
    const bool returnAtOnce = timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == 0 &&
                              timeouts.ReadTotalTimeoutConstant == 0;
    if (done == length || returnAtOnce) {
        *bytesRead = done;
        return ERROR_SUCCESS;
    }
    Transfer& transfer = m_line->reading;
    transfer.descriptor = std::move(descriptor);
    transfer.buffer = buffer;
    transfer.length = length;
    transfer.done = done;
    transfer.pending = true;
    const std::uint64_t total = std::uint64_t(timeouts.ReadTotalTimeoutMultiplier) * length +
                                timeouts.ReadTotalTimeoutConstant;
    if (total != 0) {
        transfer.totalDeadline = Clock::now() + std::chrono::milliseconds(total);
    }
    transfer.intervalMs = timeouts.ReadIntervalTimeout == MAXDWORD ? 0 : timeouts.ReadIntervalTimeout;
    transfer.lastByte = Clock::now();
    return ERROR_IO_PENDING;
}

DWORD SerialPort::waitRead(IoEvent& event, DWORD timeoutMs, DWORD* bytesRead, LONG* error) {
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        std::shared_ptr<Descriptor> descriptor;
        Clock::time_point readDeadline;
        {
            std::lock_guard lock(m_line->readMutex);
            Transfer& transfer = m_line->reading;
            if (!transfer.pending) {
                *bytesRead = 0;
                return WAIT_OBJECT_0;
            }
            const DWORD before = transfer.done;
            const LONG result = pullBytes(transfer.descriptor->fd(), transfer.buffer, transfer.length, &transfer.done);
            if (result != ERROR_SUCCESS) {
                transfer = Transfer{};
                *error = result;
                return WAIT_FAILED;
            }
            const auto now = Clock::now();
            if (transfer.done != before) {
                transfer.lastByte = now;
            }
            const auto intervalEnd = transfer.lastByte + std::chrono::milliseconds(transfer.intervalMs);
            const bool intervalOver = transfer.intervalMs != 0 && transfer.done > 0 && now >= intervalEnd;
            if (transfer.done == transfer.length || now >= transfer.totalDeadline || intervalOver) {
                *bytesRead = transfer.done;
                transfer = Transfer{};
                return WAIT_OBJECT_0;
            }
            readDeadline = transfer.totalDeadline;
            if (transfer.intervalMs != 0 && transfer.done > 0) {
                readDeadline = std::min(readDeadline, intervalEnd);
            }
            descriptor = transfer.descriptor;
        }
        if (Clock::now() >= deadline) {
            return WAIT_TIMEOUT;
        }
        bool wokeUp = false;
        const int ready =
            detail::waitReady(descriptor->fd(), POLLIN, event.m_descriptor, std::min(deadline, readDeadline), &wokeUp);
        if (wokeUp && event.consume()) {
            std::lock_guard lock(m_line->readMutex);
            *bytesRead = m_line->reading.done;
            m_line->reading = Transfer{};
            return WAIT_OBJECT_0;
        }
        if (ready < 0) {
            *error = detail::win32ErrorFromErrno(errno);
            return WAIT_FAILED;
        }
    }
}

InputWait SerialPort::waitForInput(DWORD waitMs, InputWake& wake) {
    const auto deadline = deadlineAfter(waitMs);
    LONG error = ERROR_SUCCESS;
    const auto descriptor = m_line->file->current(&error);
    if (!descriptor) {
        return wake.wait(waitMs);
    }
    const int fd = descriptor->fd();
    bool woken = false;
    const int revents = detail::waitReady(fd, POLLIN, wake.m_descriptor, deadline, &woken);
    if (woken) {
        wake.consume();
        return InputWait::Woken;
    }
    int waiting = 0;
    if (revents > 0 && ::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0) {
        return InputWait::Arrived;
    }
    if (revents <= 0) {
        return InputWait::TimedOut;
    }
    // Hung up: readable for good, with nothing to read.
    return wake.wait(static_cast<DWORD>(detail::pollTimeout(deadline)));
}

}  // namespace platform
