#include <chrono>
#include <condition_variable>
#include <exception>
#include <string>
#include <system_error>

#include "WorkerSuspension.h"
#include "platform/debug.h"
#include "platform/threads.h"

namespace platform {

// Shared by the WorkerThread object and its thread, so a thread that
// outlives its object (destroyed while the body runs) keeps what it uses.
struct WorkerState {
    std::mutex mutex;
    std::condition_variable changed;  // suspend count, cancellation, end
    std::function<void()> body;
    DWORD suspendCount = 0;
    bool pendingWake = false;  // a resume arrived while nothing was suspended
    bool idKnown = false;
    DWORD id = 0;
    bool started = false;    // the body has begun
    bool cancelled = false;  // the object was destroyed before the body began
    bool finished = false;
};

namespace {

thread_local WorkerState* t_currentWorker = nullptr;

void parkWhileSuspended(WorkerState& state, std::unique_lock<std::mutex>& lock) {
    state.changed.wait(lock, [&] { return state.suspendCount == 0; });
}

void runWorker(const std::shared_ptr<WorkerState>& state) {
    t_currentWorker = state.get();
    {
        std::unique_lock lock(state->mutex);
        state->id = currentThreadId();
        state->idKnown = true;
        state->changed.notify_all();
        state->changed.wait(lock, [&] { return state->suspendCount == 0 || state->cancelled; });
        if (state->cancelled) {
            state->finished = true;
            return;
        }
        state->started = true;
    }
    try {
        state->body();
    } catch (const std::exception& e) {
        outputDebugString(("WorkerThread: the thread body threw: " + std::string(e.what()) + "\n").c_str());
    } catch (...) {
        outputDebugString("WorkerThread: the thread body threw\n");
    }
    std::lock_guard lock(state->mutex);
    state->finished = true;
    state->changed.notify_all();
}

DWORD suspendState(WorkerState& state) {
    std::unique_lock lock(state.mutex);
    if (state.finished) {
        return SUSPEND_FAILED;
    }
    const bool self = t_currentWorker == &state;
    if (self && state.pendingWake) {
        // The wake that would otherwise be lost: work was queued after the
        // body last looked, so it must look again instead of sleeping.
        state.pendingWake = false;
        const DWORD previous = state.suspendCount;
        parkWhileSuspended(state, lock);
        return previous;
    }
    if (state.suspendCount >= MAXIMUM_SUSPEND_COUNT) {
        return SUSPEND_FAILED;
    }
    const DWORD previous = state.suspendCount++;
    if (self) {
        parkWhileSuspended(state, lock);
    }
    return previous;
}

}  // namespace

namespace detail {

void honourSuspension() {
    WorkerState* state = t_currentWorker;
    if (state == nullptr) {
        return;
    }
    std::unique_lock lock(state->mutex);
    parkWhileSuspended(*state, lock);
}

}  // namespace detail

std::unique_ptr<WorkerThread> WorkerThread::create(std::function<void()> body, Start start) {
    auto state = std::make_shared<WorkerState>();
    state->body = std::move(body);
    state->suspendCount = start == Start::Suspended ? 1 : 0;
    std::unique_ptr<WorkerThread> worker(new WorkerThread(state));
    try {
        worker->m_thread = std::thread(runWorker, state);
    } catch (const std::system_error& e) {
        outputDebugString(("WorkerThread: cannot create a thread: " + std::string(e.what()) + "\n").c_str());
        return nullptr;
    }
    std::unique_lock lock(state->mutex);
    state->changed.wait(lock, [&] { return state->idKnown; });
    worker->m_id = state->id;
    return worker;
}

WorkerThread::WorkerThread(std::shared_ptr<WorkerState> state) : m_state(std::move(state)) {}

WorkerThread::~WorkerThread() {
    bool ended = false;
    {
        std::lock_guard lock(m_state->mutex);
        if (!m_state->started && !m_state->finished) {
            m_state->cancelled = true;
            m_state->changed.notify_all();
        }
        ended = m_state->cancelled || m_state->finished;
    }
    if (!m_thread.joinable()) {
        return;
    }
    if (ended && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
    } else {
        m_thread.detach();
    }
}

DWORD WorkerThread::suspend() {
    return suspendState(*m_state);
}

DWORD WorkerThread::resume() {
    std::lock_guard lock(m_state->mutex);
    if (m_state->finished) {
        return SUSPEND_FAILED;
    }
    const DWORD previous = m_state->suspendCount;
    if (previous > 0) {
        if (--m_state->suspendCount == 0) {
            m_state->changed.notify_all();
        }
    } else {
        m_state->pendingWake = true;
    }
    return previous;
}

DWORD WorkerThread::join(DWORD timeoutMs) {
    if (t_currentWorker == m_state.get()) {
        return WAIT_FAILED;
    }
    {
        std::unique_lock lock(m_state->mutex);
        auto ended = [&] { return m_state->finished; };
        if (timeoutMs == INFINITE) {
            m_state->changed.wait(lock, ended);
        } else if (!m_state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended)) {
            return WAIT_TIMEOUT;
        }
    }
    // The body has ended; the thread only has to return from runWorker.
    std::lock_guard lock(m_joinMutex);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return WAIT_OBJECT_0;
}

bool WorkerThread::finished() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->finished;
}

DWORD WorkerThread::suspendCurrent() {
    WorkerState* state = t_currentWorker;
    return state == nullptr ? SUSPEND_FAILED : suspendState(*state);
}

void WorkerThread::suspensionPoint() {
    detail::honourSuspension();
}

}  // namespace platform
