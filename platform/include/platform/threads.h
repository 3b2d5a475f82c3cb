#pragma once
// Win32 threads, events and critical sections as the service objects use
// them: CreateEvent / SetEvent / ResetEvent / WaitForSingleObject /
// WaitForMultipleObjects, CRITICAL_SECTION, GetTickCount, Sleep, and
// CreateThread (optionally CREATE_SUSPENDED) with SuspendThread /
// ResumeThread.
//
// Suspension is cooperative, unlike Windows, where SuspendThread stops a
// thread wherever it is (even inside the heap lock). A suspend request takes
// effect at the thread's next wait point: entry to or return from an Event
// wait, entry to or return from sleepMs, or WorkerThread::suspensionPoint().
// A thread is therefore never frozen while it holds a lock, unless it waits
// while holding one.
//
// Lost wake-ups cannot happen. On Windows a ResumeThread that reaches a
// thread which has not yet suspended itself does nothing, and the thread
// then sleeps with work queued. Here such a resume is remembered (a pending
// wake) and the thread's next self-suspend returns at once. The patterns the
// service objects use are safe with this:
// - A worker that suspends itself when its queue is empty, resumed by the
//   producer under the queue lock when its "running" flag is clear: the
//   worker clears the flag under the lock, leaves the lock, suspends itself,
//   and re-checks the queue when it returns. A self-suspend may return
//   without new work (a wake left over from earlier); the body re-checks its
//   condition as after any wait.
// - A thread suspended by another (disable) and resumed by it (enable).
// - Shutdown: set the exit flag, resume the threads, wait for their exit
//   events. Resuming a thread that is running is harmless (it leaves a
//   pending wake), so a shutdown may resume every thread without consulting
//   its running flag; a flag that is read before the thread clears it would
//   otherwise leave that thread asleep.
//
// Every call may be made from any thread unless stated otherwise. No call
// throws except by running out of memory.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "platform/types.h"

namespace platform {

// Results of the wait calls, with their Win32 values.
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Most events one waitMultiple call accepts (MAXIMUM_WAIT_OBJECTS).
constexpr std::size_t MAXIMUM_WAIT_OBJECTS = 64;

// Highest suspend count of a WorkerThread (MAXIMUM_SUSPEND_COUNT).
constexpr DWORD MAXIMUM_SUSPEND_COUNT = 127;

// The answer of suspend/resume when they cannot act ((DWORD)-1 on Windows).
constexpr DWORD SUSPEND_FAILED = 0xFFFFFFFFu;

struct EventWaiter;

// An event object (CreateEvent). An auto-reset event releases one waiter
// per set() and is reset by the wait that consumes it; a manual-reset event
// stays signalled and releases every waiter until reset().
//
// An Event must outlive every wait on it: destroying it while a thread
// waits is undefined, as closing the only handle would be.
class Event {
public:
    Event(bool manualReset, bool initialState);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Never blocks beyond the event lock.
    void set();
    void reset();

    // Blocks until the event is signalled or timeoutMs passed (INFINITE:
    // no limit; 0: only tests). Returns WAIT_OBJECT_0 or WAIT_TIMEOUT. On
    // a WorkerThread this is a wait point, before and after the wait.
    DWORD wait(DWORD timeoutMs);

    // WaitForMultipleObjects. waitAll false: returns WAIT_OBJECT_0 + i for
    // the lowest index i that is signalled, consuming only that event.
    // waitAll true: returns WAIT_OBJECT_0 once all are signalled at the same
    // moment, and only then consumes the auto-reset ones; while it waits,
    // other threads may consume the events it watches. WAIT_TIMEOUT when the
    // time runs out. WAIT_FAILED, without waiting, for an empty list, more
    // than MAXIMUM_WAIT_OBJECTS events, a null entry, or (wait-all only) an
    // event listed twice. A wait point on a WorkerThread, like wait().
    static DWORD waitMultiple(std::span<Event* const> events, bool waitAll, DWORD timeoutMs);

private:
    friend struct EventWaiter;
    bool m_manualReset;
    bool m_signalled;
    std::vector<EventWaiter*> m_waiters;
};

// A recursive lock (CRITICAL_SECTION). The thread that entered it must
// leave it as often as it entered. lock/unlock/try_lock let std::lock_guard
// and std::unique_lock hold it. Entering is not a suspension wait point.
class CriticalSection {
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() { m_mutex.lock(); }
    void leave() { m_mutex.unlock(); }
    // Never blocks: true when the calling thread now holds the section.
    bool tryEnter() { return m_mutex.try_lock(); }

