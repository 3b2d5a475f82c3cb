#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <optional>

#include "platform/threads.h"
#include "WorkerSuspension.h"

namespace platform {

// One thread blocked in a wait, registered with every event it watches so
// that set() wakes only the threads that care.
struct EventWaiter {
    std::condition_variable wake;
};

namespace {

// One lock over the state of every event: a wait-all must see its events
// signalled at the same moment and consume them together, which per-event
// locks could only give with an ordering scheme. Waits are few and short, so
// the contention costs nothing measurable.
std::mutex& eventLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

Event::Event(bool manualReset, bool initialState)
    : m_manualReset(manualReset), m_signalled(initialState) {}

Event::~Event() = default;

void Event::set() {
    std::lock_guard lock(eventLock());
    m_signalled = true;
    for (EventWaiter* waiter : m_waiters) {
        waiter->wake.notify_one();
    }
}

void Event::reset() {
    std::lock_guard lock(eventLock());
    m_signalled = false;
}

DWORD Event::wait(DWORD timeoutMs) {
    Event* const self[] = {this};
    return waitMultiple(self, false, timeoutMs);
}

namespace {

bool validWaitList(std::span<Event* const> events, bool waitAll) {
    if (events.empty() || events.size() > MAXIMUM_WAIT_OBJECTS) {
        return false;
    }
    if (std::find(events.begin(), events.end(), nullptr) != events.end()) {
        return false;
    }
    if (waitAll) {
        std::vector<Event*> sorted(events.begin(), events.end());
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
            return false;
        }
    }
    return true;
}

}  // namespace

DWORD Event::waitMultiple(std::span<Event* const> events, bool waitAll, DWORD timeoutMs) {
    if (!validWaitList(events, waitAll)) {
        return WAIT_FAILED;
    }
    detail::honourSuspension();

    // Called with the event lock held. Consumes what a satisfied wait
    // consumes and returns the wait's result, or nothing yet.
    auto trySatisfy = [&]() -> std::optional<DWORD> {
        if (waitAll) {
            const bool all = std::all_of(events.begin(), events.end(),
                                         [](const Event* e) { return e->m_signalled; });
            if (!all) {
                return std::nullopt;
            }
            for (Event* e : events) {
                if (!e->m_manualReset) {
                    e->m_signalled = false;
                }
            }
            return WAIT_OBJECT_0;
        }
        for (std::size_t i = 0; i < events.size(); ++i) {
            Event* e = events[i];
            if (e->m_signalled) {
                if (!e->m_manualReset) {
                    e->m_signalled = false;
                }
                return WAIT_OBJECT_0 + static_cast<DWORD>(i);
            }
        }
        return std::nullopt;
    };

    DWORD result = WAIT_TIMEOUT;
    {
        std::unique_lock lock(eventLock());
        if (auto satisfied = trySatisfy()) {
            result = *satisfied;
        } else if (timeoutMs != 0) {
            EventWaiter waiter;
            for (Event* e : events) {
                e->m_waiters.push_back(&waiter);
            }
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            const std::chrono::milliseconds dispatchInterval = apartmentDispatchInterval();
            for (;;) {
                if (dispatchInterval.count() > 0) {
                    // Blocks a slice at a time, and in between lets the
                    // apartment's pending calls in, without the event lock.
                    const auto sliceEnd = std::chrono::steady_clock::now() + dispatchInterval;
                    const bool last = timeoutMs != INFINITE && deadline <= sliceEnd;
                    if (waiter.wake.wait_until(lock, last ? deadline : sliceEnd) == std::cv_status::timeout) {
                        if (auto satisfied = trySatisfy()) {
                            result = *satisfied;
                            break;
                        }
                        if (last) {
                            break;
                        }
                        lock.unlock();
                        dispatchApartmentMessages();
                        lock.lock();
                    }
                } else if (timeoutMs == INFINITE) {
                    waiter.wake.wait(lock);
                } else if (waiter.wake.wait_until(lock, deadline) == std::cv_status::timeout) {
                    if (auto satisfied = trySatisfy()) {
                        result = *satisfied;
                    }
                    break;
                }
                if (auto satisfied = trySatisfy()) {
                    result = *satisfied;
                    break;
                }
            }
            for (Event* e : events) {
                std::erase(e->m_waiters, &waiter);
            }
        }
    }

    detail::honourSuspension();
    return result;
}

}  // namespace platform
