#include "printer/WorkerShared.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "common/OposConstants.h"

namespace printer {

namespace {

// The queue's error event when the normal ring is full.
constexpr std::int32_t kQueueFullExtended = 90090;
// Characters of job data a queue log line shows.
constexpr std::size_t kLogDataChars = 1024;
// The synchronous wait rechecks its clock at least this often, so a clock
// that runs faster than real time (in tests) ends it on time.
constexpr platform::DWORD kSynchronousWaitSliceMs = 5;

std::atomic<TickSource> g_synchronousClock{nullptr};

platform::DWORD synchronousNow() {
    const TickSource source = g_synchronousClock.load();
    return source != nullptr ? source() : platform::tickCount();
}

}  // namespace

void ErrorResponse::store(std::int32_t response) {
    {
        std::lock_guard lock(m_mutex);
        m_value.store(response);
        ++m_answered;
    }
    m_changed.notify_all();
}

bool ErrorResponse::waitForAnswers(std::uint64_t count, const std::atomic<std::int32_t>& exitFlag,
                                   std::uint32_t timeoutMs) const {
    std::unique_lock lock(m_mutex);
    const std::uint64_t wakes = m_wakes;
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return m_answered >= count || exitFlag.load() != 0 || m_wakes != wakes; });
    return m_answered >= count;
}

void ErrorResponse::wake() {
    // Taking the lock orders the wake after a waiter's look at the flag.
    {
        std::lock_guard lock(m_mutex);
        ++m_wakes;
    }
    m_changed.notify_all();
}

WorkerShared::WorkerShared(std::shared_ptr<const common::ModuleLog> sharedLog, CallbackIds callbackIds,
                           std::shared_ptr<PrinterStatus> printerStatus)
    : log(std::move(sharedLog)),
      ids(callbackIds),
      errorResponse(common::OPOS_ER_RETRY),
      status(std::move(printerStatus)) {}

WorkerShared::~WorkerShared() { platform::releaseMarshalStream(m_stream); }

std::int32_t WorkerShared::fEventJob(std::int32_t operation, std::int32_t a, std::int32_t b) {
    if (operation == 3) {
        queueErrorEvent(a, b);
        return 0;
    }
    if (exitFlag.load() != 0) {
        log->debug("fEventJob begin2");
        return 0;
    }
    EventEntry entry;
    entry.value = a;
    switch (operation) {
    case 0:
        entry.kind = EventKind::OutputComplete;
        break;
    case 2:
        entry.kind = EventKind::StatusUpdate;
        break;
    default:
        return 0;
    }
    if (!eventQueue.push(entry)) {
        log->error("fEventJob queue full, event %d (%d, %d) dropped", operation, a, b);
    }
    return 0;
}

std::uint64_t WorkerShared::queueErrorEvent(std::int32_t resultCode, std::int32_t extended) {
    if (exitFlag.load() != 0) {
        log->debug("fEventJob begin2");
        return 0;
    }
    EventEntry entry;
    entry.kind = EventKind::Error;
    entry.value = resultCode;
    entry.resultCode = resultCode;
    entry.extendedCode = extended;
    std::lock_guard lock(m_errorMutex);
    if (!eventQueue.push(entry)) {
        log->error("fEventJob queue full, event %d (%d, %d) dropped", 3, resultCode, extended);
        return 0;
    }
    return ++m_errorsQueued;
}

void WorkerShared::handOverStream(platform::MarshalStream* stream) {
    platform::MarshalStream* replaced = nullptr;
    {
        std::lock_guard lock(m_streamMutex);
        replaced = m_stream;
        m_stream = stream;
    }
    platform::releaseMarshalStream(replaced);
    eventQueue.wake();
}

platform::MarshalStream* WorkerShared::collectStream() {
    std::lock_guard lock(m_streamMutex);
    platform::MarshalStream* stream = m_stream;
    m_stream = nullptr;
    return stream;
}

void WorkerShared::setExit(bool exit) {
    exitFlag.store(exit ? 1 : 0);
    eventQueue.wake();
    prnWake.set();
    errorResponse.wake();
    // A synchronous caller waiting for a printer thread that is going away.
    SynPrnEvent.set();
}

