#include "support/FakePtyPrinter.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testsupport {

namespace {

void wake(int fd) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
}

}  // namespace

FakePtyPrinter::FakePtyPrinter(Options options) : m_options(std::move(options)) {
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("no pipe");
    }
    {
        std::lock_guard lock(m_mutex);
        openLine();
    }
    m_thread = std::thread([this] { run(); });
}

FakePtyPrinter::~FakePtyPrinter() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    wake(m_wake[1]);
    m_thread.join();
    std::lock_guard lock(m_mutex);
    closeLine();
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void FakePtyPrinter::openLine() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        throw std::runtime_error("no pseudo-terminal name");
    }
    m_slavePath = name;
    // Raw from the start, so nothing the host sends before it configures the
    // line is echoed or translated.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0) {
        termios line{};
        ::tcgetattr(slave, &line);
        ::cfmakeraw(&line);
        ::tcsetattr(slave, TCSANOW, &line);
        ::close(slave);
    }
    std::error_code ignored;
    std::filesystem::remove(m_options.linkPath, ignored);
    std::filesystem::create_symlink(m_slavePath, m_options.linkPath);
    if (!m_options.deviceId.empty()) {
        std::ofstream(m_options.linkPath + ".ieee1284_id") << m_options.deviceId;
    }
    m_hostConnected = false;
}

void FakePtyPrinter::closeLine() {
    std::error_code ignored;
    std::filesystem::remove(m_options.linkPath, ignored);
    if (!m_options.deviceId.empty()) {
        std::filesystem::remove(m_options.linkPath + ".ieee1284_id", ignored);
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    m_hostConnected = false;
    m_changed.notify_all();
}

void FakePtyPrinter::run() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (m_unplugRequested) {
            // Closed here, never while this thread polls it: a poll holds
            // the master open, and the host would see no hang-up until it
            // returned.
            closeLine();
            m_unplugRequested = false;
            m_changed.notify_all();
        }
        const int master = m_master;
        const short wanted = m_reading ? POLLIN : 0;
        pollfd probe{master, wanted, 0};
        if (master >= 0) {
            ::poll(&probe, 1, 0);
            const bool connected = (probe.revents & POLLHUP) == 0;
            if (connected != m_hostConnected) {
                m_hostConnected = connected;
                m_changed.notify_all();
            }
        }
        lock.unlock();
        pollfd watched[2] = {{m_wake[0], POLLIN, 0}, {master, wanted, 0}};
        if ((probe.revents & POLLIN) != 0) {
            watched[1].revents = POLLIN;
        } else if (master < 0 || (probe.revents & POLLHUP) != 0) {
            // A master reports a hang-up for as long as no host holds the
            // slave, so it cannot be waited on: look again shortly.
            ::poll(watched, 1, 5);
        } else {
            ::poll(watched, 2, -1);
        }
        lock.lock();
        char drained[16];
        while (::read(m_wake[0], drained, sizeof drained) > 0) {
        }
        if (m_master < 0 || m_master != master || !m_reading || (watched[1].revents & POLLIN) == 0) {
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_options.paceBytes > 0 && now < m_nextRead) {
            lock.unlock();
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_nextRead - now).count();
            pollfd wakeOnly{m_wake[0], POLLIN, 0};
            ::poll(&wakeOnly, 1, static_cast<int>(left));
            lock.lock();
            continue;
        }
        std::uint8_t chunk[4096];
        const std::size_t most = m_options.paceBytes > 0 ? std::min(m_options.paceBytes, sizeof chunk) : sizeof chunk;
        const ssize_t got = ::read(m_master, chunk, most);
        if (got <= 0) {
            continue;
        }
        m_received.insert(m_received.end(), chunk, chunk + got);
        if (m_options.paceBytes > 0) {
            m_nextRead = now + m_options.paceInterval;
            if (!m_paused && m_options.pauseAfter > 0 && m_received.size() >= m_options.pauseAfter) {
                m_paused = true;
                m_nextRead += m_options.pauseFor;
            }
        }
        for (; m_scanned + 1 < m_received.size(); ++m_scanned) {
            if (m_received[m_scanned] == 0x1B && m_received[m_scanned + 1] == 0x76) {
                ++m_statusRequests;
                if (m_options.answerStatusRequests) {
                    [[maybe_unused]] const ssize_t sent =
                        ::write(m_master, m_options.status.data(), m_options.status.size());
                }
            }
        }
        m_changed.notify_all();
    }
}

void FakePtyPrinter::send(const Bytes& bytes) {
    std::lock_guard lock(m_mutex);
    if (m_master >= 0) {
        [[maybe_unused]] const ssize_t sent = ::write(m_master, bytes.data(), bytes.size());
    }
}

bool FakePtyPrinter::waitForHostInput(std::size_t count, std::chrono::milliseconds timeout) const {
    std::string slavePath;
    {
        std::lock_guard lock(m_mutex);
        slavePath = m_slavePath;
    }
    const int fd = ::open(slavePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool reached = false;
    while (!reached && std::chrono::steady_clock::now() < deadline) {
        int waiting = 0;
        ::ioctl(fd, FIONREAD, &waiting);
        reached = static_cast<std::size_t>(waiting) == count;
        if (!reached) {
            std::this_thread::yield();
        }
    }
    ::close(fd);
    return reached;
}

Bytes FakePtyPrinter::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

bool FakePtyPrinter::waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_received.size() >= count; });
}

int FakePtyPrinter::statusRequests() const {
    std::lock_guard lock(m_mutex);
    return m_statusRequests;
}

bool FakePtyPrinter::hostConnected() const {
    std::lock_guard lock(m_mutex);
    return m_hostConnected;
}

bool FakePtyPrinter::waitForHostConnected(bool connected, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_hostConnected == connected; });
}

void FakePtyPrinter::setStatus(const std::array<std::uint8_t, 4>& status) {
    std::lock_guard lock(m_mutex);
    m_options.status = status;
}

void FakePtyPrinter::setAnswering(bool answering) {
    std::lock_guard lock(m_mutex);
    m_options.answerStatusRequests = answering;
}

void FakePtyPrinter::setReading(bool reading) {
    {
        std::lock_guard lock(m_mutex);
        m_reading = reading;
    }
    wake(m_wake[1]);
}

void FakePtyPrinter::unplug() {
    std::unique_lock lock(m_mutex);
    m_unplugRequested = true;
    wake(m_wake[1]);
    m_changed.wait(lock, [this] { return !m_unplugRequested; });
}

void FakePtyPrinter::plug() {
    {
        std::lock_guard lock(m_mutex);
        openLine();
    }
    wake(m_wake[1]);
}

}  // namespace testsupport
