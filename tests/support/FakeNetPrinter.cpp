#include "support/FakeNetPrinter.h"

#include <algorithm>
#include <random>
#include <stdexcept>

namespace testsupport {

using loopback::kNone;

namespace {

// Small enough that a printer which stops reading backs the host up after a
// few hundred kilobytes instead of megabytes.
constexpr int kReceiveBufferSize = 16 * 1024;

}  // namespace

FakeNetPrinter::FakeNetPrinter(std::uint16_t dataPort, std::uint16_t statusPort) {
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> part(1, 254);
    for (int attempt = 0; attempt < 100 && m_statusListener == kNone; ++attempt) {
        const std::string address =
            "127." + std::to_string(part(random)) + "." + std::to_string(part(random)) + "." + std::to_string(part(random));
        m_dataListener = loopback::listenOn(address, dataPort, kReceiveBufferSize);
        if (m_dataListener == kNone) {
            continue;
        }
        m_statusListener = loopback::listenOn(address, statusPort, kReceiveBufferSize);
        if (m_statusListener == kNone) {
            loopback::closeSocket(m_dataListener);
            m_dataListener = kNone;
            continue;
        }
        m_address = address;
    }
    if (m_statusListener == kNone) {
        throw std::runtime_error("no loopback address to listen on");
    }
    m_thread = std::thread([this] { run(); });
}

FakeNetPrinter::~FakeNetPrinter() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.set();
    m_thread.join();
    for (const Connection& connection : m_connections) {
        loopback::closeSocket(connection.fd);
    }
    loopback::closeSocket(m_dataListener);
    loopback::closeSocket(m_statusListener);
}

void FakeNetPrinter::run() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        auto now = std::chrono::steady_clock::now();
        const bool dataDue = m_reading && (m_paceBytes == 0 || now >= m_nextDataRead);
        std::vector<loopback::Watched> watched = {{m_dataListener, true}, {m_statusListener, true}};
        for (const Connection& connection : m_connections) {
            watched.push_back({connection.fd, connection.status || dataDue});
        }
        const int waitMs = nextWakeMs(now);
        lock.unlock();
        m_wake.wait(watched, waitMs);
        lock.lock();
        now = std::chrono::steady_clock::now();
        std::vector<LateAnswer> stillLate;
        for (const LateAnswer& answer : m_lateAnswers) {
            if (answer.due > now) {
                stillLate.push_back(answer);
            } else if (std::any_of(m_connections.begin(), m_connections.end(),
                                   [&answer](const Connection& c) { return c.fd == answer.fd; })) {
                loopback::send(answer.fd, m_status.data(), m_status.size());
            }
        }
        m_lateAnswers = std::move(stillLate);
        for (int listener = 0; listener < 2; ++listener) {
            if (!watched[listener].readable) {
                continue;
            }
            const loopback::Handle fd = loopback::acceptFrom(watched[listener].socket);
            if (fd != kNone) {
                m_connections.push_back(Connection{fd, listener == 1, 0, {}});
                if (listener == 0) {
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
            const loopback::Watched seen = i + 2 < watched.size() ? watched[i + 2] : loopback::Watched{kNone, false};
            bool open = true;
            if (seen.readable && (connection.status || dataDue)) {
                std::uint8_t chunk[4096];
                const std::size_t most = !connection.status && m_paceBytes > 0 ? std::min(m_paceBytes, sizeof chunk) : sizeof chunk;
                std::size_t got = 0;
                const loopback::Received result = loopback::receive(connection.fd, chunk, most, &got);
                if (result == loopback::Received::Closed) {
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
                                loopback::send(connection.fd, m_status.data(), m_status.size());
                            }
                        }
                    }
                }
            } else if (seen.failed) {
                open = false;
            }
            if (open) {
                kept.push_back(std::move(connection));
            } else {
                loopback::closeSocket(connection.fd);
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
    m_wake.set();
}

void FakeNetPrinter::setAnswerDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_answerDelay = delay;
}

void FakeNetPrinter::sendAutomaticStatus() {
    std::lock_guard lock(m_mutex);
    for (const Connection& connection : m_connections) {
        if (!connection.status) {
            loopback::send(connection.fd, m_status.data(), m_status.size());
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

bool FakeNetPrinter::waitUntilReceived(const std::function<bool(const Bytes&)>& done,
                                       std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return done(m_received); });
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
    m_wake.set();
}

}  // namespace testsupport