    void lock() { enter(); }
    void unlock() { leave(); }
    bool try_lock() { return tryEnter(); }

private:
    std::recursive_mutex m_mutex;
};

// Milliseconds from a steady clock (GetTickCount): unaffected by changes of
// the wall clock, wraps to 0 after 2^32 ms (49.7 days) like the original,
// so callers compare with unsigned subtraction.
DWORD tickCount();

// Sleep. sleepMs(0) gives up the rest of the time slice. A wait point on a
// WorkerThread, before and after the sleep.
void sleepMs(DWORD milliseconds);

// GetCurrentThreadId: the operating system's id of the calling thread.
DWORD currentThreadId();

struct WorkerState;

// A thread running `body` (CreateThread). The body must not throw; an
// exception that escapes it is reported through outputDebugString and ends
// the thread as if the body had returned.
class WorkerThread {
public:
    enum class Start { Running, Suspended };

    // Starts the thread. Created Suspended, the body does not start until
    // the suspend count drops to 0 (suspend count 1 at creation). Null when
    // the system cannot create a thread (CreateThread returning NULL).
    // Blocks only until the new thread has reported its id.
    static std::unique_ptr<WorkerThread> create(std::function<void()> body,
                                                Start start = Start::Running);

    // CloseHandle: a body that never started is cancelled and never runs; a
    // body that has ended is reaped. A body that is still running or is
    // suspended part-way goes on without this object (its state stays
    // alive) - callers end their threads before destroying them.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // SuspendThread: raises the suspend count and returns its previous
    // value. From another thread, returns at once; the thread stops at its
    // next wait point. From the thread itself, blocks until resumed, except
    // that a pending wake (see the top of this file) is consumed instead and
    // the call returns 0 at once. SUSPEND_FAILED when the body has ended or
    // the count is at MAXIMUM_SUSPEND_COUNT.
    DWORD suspend();

    // ResumeThread: lowers the suspend count (if above 0) and returns its
    // previous value; the thread continues when it reaches 0. On a running
    // thread (previous value 0) leaves a pending wake. Never blocks beyond
    // the thread's lock. SUSPEND_FAILED when the body has ended.
    DWORD resume();

    // WaitForSingleObject on the thread: WAIT_OBJECT_0 once the body has
    // ended, WAIT_TIMEOUT after timeoutMs (INFINITE: no limit). WAIT_FAILED
    // when called from the thread itself, which would wait for ever. Not a
    // suspension wait point.
    DWORD join(DWORD timeoutMs);

    // True once the body has ended. Never blocks.
    bool finished() const;

    // The operating system's id of the thread (as currentThreadId() reports
    // inside the body), known from construction on.
    DWORD id() const { return m_id; }

    // SuspendThread(GetCurrentThread()) for a body that has no reference to
    // its own WorkerThread object. Same results as suspend(); called from a
    // thread that is not a WorkerThread it does nothing and returns
    // SUSPEND_FAILED.
    static DWORD suspendCurrent();

    // An explicit wait point for a body that loops without waiting: parks
    // here while the thread's suspend count is above 0. Does nothing on a
    // thread that is not a WorkerThread.
    static void suspensionPoint();

private:
    explicit WorkerThread(std::shared_ptr<WorkerState> state);

    std::shared_ptr<WorkerState> m_state;
    std::thread m_thread;
    std::mutex m_joinMutex;  // several threads may wait for one thread's end
    DWORD m_id = 0;
};

// What a blocking wait does for the thread's COM apartment. A thread in a
// single-threaded apartment (a Windows application's, as a rule) receives
// calls from other apartments - a service object's event thread calling the
// control object - only through its message queue: a wait that does not
// dispatch those messages holds up the caller, and the events it brings.
// Event waits do this by themselves; other waits on an application's thread
// use waitLettingApartmentIn. Elsewhere there is nothing to do.

// How long a wait on this thread may block before it dispatches the
// apartment's messages; zero when the thread needs no dispatching.
std::chrono::milliseconds apartmentDispatchInterval();

// Dispatches the messages waiting for this thread. Called without locks
// held: a dispatched call may change the very state the thread waits for.
void dispatchApartmentMessages();

// condition.wait_for(lock, timeout, ready), dispatching the apartment's
// messages between slices when the thread needs it (with `lock` released).
template <typename Lock, typename Ready>
bool waitLettingApartmentIn(std::condition_variable_any& condition, Lock& lock, std::chrono::milliseconds timeout,
                            Ready ready) {
    const std::chrono::milliseconds interval = apartmentDispatchInterval();
    if (interval.count() == 0) {
        return condition.wait_for(lock, timeout, ready);
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        if (condition.wait_until(lock, std::min(deadline, now + interval), ready)) {
            return true;
        }
        lock.unlock();
        dispatchApartmentMessages();
        lock.lock();
    }
    return true;
}

}  // namespace platform
