#pragma once
// A printer at the far end of a pseudo-terminal, for tests of serial,
// parallel and USB ports: the slave is published through a symbolic link
// (the path a port map or a USB device pattern points at), both ends are raw,
// everything the host writes is kept, and each 1B 76 is answered with the
// status block. It can stop reading (so the host's writes back up), be
// unplugged (the master closes, the link and ID file go) and plugged back
// (a new pseudo-terminal behind the same link).
//
// Thread-safe; the I/O runs on one thread of its own.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

class FakePtyPrinter {
public:
    struct Options {
        std::string linkPath;
        // Written to linkPath + ".ieee1284_id" while plugged in, if not empty.
        std::string deviceId;
        std::array<std::uint8_t, 4> status{0x14, 0x00, 0x00, 0x0F};
        bool answerStatusRequests = true;
        // A slow mechanism: at most paceBytes taken every paceInterval (0:
        // as fast as the host sends), and once pauseAfter bytes are in, a
        // pause of pauseFor (a paper feed, a cut).
        std::size_t paceBytes = 0;
        std::chrono::milliseconds paceInterval{0};
        std::size_t pauseAfter = 0;
        std::chrono::milliseconds pauseFor{0};
    };

    // Throws std::runtime_error when no pseudo-terminal or link can be made.
    explicit FakePtyPrinter(Options options);
    ~FakePtyPrinter();
    FakePtyPrinter(const FakePtyPrinter&) = delete;
    FakePtyPrinter& operator=(const FakePtyPrinter&) = delete;

    const std::string& linkPath() const { return m_options.linkPath; }

    // Bytes from the printer to the host.
    void send(const Bytes& bytes);
    // Waits until the host side has `count` bytes waiting to be read
    // (counted on a descriptor of our own).
    bool waitForHostInput(std::size_t count, std::chrono::milliseconds timeout) const;

    Bytes received() const;
    bool waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    int statusRequests() const;
    // True while some host descriptor holds the slave open.
    bool hostConnected() const;
    bool waitForHostConnected(bool connected, std::chrono::milliseconds timeout) const;

    void setStatus(const std::array<std::uint8_t, 4>& status);
    void setAnswering(bool answering);
    void setReading(bool reading);

    void unplug();
    void plug();

private:
    void openLine();
    void closeLine();
    void run();

    Options m_options;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    int m_master = -1;
    std::string m_slavePath;
    int m_wake[2] = {-1, -1};
    bool m_stop = false;
    bool m_unplugRequested = false;
    bool m_reading = true;
    bool m_hostConnected = false;
    Bytes m_received;
    std::size_t m_scanned = 0;
    int m_statusRequests = 0;
    std::chrono::steady_clock::time_point m_nextRead{};
    bool m_paused = false;
    std::thread m_thread;
};

}  // namespace testsupport
