#pragma once
// Runs actions at given times on a thread of its own, started when the
// first action is scheduled. Actions run one at a time, earliest first,
// without the timer's lock held, so they may schedule further actions.
// Destruction waits for a running action and drops those not yet due.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace emulator {

class DeadlineTimer {
public:
    using Clock = std::chrono::steady_clock;

    DeadlineTimer() = default;
    ~DeadlineTimer();
    DeadlineTimer(const DeadlineTimer&) = delete;
    DeadlineTimer& operator=(const DeadlineTimer&) = delete;

    void schedule(Clock::time_point when, std::function<void()> action);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::multimap<Clock::time_point, std::function<void()>> m_actions;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace emulator
