#pragma once
// The device file behind a COM or LPT port: opened by port name through the
// port map, locked against a second opener, kept in raw mode, and opened
// again by path when the device behind it hung up and came back.
#include <termios.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/types.h"

namespace platform::detail {

// errno of a failed device call as the Win32 error Windows reports for the
// same failure on a COM or LPT handle.
LONG win32ErrorFromErrno(int error);

// One open descriptor. Shared so that a reopen never closes a descriptor
// that a transfer on another thread still uses; the last user closes it.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

using Clock = std::chrono::steady_clock;

// Milliseconds from now to `deadline` for poll(), 0 once it has passed.
int pollTimeout(Clock::time_point deadline);

// Waits until `fd` is ready for `events`, `wakeFd` (if not -1) is readable,
// or the deadline passes. Returns the revents of fd, with wokeUp telling
// whether wakeFd fired. -1 on a failure of poll itself.
int waitReady(int fd, short events, int wakeFd, Clock::time_point deadline, bool* wokeUp);

class DeviceFile {
public:
    // Opens the file the port name maps to. Null with *error on failure.
    static std::unique_ptr<DeviceFile> open(std::string portName, LONG* error);
    ~DeviceFile();

    // The descriptor to use now. A hung-up descriptor is replaced by a
    // fresh open of the port's path first; null (with *error) while that
    // fails or after close().
    std::shared_ptr<Descriptor> current(LONG* error);

    // Opens the path again even though nothing hung up. The new descriptor
    // is open before the old one is given up, so a pseudo-terminal's far end
    // never sees the line drop. On failure the old descriptor is given up
    // anyway, and the next current() tries the path again.
    LONG reopen();

    // Gives the descriptor up; every later current() fails.
    void close();

    bool isTerminal() const { return m_terminal; }

    // The terminal settings in force; applied again after every reopen.
    std::optional<termios> lineSettings() const;
    LONG applyLineSettings(const termios& settings);
    // DTR and RTS levels (TIOCM_DTR / TIOCM_RTS bits to raise and to drop),
    // applied again after every reopen. Ignored by devices without modem
    // lines.
    void applyModemLevels(int raise, int drop);

private:
    DeviceFile(std::string portName, int fd, bool terminal, std::optional<termios> settings);
    LONG openPathLocked(int* fd);
    LONG replaceLocked();
    void restoreLocked(int fd);

    const std::string m_portName;
    const bool m_terminal;
    mutable std::mutex m_mutex;
    std::shared_ptr<Descriptor> m_descriptor;
    std::optional<termios> m_settings;
    int m_raise = 0;
    int m_drop = 0;
    bool m_closed = false;
};

}  // namespace platform::detail
