#pragma once
// The event queue fEventJob: a ring of events on their way from the printer
// thread and the status monitor to the delivery thread lpSendP.
//
// Unlike a bare ring, a full queue never overwrites an undelivered event:
// the pending count is bounded at the ring size and an event that does not
// fit is refused (the caller logs the drop). Losing the newest event keeps
// the ones the application has not seen in their order.
//
// The queue also carries the delivery thread's wake-up: a change counter
// that every push and every wake() advances, so the thread can wait for
// "something changed" instead of polling. A waiter reads the counter before
// it looks at the state it depends on, so a change that happens in between
// is never missed.
//
// Thread-safe: one lock, held only for one queue operation.
#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace printer {

enum class EventKind : std::int32_t { Error = 2, OutputComplete = 3, StatusUpdate = 4 };

struct EventEntry {
    std::int32_t value = 0;
    EventKind kind = EventKind::StatusUpdate;
    std::int32_t resultCode = 0;
    std::int32_t extendedCode = 0;
};

class EventQueue {
public:
    static constexpr int kSize = 512;

    // InitEventJob: empty, both indices before entry 0, so the first event
    // after a reset goes into entry 0.
    void reset();

    // Queues at the next write index. False, with nothing changed, when
    // kSize events are already pending.
    bool push(const EventEntry& entry);

    // Takes the oldest pending event. False when none is pending.
    bool take(EventEntry* entry);

    // Drops every pending status update for which `stale` holds, keeping
    // the order of the rest; returns how many went.
    template <typename Predicate>
    int dropStatusUpdates(Predicate stale);

    int pending() const;
    // The ring slot the last take read (-1 before the first).
    int readIndex() const;

    // The change counter, and a wake without an event (a flag the delivery
    // thread watches changed).
    std::uint64_t changes() const;
    void wake();

    // Blocks until the counter differs from `seen` or timeoutMs passed.
    // True when it changed.
    bool waitForChange(std::uint64_t seen, std::uint32_t timeoutMs) const;
    // Blocks while the queue is full, until a take makes room, a change
    // (wake) comes or timeoutMs passed. True when there is room.
    bool waitForRoom(std::uint32_t timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::array<EventEntry, kSize> m_ring{};
    int m_write = -1;
    int m_read = -1;
    int m_pending = 0;
    std::uint64_t m_changes = 0;
};

template <typename Predicate>
int EventQueue::dropStatusUpdates(Predicate stale) {
    std::lock_guard lock(m_mutex);
    int kept = 0;
    for (int i = 1; i <= m_pending; ++i) {
        const EventEntry& entry = m_ring[static_cast<std::size_t>((m_read + i + kSize) % kSize)];
        if (entry.kind == EventKind::StatusUpdate && stale(entry.value)) {
            continue;
        }
        ++kept;
        m_ring[static_cast<std::size_t>((m_read + kept + kSize) % kSize)] = entry;
    }
    const int dropped = m_pending - kept;
    m_pending = kept;
    m_write = (m_read + kept + kSize) % kSize;
    return dropped;
}

}  // namespace printer
