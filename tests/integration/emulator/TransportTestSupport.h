#pragma once
// Host-side helpers for the transport tests: a private scratch folder, and
// descriptors opened the way a host opens a port, with every wait bounded.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"

namespace transporttest {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// Polls `condition` until it holds or `timeout` ran out; for conditions that
// have nothing to wait on (a file appearing, a port refusing).
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = 3s) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class ScratchDir {
public:
    ScratchDir() {
        std::string base;
        platform::tempDirectory(&base);
        std::string pattern = base + "emutransport-XXXXXX";
        m_path = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(Fd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd& operator=(Fd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

inline bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Opens a serial-style line by path as a host does: non-blocking, no
// controlling terminal, raw.
inline Fd openLine(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.valid()) {
        termios settings{};
        ::tcgetattr(fd.get(), &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(fd.get(), TCSANOW, &settings);
    }
    return fd;
}

inline bool writeAll(int fd, const Bytes& bytes) {
    std::size_t done = 0;
    const auto deadline = Clock::now() + 3s;
    while (done < bytes.size() && Clock::now() < deadline) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        const ssize_t m = n < 0 && errno == ENOTSOCK ? ::write(fd, bytes.data() + done, bytes.size() - done) : n;
        if (m > 0) {
            done += static_cast<std::size_t>(m);
        } else if (m < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
    return done == bytes.size();
}

// Reads exactly `count` bytes, or what arrived before the deadline or the
// end of the stream.
inline Bytes readBytes(int fd, std::size_t count, std::chrono::milliseconds timeout = 3s) {
    Bytes bytes;
    const auto deadline = Clock::now() + timeout;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            break;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) {
            break;
        }
        std::uint8_t buffer[256];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n <= 0) {
            if (n < 0 && errno == EAGAIN) {
                continue;
            }
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

// True when nothing at all becomes readable within `quiet`.
inline bool staysQuiet(int fd, std::chrono::milliseconds quiet) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(quiet.count())) == 0;
}

// Waits until the descriptor reports a hang-up.
inline bool hangsUp(int fd, std::chrono::milliseconds timeout = 3s) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) == 1 && (p.revents & POLLHUP) != 0;
}

// A blocking-mode TCP connect to address:port; invalid when refused.
inline Fd connectTcp(const std::string& address, std::uint16_t port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        return Fd();
    }
    return fd;
}

inline Fd connectUnix(const std::string& path) {
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un peer{};
    peer.sun_family = AF_UNIX;
    std::strncpy(peer.sun_path, path.c_str(), sizeof peer.sun_path - 1);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        return Fd();
    }
    return fd;
}

// Reads one reply line (without its '\n') from a control connection.
inline std::string readLine(int fd, std::chrono::milliseconds timeout = 3s) {
    std::string line;
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0) {
            break;
        }
        char c = 0;
        if (::read(fd, &c, 1) != 1) {
            break;
        }
        if (c == '\n') {
            return line;
        }
        line += c;
    }
    return line + "<no line end>";
}

inline std::string ask(int fd, const std::string& line) {
    const std::string text = line + "\n";
    if (!writeAll(fd, Bytes(text.begin(), text.end()))) {
        return "<write failed>";
    }
    return readLine(fd);
}

inline Bytes asBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes tail(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.end() - static_cast<std::ptrdiff_t>(std::min(count, bytes.size())), bytes.end());
}

}  // namespace transporttest
