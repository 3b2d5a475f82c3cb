#include "DeadlineTimer.h"

namespace emulator {

DeadlineTimer::~DeadlineTimer() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void DeadlineTimer::schedule(Clock::time_point when, std::function<void()> action) {
    {
        std::lock_guard lock(m_mutex);
        m_actions.emplace(when, std::move(action));
        if (!m_thread.joinable()) m_thread = std::thread([this] { run(); });
    }
    m_wake.notify_all();
}

void DeadlineTimer::run() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_actions.empty()) {
            m_wake.wait(lock);
            continue;
        }
        const auto next = m_actions.begin();
        if (Clock::now() < next->first) {
            m_wake.wait_until(lock, next->first);
            continue;
        }
        std::function<void()> action = std::move(next->second);
        m_actions.erase(next);
        lock.unlock();
        action();
        lock.lock();
    }
}

}  // namespace emulator
