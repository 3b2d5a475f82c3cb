#include "SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <optional>

#include "PortDevicePath.h"
#include "platform/serial.h"

namespace platform {

namespace detail {

std::string defaultPortDevicePath(const std::string& prefix, int number) {
    return (prefix == "COM" ? "/dev/ttyS" : "/dev/lp") + std::to_string(number - 1);
}

LONG win32ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOTTY:
        return ERROR_INVALID_FUNCTION;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EIO:
    case ENODEV:
    case EPIPE:
        return ERROR_DEVICE_NOT_CONNECTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

Descriptor::~Descriptor() { ::close(m_fd); }

int pollTimeout(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
        return 0;
    }
    return left > 1'000'000 ? 1'000'000 : static_cast<int>(left);
}

int waitReady(int fd, short events, int wakeFd, Clock::time_point deadline, bool* wokeUp) {
    pollfd watched[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    const nfds_t count = wakeFd >= 0 ? 2 : 1;
    *wokeUp = false;
    for (;;) {
        const int ready = ::poll(watched, count, pollTimeout(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return -1;
        }
        *wokeUp = count == 2 && (watched[1].revents & POLLIN) != 0;
        return watched[0].revents;
    }
}

namespace {

bool hungUp(int fd) {
    pollfd probe{fd, 0, 0};
    return ::poll(&probe, 1, 0) == 1 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

DeviceFile::DeviceFile(std::string portName, int fd, bool terminal, std::optional<termios> settings)
    : m_portName(std::move(portName)),
      m_terminal(terminal),
      m_descriptor(std::make_shared<Descriptor>(fd)),
      m_settings(settings) {}

DeviceFile::~DeviceFile() = default;

std::unique_ptr<DeviceFile> DeviceFile::open(std::string portName, LONG* error) {
    const std::string path = portDevicePath(portName);
    if (path.empty()) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = win32ErrorFromErrno(errno);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = ERROR_ACCESS_DENIED;
        ::close(fd);
        return nullptr;
    }
    std::optional<termios> settings;
    if (::isatty(fd) == 1) {
        termios line{};
        if (::tcgetattr(fd, &line) != 0) {
            *error = win32ErrorFromErrno(errno);
            ::close(fd);
            return nullptr;
        }
        ::cfmakeraw(&line);
        line.c_cflag |= CLOCAL | CREAD;
        if (::tcsetattr(fd, TCSANOW, &line) != 0) {
            *error = win32ErrorFromErrno(errno);
            ::close(fd);
            return nullptr;
        }
        settings = line;
    }
    return std::unique_ptr<DeviceFile>(new DeviceFile(std::move(portName), fd, settings.has_value(), settings));
}

LONG DeviceFile::openPathLocked(int* fd) {
    const std::string path = portDevicePath(m_portName);
    const int opened = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (opened < 0) {
        // A device that is not there is a device that is not connected.
        const LONG error = win32ErrorFromErrno(errno);
        return error == ERROR_FILE_NOT_FOUND ? ERROR_DEVICE_NOT_CONNECTED : error;
    }
    if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        ::close(opened);
        return ERROR_ACCESS_DENIED;
    }
    restoreLocked(opened);
    *fd = opened;
    return ERROR_SUCCESS;
}

void DeviceFile::restoreLocked(int fd) {
    if (!m_terminal || ::isatty(fd) != 1) {
        return;
    }
    termios line{};
    if (m_settings) {
        line = *m_settings;
    } else if (::tcgetattr(fd, &line) == 0) {
        ::cfmakeraw(&line);
        line.c_cflag |= CLOCAL | CREAD;
    }
    ::tcsetattr(fd, TCSANOW, &line);
    if (m_raise != 0) {
        ::ioctl(fd, TIOCMBIS, &m_raise);
    }
    if (m_drop != 0) {
        ::ioctl(fd, TIOCMBIC, &m_drop);
    }
}

LONG DeviceFile::replaceLocked() {
    // The old descriptor's lock must go first: a device that hung up and
    // came back under the same inode would otherwise refuse us as busy.
    if (m_descriptor) {
        ::flock(m_descriptor->fd(), LOCK_UN);
    }
    int fd = -1;
    const LONG error = openPathLocked(&fd);
    if (error != ERROR_SUCCESS) {
        if (m_descriptor) {
            ::flock(m_descriptor->fd(), LOCK_EX | LOCK_NB);
        }
        return error;
    }
    m_descriptor = std::make_shared<Descriptor>(fd);
    return ERROR_SUCCESS;
}

std::shared_ptr<Descriptor> DeviceFile::current(LONG* error) {
    std::lock_guard lock(m_mutex);
    if (m_closed) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (m_descriptor && !hungUp(m_descriptor->fd())) {
        return m_descriptor;
    }
    const LONG result = replaceLocked();
    if (result != ERROR_SUCCESS) {
        *error = result;
        return nullptr;
    }
    return m_descriptor;
}

LONG DeviceFile::reopen() {
    std::lock_guard lock(m_mutex);
    if (m_closed) {
        return ERROR_INVALID_HANDLE;
    }
    const LONG error = replaceLocked();
    if (error != ERROR_SUCCESS) {
        // The caller asked for the old descriptor to go; the next call
        // looks for the device by path again.
        m_descriptor.reset();
    }
    return error;
}

void DeviceFile::close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_descriptor.reset();
}

std::optional<termios> DeviceFile::lineSettings() const {
    std::lock_guard lock(m_mutex);
    return m_settings;
}

LONG DeviceFile::applyLineSettings(const termios& settings) {
    std::lock_guard lock(m_mutex);
    if (m_closed || !m_descriptor) {
        return ERROR_INVALID_HANDLE;
    }
    if (::tcsetattr(m_descriptor->fd(), TCSANOW, &settings) != 0) {
        return win32ErrorFromErrno(errno);
    }
    m_settings = settings;
    return ERROR_SUCCESS;
}

void DeviceFile::applyModemLevels(int raise, int drop) {
    std::lock_guard lock(m_mutex);
    m_raise = raise;
    m_drop = drop;
    if (m_closed || !m_descriptor) {
        return;
    }
    if (raise != 0) {
        ::ioctl(m_descriptor->fd(), TIOCMBIS, &raise);
    }
    if (drop != 0) {
        ::ioctl(m_descriptor->fd(), TIOCMBIC, &drop);
    }
}

}  // namespace detail

}  // namespace platform