std::int32_t WorkerShared::IsJobInQue(PrintJobRecord* job, std::int32_t operation, std::int32_t kind, bool asyncMode,
                                      std::int32_t* outputId) {
    const bool debug = log->debugEnabled();
    const std::int32_t length = job != nullptr ? static_cast<std::int32_t>(job->data.size()) : 0;
    log->debug("IsJobInQue Begin:%d,%d,%d", length, operation, kind);
    if (debug && job != nullptr) {
        log->debug("IsJobInQue(\"%s\",%d,%d,%d)", jobText(job->data, kLogDataChars).c_str(), length, operation,
                   kind);
    }
    std::int32_t result = 0;
    bool resume = false;
    {
        std::lock_guard lock(CriSectionQue);
        log->debug("IsJobInQue Enter CriSectionQue");
        if (operation == 0 && kind == kJobDiscard) {
            log->debug("IsJobInQue_0 begin");
            jobs.discardAll();
            ++m_clears;
            // A job held at an error is dropped too; its wait ends now.
            prnWake.set();
            errorResponse.wake();
            log->debug("IsJobInQue_0 end");
        } else if (operation == 0) {
            log->debug("IsJobInQue_0 begin");
            if (!asyncMode) {
                job->ticket = ++m_nextTicket;
            }
            result = jobs.queueNormal(job, asyncMode, kind == kJobIdleMarker);
            if (result < 0) {
                log->debug("IsJobInQue_0:MyNumJob(%d) >= MAX_PRNJob(%d) begin", jobs.MyNumJob(), MAX_PRNJob);
                if (asyncMode) {
                    fEventJob(3, common::OPOS_E_EXTENDED, kQueueFullExtended);
                }
                log->debug("IsJobInQue_0:MyNumJob(%d) >= MAX_PRNJob(%d) end", jobs.MyNumJob(), MAX_PRNJob);
            } else {
                if (asyncMode && outputId != nullptr) {
                    *outputId = jobs.lastOutputId();
                }
                resume = true;
                log->debug("IsJobInQue_0 end");
            }
        } else if (operation == 1) {
            log->debug("IsJobInQue_1 begin");
            result = jobs.takeNext(job) ? 1 : 0;
            m_clearsAtTake = m_clears;
            if (result == 0) {
                prnRunning.store(0);
            }
            log->debug("IsJobInQue_1 end");
        } else if (operation == 2) {
            log->debug("IsJobInQue_2 begin");
            job->ticket = ++m_nextTicket;
            if (jobs.MyNumJob() >= MAX_PRNJob) {
                log->debug("IsJobInQue_2 MyNumJob(%d) >= MAX_PRNJob(%d) end", jobs.MyNumJob(), MAX_PRNJob);
                result = -1;
            } else if (jobs.NumImPrnJob() >= kImmediateSlots) {
                log->debug("IsJobInQue_2 NumImPrnJob(%d) >= 128 end", jobs.NumImPrnJob());
                result = -1;
            } else {
                result = jobs.queueImmediate(job);
                resume = true;
                log->debug("IsJobInQue_2 end");
            }
        }
        // The running flag changes only under this lock, so the printer
        // thread is resumed once per idle spell and a resume racing its
        // suspension is kept as a pending wake.
        if (resume && jobs.MyNumJob() > 0 && prnRunning.load() == 0 && printerThread != nullptr) {
            prnRunning.store(1);
            printerThread->resume();
        }
        log->debug("IsJobInQue End:%d", result);
        log->debug("IsJobInQue Leave CriSectionQue");
    }
    return result;
}

bool WorkerShared::withdrawJob(std::uint64_t ticket) {
    std::lock_guard lock(CriSectionQue);
    return jobs.withdraw(ticket);
}

bool WorkerShared::currentJobCleared() {
    std::lock_guard lock(CriSectionQue);
    return m_clears != m_clearsAtTake;
}

void WorkerShared::completeSynchronous(std::uint64_t ticket, bool printOk) {
    {
        std::lock_guard lock(CriSectionQue);
        m_writtenTicket = ticket;
        m_printOk = printOk;
    }
    SynPrnEvent.set();
}

void setSynchronousClockForTesting(TickSource source) { g_synchronousClock.store(source); }

bool WorkerShared::waitSynchronous(std::uint64_t ticket, platform::DWORD timeoutMs, bool* printOk) {
    const platform::DWORD start = synchronousNow();
    for (;;) {
        {
            std::lock_guard lock(CriSectionQue);
            // A job whose caller gave up earlier may be written first and
            // set the event: only this job's own ticket ends the wait.
            if (m_writtenTicket == ticket) {
                *printOk = m_printOk;
                return true;
            }
        }
        if (exitFlag.load() != 0) {
            return false;
        }
        platform::DWORD remaining = platform::INFINITE;
        if (timeoutMs != platform::INFINITE) {
            const platform::DWORD elapsed = synchronousNow() - start;
            if (elapsed >= timeoutMs) {
                return false;
            }
            remaining = std::min(timeoutMs - elapsed, kSynchronousWaitSliceMs);
        }
        SynPrnEvent.wait(remaining);
    }
}

std::vector<std::int32_t> WorkerShared::discardAsynchronousJobs() {
    struct Kept {
        PrintJobRecord job;
        bool immediate;
    };
    std::lock_guard lock(CriSectionQue);
    // The rings cannot drop a job from their middle: every job is taken out
    // and those that stay go back in their order, each into its own ring.
    std::vector<Kept> kept;
    std::vector<std::int32_t> dropped;
    while (jobs.MyNumJob() > 0) {
        const bool immediate = jobs.NumImPrnJob() > 0;
        PrintJobRecord job;
        jobs.takeNext(&job);
        if (job.async != 0 && job.outputId != -1) {
            dropped.push_back(job.outputId);
        } else {
            kept.push_back(Kept{std::move(job), immediate});
        }
    }
    for (Kept& keep : kept) {
        if (keep.immediate) {
            jobs.queueImmediate(&keep.job);
        } else {
            jobs.queueNormal(&keep.job, false, keep.job.outputId == -1);
        }
    }
    return dropped;
}

void WorkerShared::setPowerState(std::int32_t powerState) {
    std::lock_guard lock(m_powerMutex);
    if (deviceEnabled.load() == 0) {
        return;
    }
    if (status->powerState.exchange(powerState) != powerState) {
        log->traceProperty(common::level::debug, common::PIDX_PowerState, powerState);
    }
}

void WorkerShared::setState(std::int32_t newState) {
    if (state.exchange(newState) != newState) {
        log->traceProperty(common::level::debug, common::PIDX_State, newState);
    }
}

void WorkerShared::setDeviceEnabled(bool enabled) {
    {
        std::lock_guard lock(m_powerMutex);
        deviceEnabled.store(enabled ? 1 : 0);
    }
    eventQueue.wake();
}

void WorkerShared::setFreezeEvents(std::int32_t freeze) {
    freezeEvents.store(freeze);
    eventQueue.wake();
}

}  // namespace printer
