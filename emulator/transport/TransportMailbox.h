#pragma once
// The hand-over between a printer and the I/O thread of its transport.
//
// The printer calls its host sink and state listeners from whatever thread
// changed it (a test, the control socket, the transport's own thread inside
// receive()). Those callbacks must neither block nor touch descriptors that
// the I/O thread polls, so they only queue here and wake the thread through
// an eventfd; the thread takes the queue and acts in the order the events
// happened.
//
// The printer has no way to remove a listener, so the callbacks hold the
// mailbox, not the transport: a transport that goes before its printer
// closes the mailbox and later events fall on the floor.
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "UniqueFd.h"
#include "emulator/VirtualPrinter.h"

namespace emulator {

struct TransportEvent {
    bool isState = false;
    Bytes bytes;          // the printer's own bytes, when !isState
    PrinterState state;   // the new state, when isState
};

class TransportMailbox {
public:
    // Bytes the printer may have queued for a transport that cannot keep up;
    // more is dropped, as a printer drops answers its host never collects.
    static constexpr std::size_t kMaxPendingBytes = 1 << 20;

    // Installs the printer's host sink and a state listener that feed a new
    // mailbox. Null, with `error` set, when no eventfd can be made.
    static std::shared_ptr<TransportMailbox> attach(VirtualPrinter& printer, std::string* error);

    explicit TransportMailbox(UniqueFd wakeFd);
    TransportMailbox(const TransportMailbox&) = delete;
    TransportMailbox& operator=(const TransportMailbox&) = delete;

    // Readable while events wait or a wake-up was asked for.
    int wakeFd() const { return m_wakeFd.get(); }

    void pushBytes(std::span<const std::uint8_t> bytes);
    void pushState(const PrinterState& state);
    // Wakes the I/O thread without an event (stop, plug requests).
    void wake();
    // Everything queued so far, oldest first; clears the wake-up.
    std::vector<TransportEvent> take();
    // The transport is going: drop whatever comes later.
    void close();

private:
    void signal();

    UniqueFd m_wakeFd;
    std::mutex m_mutex;
    std::vector<TransportEvent> m_events;
    std::size_t m_pendingBytes = 0;
    bool m_closed = false;
};

// Hands host bytes to the printer and then calls `onReceive`, on an I/O
// thread that must not die of an exception: a failure comes back as text
// for the transport's last error instead.
std::string feedPrinter(VirtualPrinter& printer, std::span<const std::uint8_t> bytes,
                        const std::function<void()>& onReceive) noexcept;

}  // namespace emulator
