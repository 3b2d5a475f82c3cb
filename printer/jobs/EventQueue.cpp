#include "printer/EventQueue.h"

#include <chrono>

namespace printer {

void EventQueue::reset() {
    std::lock_guard lock(m_mutex);
    m_write = -1;
    m_read = -1;
    m_pending = 0;
}

bool EventQueue::push(const EventEntry& entry) {
    {
        std::lock_guard lock(m_mutex);
        if (m_pending >= kSize) {
            return false;
        }
        m_write = (m_write + 1) % kSize;
        m_ring[static_cast<std::size_t>(m_write)] = entry;
        ++m_pending;
        ++m_changes;
    }
    m_changed.notify_all();
    return true;
}

bool EventQueue::take(EventEntry* entry) {
    bool wasFull = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_pending <= 0) {
            return false;
        }
        wasFull = m_pending >= kSize;
        m_read = (m_read + 1) % kSize;
        --m_pending;
        *entry = m_ring[static_cast<std::size_t>(m_read)];
    }
    if (wasFull) {
        m_changed.notify_all();
    }
    return true;
}

int EventQueue::pending() const {
    std::lock_guard lock(m_mutex);
    return m_pending;
}

int EventQueue::readIndex() const {
    std::lock_guard lock(m_mutex);
    return m_read;
}

std::uint64_t EventQueue::changes() const {
    std::lock_guard lock(m_mutex);
    return m_changes;
}

void EventQueue::wake() {
    {
        std::lock_guard lock(m_mutex);
        ++m_changes;
    }
    m_changed.notify_all();
}

bool EventQueue::waitForChange(std::uint64_t seen, std::uint32_t timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_changes != seen; });
}

bool EventQueue::waitForRoom(std::uint32_t timeoutMs) const {
    std::unique_lock lock(m_mutex);
    const std::uint64_t seen = m_changes;
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return m_pending < kSize || m_changes != seen; });
    return m_pending < kSize;
}

}  // namespace printer
