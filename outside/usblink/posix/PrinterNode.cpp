#include "PrinterNode.h"

#include <fcntl.h>
#include <glob.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "DeviceId.h"

namespace usblink {

namespace {

constexpr const char* kPatternVariable = "CVOPOS_USB_DEVICES";
constexpr const char* kDefaultPattern = "/dev/usb/lp*";

// usblp's "get device ID" request (it has no public header).
constexpr unsigned long deviceIdRequest(unsigned size) { return _IOC(_IOC_READ, 'P', 1, size); }

// IEEE 1284 device IDs are short; this leaves room for the longest seen.
constexpr unsigned kDeviceIdBufferSize = 1024;

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1'000'000));
}

bool gone(int error) { return error == EIO || error == ENODEV || error == EPIPE || error == EBADF || error == ENXIO; }

// Waits for `events` until the deadline; false when the device hung up.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    pollfd watched{fd, events, 0};
    while (::poll(&watched, 1, millisecondsUntil(deadline)) < 0 && errno == EINTR) {
    }
    return (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0 || (watched.revents & events) != 0;
}

int openNode(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (::isatty(fd) == 1) {
        // A stand-in line: nothing may be altered on the way.
        termios line{};
        if (::tcgetattr(fd, &line) == 0) {
            ::cfmakeraw(&line);
            ::tcsetattr(fd, TCSANOW, &line);
        }
    }
    return fd;
}

}  // namespace

std::vector<std::string> listPrinterNodes() {
    const char* variable = std::getenv(kPatternVariable);
    const std::string pattern = variable != nullptr && *variable != '\0' ? variable : kDefaultPattern;
    std::vector<std::string> nodes;
    glob_t matches{};
    if (::glob(pattern.c_str(), 0, nullptr, &matches) == 0) {
        for (std::size_t i = 0; i < matches.gl_pathc; ++i) {
            struct stat info {};
            if (::stat(matches.gl_pathv[i], &info) == 0 && S_ISCHR(info.st_mode)) {
                nodes.emplace_back(matches.gl_pathv[i]);
            }
        }
    }
    ::globfree(&matches);
    return nodes;
}

bool namesNode(const std::string& path, const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return path == name;
    }
    const std::size_t slash = path.rfind('/');
    return (slash == std::string::npos ? path : path.substr(slash + 1)) == name;
}

std::optional<std::string> readDeviceId(const std::string& path) {
    std::ifstream file(path + ".ieee1284_id");
    if (file) {
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    const int fd = openNode(path);
    if (fd < 0) {
        return std::nullopt;
    }
    unsigned char buffer[kDeviceIdBufferSize] = {};
    const int result = ::ioctl(fd, deviceIdRequest(sizeof buffer), buffer);
    ::close(fd);
    if (result < 0) {
        return std::nullopt;
    }
    return deviceIdFromReply(buffer);
}

std::unique_ptr<PrinterNode> PrinterNode::open(const std::string& path) {
    const int fd = openNode(path);
    return fd < 0 ? nullptr : std::unique_ptr<PrinterNode>(new PrinterNode(fd));
}

PrinterNode::~PrinterNode() { ::close(m_fd); }

int32_t PrinterNode::write(const std::uint8_t* data, int32_t length, int stallMs) {
    int32_t done = 0;
    auto lastProgress = Clock::now();
    while (done < length) {
        const ssize_t count = ::write(m_fd, data + done, static_cast<size_t>(length - done));
        if (count > 0) {
            done += static_cast<int32_t>(count);
            lastProgress = Clock::now();
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN) {
            return gone(errno) ? -1 : done;
        }
        const auto deadline = lastProgress + std::chrono::milliseconds(stallMs);
        if (Clock::now() >= deadline) {
            break;
        }
        // Polled in short slices: a device may report room and still take
        // nothing, and that must not spin.
        if (!waitFor(m_fd, POLLOUT, std::min(deadline, Clock::now() + std::chrono::milliseconds(10)))) {
            return -1;
        }
    }
    return done;
}

bool PrinterNode::discardInput() {
    std::uint8_t stale[256];
    for (;;) {
        const ssize_t count = ::read(m_fd, stale, sizeof stale);
        if (count > 0) {
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        // End of file on a line is its far end hanging up.
        return count < 0 && !gone(errno);
    }
}

int32_t PrinterNode::read(std::uint8_t* buffer, int32_t length, int waitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    int32_t done = 0;
    while (done < length) {
        const ssize_t count = ::read(m_fd, buffer + done, static_cast<size_t>(length - done));
        if (count > 0) {
            done += static_cast<int32_t>(count);
            continue;
        }
        if (count == 0) {
            return -1;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return gone(errno) ? -1 : done;
        }
        if (Clock::now() >= deadline) {
            break;
        }
        if (!waitFor(m_fd, POLLIN, deadline)) {
            return -1;
        }
    }
    return done;
}

int32_t PrinterNode::waitForInput(int waitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    pollfd watched{m_fd, POLLIN, 0};
    int ready = 0;
    while ((ready = ::poll(&watched, 1, millisecondsUntil(deadline))) < 0 && errno == EINTR) {
    }
    if (ready <= 0) {
        return 0;
    }
    int waiting = 0;
    if ((watched.revents & POLLIN) != 0 && ::ioctl(m_fd, FIONREAD, &waiting) == 0 && waiting > 0) {
        return 1;
    }
    return -1;
}

}  // namespace usblink
