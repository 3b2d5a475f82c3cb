#include "support/FakeNetPrinter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <stdexcept>

namespace testsupport {

namespace {

void wake(int fd) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
}

// Small enough that a printer which stops reading backs the host up after a
// few hundred kilobytes instead of megabytes.
constexpr int kReceiveBufferSize = 16 * 1024;

int listenOn(const std::string& address, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferSize, sizeof kReceiveBufferSize);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

FakeNetPrinter::FakeNetPrinter(std::uint16_t dataPort, std::uint16_t statusPort) {
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> part(1, 254);
    for (int attempt = 0; attempt < 100 && m_statusListener < 0; ++attempt) {
        const std::string address =
            "127." + std::to_string(part(random)) + "." + std::to_string(part(random)) + "." + std::to_string(part(random));
        m_dataListener = listenOn(address, dataPort);
        if (m_dataListener < 0) {
            continue;
        }
        m_statusListener = listenOn(address, statusPort);
        if (m_statusListener < 0) {
            ::close(m_dataListener);
            m_dataListener = -1;
            continue;
        }
        m_address = address;
    }
    if (m_statusListener < 0 || ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("no loopback address to listen on");
    }
    m_thread = std::thread([this] { run(); });
}

FakeNetPrinter::~FakeNetPrinter() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    wake(m_wake[1]);
    m_thread.join();
    for (const Connection& connection : m_connections) {
        ::close(connection.fd);
    }
    ::close(m_dataListener);
    ::close(m_statusListener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void FakeNetPrinter::run() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        auto now = std::chrono::steady_clock::now();
        const bool dataDue = m_reading && (m_paceBytes == 0 || now >= m_nextDataRead);
        std::vector<pollfd> watched = {{m_wake[0], POLLIN, 0}, {m_dataListener, POLLIN, 0}, {m_statusListener, POLLIN, 0}};
        for (const Connection& connection : m_connections) {
            const bool read = connection.status || dataDue;
            watched.push_back({connection.fd, static_cast<short>(read ? POLLIN : 0), 0});
        }
        const int waitMs = nextWakeMs(now);
        lock.unlock();
        ::poll(watched.data(), watched.size(), waitMs);
        lock.lock();
        now = std::chrono::steady_clock::now();
        std::vector<LateAnswer> stillLate;
        for (const LateAnswer& answer : m_lateAnswers) {
            if (answer.due > now) {
                stillLate.push_back(answer);
            } else if (std::any_of(m_connections.begin(), m_connections.end(),
                                   [&answer](const Connection& c) { return c.fd == answer.fd; })) {
                ::send(answer.fd, m_status.data(), m_status.size(), MSG_NOSIGNAL);
            }
        }
        m_lateAnswers = std::move(stillLate);
        char drained[16];
        while (::read(m_wake[0], drained, sizeof drained) > 0) {
        }
        for (int listener = 1; listener <= 2; ++listener) {
            if ((watched[listener].revents & POLLIN) == 0) {
                continue;
            }
            const int fd = ::accept4(watched[listener].fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                m_connections.push_back(Connection{fd, listener == 2, 0, {}});
                if (listener == 1) {
                    ++m_dataAccepted;
                }
                m_changed.notify_all();
            }
        }
        // Connections are looked at in the order they were watched; new ones
        // wait for the next round.
        std::vector<Connection> kept;
        for (std::size_t i = 0; i < m_connections.size(); ++i) {
            Connection& connection = m_connections[i];
            const short events = i + 3 < watched.size() ? watched[i + 3].revents : 0;
            bool open = true;
            if ((events & (POLLIN | POLLHUP | POLLERR)) != 0 && (connection.status || dataDue)) {
                std::uint8_t chunk[4096];
                const std::size_t most = !connection.status && m_paceBytes > 0 ? std::min(m_paceBytes, sizeof chunk) : sizeof chunk;
                const ssize_t got = ::recv(connection.fd, chunk, most, 0);
                if (got <= 0 && !(got < 0 && errno == EAGAIN)) {
                    open = false;
                } else if (got > 0 && !connection.status) {
                    m_received.insert(m_received.end(), chunk, chunk + got);
                    if (m_paceBytes > 0) {
                        m_nextDataRead = now + m_paceInterval;
                    }
                } else if (got > 0) {
                    connection.pending.insert(connection.pending.end(), chunk, chunk + got);
                    for (; connection.scanned + 1 < connection.pending.size(); ++connection.scanned) {
                        if (connection.pending[connection.scanned] == 0x1B &&
                            connection.pending[connection.scanned + 1] == 0x76 && m_answering) {
                            if (m_answerDelay.count() > 0) {
                                m_lateAnswers.push_back({connection.fd, now + m_answerDelay});
                            } else {
                                ::send(connection.fd, m_status.data(), m_status.size(), MSG_NOSIGNAL);
                            }
                        }
                    }
                }
            } else if ((events & (POLLHUP | POLLERR)) != 0) {
                open = false;
            }
            if (open) {
                kept.push_back(std::move(connection));
            } else {
                ::close(connection.fd);
            }
        }
        m_connections = std::move(kept);
        m_changed.notify_all();
    }
}

int FakeNetPrinter::nextWakeMs(std::chrono::steady_clock::time_point now) const {
    auto next = std::chrono::steady_clock::time_point::max();
    if (m_paceBytes > 0 && m_reading && now < m_nextDataRead) {
        next = m_nextDataRead;
    }
    for (const LateAnswer& answer : m_lateAnswers) {
        next = std::min(next, answer.due);
    }
    if (next == std::chrono::steady_clock::time_point::max()) {
        return -1;
    }
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(std::max(next - now, now - now)).count());
}

void FakeNetPrinter::setPace(std::size_t bytes, std::chrono::milliseconds interval) {
    {
        std::lock_guard lock(m_mutex);
        m_paceBytes = bytes;
        m_paceInterval = interval;
    }
    wake(m_wake[1]);
}

void FakeNetPrinter::setAnswerDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_answerDelay = delay;
}

void FakeNetPrinter::sendAutomaticStatus() {
    std::lock_guard lock(m_mutex);
    for (const Connection& connection : m_connections) {
        if (!connection.status) {
            ::send(connection.fd, m_status.data(), m_status.size(), MSG_NOSIGNAL);
        }
    }
}

FakeNetPrinter::Bytes FakeNetPrinter::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

bool FakeNetPrinter::waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_received.size() >= count; });
}

int FakeNetPrinter::dataConnectionsAccepted() const {
    std::lock_guard lock(m_mutex);
    return m_dataAccepted;
}

int FakeNetPrinter::openDataConnections() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(),
                                          [](const Connection& connection) { return !connection.status; }));
}

int FakeNetPrinter::openStatusConnections() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(),
                                          [](const Connection& connection) { return connection.status; }));
}

bool FakeNetPrinter::waitForOpenConnections(int data, int status, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        int openData = 0;
        int openStatus = 0;
        for (const Connection& connection : m_connections) {
            ++(connection.status ? openStatus : openData);
        }
        return openData == data && openStatus == status;
    });
}

void FakeNetPrinter::setStatus(const std::array<std::uint8_t, 4>& status) {
    std::lock_guard lock(m_mutex);
    m_status = status;
}

void FakeNetPrinter::setAnswering(bool answering) {
    std::lock_guard lock(m_mutex);
    m_answering = answering;
}

void FakeNetPrinter::setReading(bool reading) {
    {
        std::lock_guard lock(m_mutex);
        m_reading = reading;
    }
    wake(m_wake[1]);
}

}  // namespace testsupport
