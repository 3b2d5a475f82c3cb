#pragma once
// A network printer for tests: a data port and a status port on one
// loopback address. Data connections are kept and their bytes recorded;
// each 1B 76 on a status connection is answered with the status block.
// Tests run beside other tests on the same machine, so each printer takes a
// loopback address of its own from 127.0.0.0/8 (avoiding 127.0.0.x, which
// the virtual printer's tests use) and keeps the printers' fixed ports.
//
// Thread-safe; the I/O runs on one thread of its own.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/LoopbackSocket.h"

namespace testsupport {

class FakeNetPrinter {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Binds a free address; throws std::runtime_error when none can be had.
    explicit FakeNetPrinter(std::uint16_t dataPort = 9100, std::uint16_t statusPort = 4000);
    ~FakeNetPrinter();
    FakeNetPrinter(const FakeNetPrinter&) = delete;
    FakeNetPrinter& operator=(const FakeNetPrinter&) = delete;

    const std::string& address() const { return m_address; }
    // "NET<address>", the Port value of a device on this printer.
    std::string portValue() const { return "NET" + m_address; }

    Bytes received() const;
    bool waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    // Until `done` holds for the bytes received so far; false on time-out.
    bool waitUntilReceived(const std::function<bool(const Bytes&)>& done, std::chrono::milliseconds timeout) const;
    // Connections accepted so far, and those still open.
    int dataConnectionsAccepted() const;
    int openDataConnections() const;
    int openStatusConnections() const;
    bool waitForOpenConnections(int data, int status, std::chrono::milliseconds timeout) const;

    void setStatus(const std::array<std::uint8_t, 4>& status);
    void setAnswering(bool answering);
    // A printer that stops reading lets the host's sends back up; its
    // receive buffers are kept small so that happens soon.
    void setReading(bool reading);
    // A slow mechanism: at most `bytes` taken off the data connections
    // every `interval`.
    void setPace(std::size_t bytes, std::chrono::milliseconds interval);
    // Status requests answered this late (0: at once).
    void setAnswerDelay(std::chrono::milliseconds delay);
    // Automatic status: the block sent on every open data connection.
    void sendAutomaticStatus();

private:
    struct Connection {
        loopback::Handle fd;
        bool status;
        std::size_t scanned = 0;
        Bytes pending;
    };

    void run();
    // Poll time-out for the paced reads and the late answers; -1 for none.
    int nextWakeMs(std::chrono::steady_clock::time_point now) const;

    struct LateAnswer {
        loopback::Handle fd;
        std::chrono::steady_clock::time_point due;
    };

    std::string m_address;
    loopback::Handle m_dataListener = loopback::kNone;
    loopback::Handle m_statusListener = loopback::kNone;
    loopback::Wakeup m_wake;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_stop = false;
    bool m_reading = true;
    bool m_answering = true;
    std::array<std::uint8_t, 4> m_status{0x14, 0x00, 0x00, 0x0F};
    std::vector<Connection> m_connections;
    Bytes m_received;
    int m_dataAccepted = 0;
    std::size_t m_paceBytes = 0;
    std::chrono::milliseconds m_paceInterval{0};
    std::chrono::steady_clock::time_point m_nextDataRead{};
    std::chrono::milliseconds m_answerDelay{0};
    std::vector<LateAnswer> m_lateAnswers;
    std::thread m_thread;
};

}  // namespace testsupport
