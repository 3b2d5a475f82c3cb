#include "TransportMailbox.h"

#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <utility>

namespace emulator {

std::shared_ptr<TransportMailbox> TransportMailbox::attach(VirtualPrinter& printer,
                                                           std::string* error) {
    UniqueFd fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!fd.valid()) {
        if (error != nullptr) {
            *error = std::string("eventfd: ") + std::strerror(errno);
        }
        return nullptr;
    }
    auto mailbox = std::make_shared<TransportMailbox>(std::move(fd));
    printer.setHostSink([mailbox](std::span<const std::uint8_t> bytes) { mailbox->pushBytes(bytes); });
    printer.addStateListener([mailbox](const PrinterState& state) { mailbox->pushState(state); });
    return mailbox;
}

TransportMailbox::TransportMailbox(UniqueFd wakeFd) : m_wakeFd(std::move(wakeFd)) {}

void TransportMailbox::pushBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_pendingBytes + bytes.size() > kMaxPendingBytes) {
            return;
        }
        if (!m_events.empty() && !m_events.back().isState) {
            m_events.back().bytes.insert(m_events.back().bytes.end(), bytes.begin(), bytes.end());
        } else {
            m_events.push_back(TransportEvent{false, Bytes(bytes.begin(), bytes.end()), {}});
        }
        m_pendingBytes += bytes.size();
    }
    signal();
}

void TransportMailbox::pushState(const PrinterState& state) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) {
            return;
        }
        // Only the latest of several states in a row matters; folding them
        // keeps the queue bounded however fast the state is toggled.
        if (!m_events.empty() && m_events.back().isState) {
            m_events.back().state = state;
        } else {
            m_events.push_back(TransportEvent{true, {}, state});
        }
    }
    signal();
}

void TransportMailbox::wake() { signal(); }

std::vector<TransportEvent> TransportMailbox::take() {
    std::uint64_t count = 0;
    // Clear the wake-up before taking the queue: an event pushed in between
    // signals again, so nothing waits unseen.
    while (::read(m_wakeFd.get(), &count, sizeof count) < 0 && errno == EINTR) {
    }
    std::lock_guard lock(m_mutex);
    m_pendingBytes = 0;
    return std::exchange(m_events, {});
}

void TransportMailbox::close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_events.clear();
    m_pendingBytes = 0;
}

void TransportMailbox::signal() {
    const std::uint64_t one = 1;
    // The counter cannot overflow in practice, and a full counter still
    // leaves the descriptor readable, which is all the I/O thread needs.
    while (::write(m_wakeFd.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

std::string feedPrinter(VirtualPrinter& printer, std::span<const std::uint8_t> bytes,
                        const std::function<void()>& onReceive) noexcept {
    try {
        printer.receive(bytes);
        if (onReceive) {
            onReceive();
        }
        return {};
    } catch (const std::exception& e) {
        return std::string("printer failed on received data: ") + e.what();
    } catch (...) {
        return "printer failed on received data";
    }
}

}  // namespace emulator
