#pragma once
// A pseudo-terminal whose slave is published through a symbolic link (and,
// for a USB node, a device ID file beside it), with its own I/O thread.
// Serial, parallel and USB printers all reach their host this way; they
// differ only in what makes the line come and go.
//
// The line is there while the printer is powered on and the channel is
// plugged in. Taking it away removes the link (and the ID file) first and
// then closes the master, so the host's open descriptor hangs up and a host
// that looks again by path finds nothing rather than a dead line. Bringing
// it back opens a new pseudo-terminal and points the same link at it.
//
// The channel keeps a descriptor of its own slave open while the line is
// up: without one, every time the host closes the line the master would
// report a hang-up until the host reopened it, and the printer would have
// to reopen the line to tell the two cases apart.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "TransportMailbox.h"
#include "UniqueFd.h"
#include "emulator/VirtualPrinter.h"

namespace emulator {

class PtyChannel {
public:
    struct Options {
        std::string linkPath;
        // Written before the link appears and removed after it went; none
        // when empty.
        std::string idFilePath;
        std::string idText;
        // Called on the I/O thread after each chunk went into receive().
        std::function<void()> onReceive;
        // Each new line becomes the calling process's controlling terminal
        // (the process must lead a session of its own and ignore SIGHUP,
        // which taking a line away sends it).
        bool controllingTerminal = false;
    };

    // Publishes the line at once when the printer is powered on. Null, with
    // `error` set, when the link path is taken by something that is not a
    // symbolic link, or the pseudo-terminal cannot be made.
    static std::unique_ptr<PtyChannel> open(VirtualPrinter& printer, Options options,
                                            std::string* error);
    ~PtyChannel();
    PtyChannel(const PtyChannel&) = delete;
    PtyChannel& operator=(const PtyChannel&) = delete;

    // Plugs the channel in or out and returns once the I/O thread has acted
    // on it. False, with `error`, when the line should be up but could not be
    // published. Must not be called from a printer callback: the I/O thread
    // may be inside receive() waiting for that very callback to return.
    bool setPlugged(bool plugged, std::string* error);
    bool plugged() const;

    // The last failure of the I/O thread to publish the line; empty if none.
    std::string lastError() const;

private:
    PtyChannel(VirtualPrinter& printer, Options options, std::shared_ptr<TransportMailbox> mailbox);

    void run();
    // Publishes or withdraws the line to match power and plug state.
    bool reconcile(bool plugged, std::string* error);
    bool publish(std::string* error);
    void withdraw();
    void readFromMaster();
    void writeToMaster();

    VirtualPrinter& m_printer;
    const Options m_options;
    const std::shared_ptr<TransportMailbox> m_mailbox;

    // The I/O thread's own (the constructor's until the thread starts).
    UniqueFd m_master;
    UniqueFd m_slave;
    std::string m_slaveName;
    Bytes m_output;
    PrinterState m_state;
    // Counts every publish and withdraw.
    std::uint64_t m_lineGeneration = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_applied;
    bool m_stop = false;
    bool m_plugged = true;
    std::uint64_t m_requested = 0;
    std::uint64_t m_done = 0;
    bool m_lastOk = true;
    std::string m_lastError;

    std::thread m_thread;
};

}  // namespace emulator
