#include "StatusArrivals.h"

#include <chrono>

namespace port {

using Clock = std::chrono::steady_clock;

int32_t StatusArrivals::wait(std::uint64_t* mark, platform::DWORD timeoutMs, const Watch& watch) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(m_mutex);
    if (m_waiters++ == 0) {
        platform::LONG error = 0;
        m_wake = platform::InputWake::create(&error);
    }
    struct Leave {
        StatusArrivals& arrivals;
        std::unique_lock<std::mutex>& lock;
        ~Leave() {
            if (!lock.owns_lock()) {
                lock.lock();
            }
            if (--arrivals.m_waiters == 0) {
                arrivals.m_wake.reset();
            }
        }
    } leave{*this, lock};
    for (;;) {
        const auto arrivals = static_cast<std::uint32_t>(*mark);
        const auto wakes = static_cast<std::uint32_t>(*mark >> 32);
        if (m_arrivals != arrivals || m_wakes != wakes) {
            const bool came = m_arrivals != arrivals;
            *mark = markLocked();
            return came ? 1 : 0;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return 0;
        }
        if (m_watching || !m_wake) {
            m_changed.wait_until(lock, deadline);
            continue;
        }
        m_watching = true;
        lock.unlock();
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        const platform::InputWait seen = watch(static_cast<platform::DWORD>(left), *m_wake);
        lock.lock();
        m_watching = false;
        if (seen == platform::InputWait::Arrived) {
            ++m_arrivals;
        }
        // Another reader takes over the watch, or learns the news.
        m_changed.notify_all();
    }
}

void StatusArrivals::wake() {
    std::lock_guard lock(m_mutex);
    ++m_wakes;
    m_changed.notify_all();
    if (m_wake) {
        m_wake->set();
    }
}

void StatusArrivals::arrived() {
    std::lock_guard lock(m_mutex);
    ++m_arrivals;
    m_changed.notify_all();
}

}  // namespace port
