// The printer thread lpPrn: takes the queued jobs in order, writes each to
// the port, and answers its caller (synchronous) or the application's
// event handler (asynchronous).
//
// An asynchronous job is held while the printer reports a condition that
// would lose it, and the application hears of it through error events.
// Once an error was raised for a job, the application's answer to the last
// of them decides: OPOS_ER_RETRY writes the job, anything else drops it
// with all queued asynchronous output. A write that fails is such an error
// too, so OutputComplete only ever follows a job that was written in full.
#include <mutex>
#include <string>

#include "common/CorvaneCodes.h"
#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"
#include "printer/WorkerShared.h"

namespace printer {

namespace {

using namespace common;

// The application gets one error event per pause, not a flood.
constexpr platform::DWORD kErrorPauseMs = 200;
// The bound on one wait for room in a full event queue; the exit flag's
// wake ends it sooner.
constexpr std::uint32_t kEventRoomWaitMs = 200;
constexpr platform::DWORD kOfflinePauseMs = 1000;
constexpr std::size_t kLogHexChars = 3 * 1024;

// Every written job gets its OutputComplete. When the application's events
// back up (a slow handler, frozen events) the printer waits for room in the
// event queue rather than drop one; the exit flag ends the wait.
void reportComplete(WorkerShared& shared, std::int32_t outputId) {
    while (!shared.eventQueue.waitForRoom(kEventRoomWaitMs) && shared.exitFlag.load() == 0) {
    }
    shared.fEventJob(0, outputId, 0);
}

void endThread(WorkerShared& shared) {
    shared.prnRunning.store(0);
    shared.PrnExitEvent.set();
}

// Suspends the thread until a job or the exit brings it back. The running
// flag is cleared under the queue lock, so a job queued in between resumes
// the thread (its resume is kept as a pending wake).
void idle(WorkerShared& shared) {
    {
        std::lock_guard lock(shared.CriSectionQue);
        shared.prnRunning.store(0);
    }
    platform::WorkerThread::suspendCurrent();
}

void setIdle(WorkerShared& shared) {
    if (shared.state.load() != OPOS_S_IDLE) {
        shared.state.store(OPOS_S_IDLE);
    }
}

bool receiptEmpty(const WorkerShared& shared) {
    const PrinterStatus& status = *shared.status;
    // F60 reports its receipt through its own sensor bits.
    const std::int32_t receipt = shared.port.model == model::F60 ? status.f60Receipt.load() : status.receipt.load();
    return receipt == PTR_SUE_REC_EMPTY;
}

// The errors raised for the asynchronous job in hand.
class ErrorTrail {
public:
    explicit ErrorTrail(WorkerShared& shared) : m_shared(shared) {
        m_shared.ErrorEventErrorOcuured.store(0);
    }
    ~ErrorTrail() {
        m_shared.ErrorEventErrorOcuured.store(0);
        m_shared.sendError.store(0);
    }
    ErrorTrail(const ErrorTrail&) = delete;
    ErrorTrail& operator=(const ErrorTrail&) = delete;

    // Queues one error event for the job; the printer counts as waiting on
    // an error from now until the job is done.
    void raise(std::int32_t resultCode, std::int32_t extended) {
        m_shared.sendError.store(1);
        // A disabled device delivers nothing: the condition is looked at
        // again after the pause and raised once the device is enabled.
        if (m_shared.deviceEnabled.load() == 0) {
            return;
        }
        const std::uint64_t sequence = m_shared.queueErrorEvent(resultCode, extended);
        if (sequence != 0) {
            m_lastEvent = sequence;
            m_shared.ErrorEventErrorOcuured.store(1);
        }
    }

    bool raised() const { return m_shared.ErrorEventErrorOcuured.load() == 1; }
    std::uint64_t lastEvent() const { return m_lastEvent; }

private:
    WorkerShared& m_shared;
    std::uint64_t m_lastEvent = 0;
};

// One round of an error condition: the state shows the error, the
// application gets the event, the thread pauses. False when the exit flag
// ended the thread.
bool raise(WorkerShared& shared, ErrorTrail& trail, const char* text, std::int32_t resultCode,
           std::int32_t extended, platform::DWORD pauseMs) {
    if (text != nullptr) {
        shared.log->debug("%s", text);
    }
    if (shared.state.load() != OPOS_S_ERROR) {
        shared.state.store(OPOS_S_ERROR);
    }
    if (shared.exitFlag.load() != 0) {
        shared.log->debug("%s ExitThread", text != nullptr ? text : "lpPrn Asyn");
        endThread(shared);
        return false;
    }
    trail.raise(resultCode, extended);
    shared.prnWake.wait(pauseMs);
    return true;
}

// Holds an asynchronous job back while the printer reports a condition
// that would lose it. False when the exit flag ended the thread.
bool passErrorGate(WorkerShared& shared, ErrorTrail& trail) {
    const PrinterStatus& status = *shared.status;
    const PrinterConditions& c = shared.conditions;
    while (status.cover.load() == PTR_SUE_COVER_OPEN) {
        if (!raise(shared, trail, "lpPrn Asyn COVER_OPEN", OPOS_E_EXTENDED, OPOS_EPTR_COVER_OPEN, kErrorPauseMs)) {
            return false;
        }
    }
    if (shared.port.model == model::F60) {
        auto journalEmpty = [&] { return status.journal.load() == PTR_SUE_JRN_EMPTY; };
        while (receiptEmpty(shared) && journalEmpty()) {
            if (!raise(shared, trail, nullptr, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY, kErrorPauseMs) ||
                !raise(shared, trail, nullptr, OPOS_E_EXTENDED, OPOS_EPTR_JRN_EMPTY, kErrorPauseMs)) {
                return false;
            }
        }
        while (receiptEmpty(shared)) {
            if (!raise(shared, trail, nullptr, OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY, kErrorPauseMs)) {
                return false;
            }
        }
        while (journalEmpty()) {
            if (!raise(shared, trail, nullptr, OPOS_E_EXTENDED, OPOS_EPTR_JRN_EMPTY, kErrorPauseMs)) {
                return false;
            }
        }
    } else {
        while (receiptEmpty(shared)) {
            if (!raise(shared, trail, "lpPrn Asyn REC_EMPTY", OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY,
                       kErrorPauseMs)) {
                return false;
            }
        }
    }
    while (c.cutterError.load()) {
        if (!raise(shared, trail, "lpPrn Asyn CUTTER_ERROR", OPOS_E_EXTENDED, CV_ECUTTER_ERROR, kErrorPauseMs)) {
            return false;
        }
    }
    if (c.locomotiveError.load() &&
        !raise(shared, trail, "lpPrn Asyn LOCOMOTIVE_ERROR", OPOS_E_EXTENDED, CV_EMOTOR_ERROR, kErrorPauseMs)) {
        return false;
    }
    if (c.asbResumeError.load() &&
        !raise(shared, trail, "lpPrn Asyn ASBResume_ERROR", OPOS_E_EXTENDED, CV_EAUTOSTATUS_RESUME_ERROR, kErrorPauseMs)) {
        return false;
    }
    if (c.resumeError.load() &&
        !raise(shared, trail, "lpPrn Asyn RESUME_ERROR", OPOS_E_EXTENDED, CV_ERESUME_ERROR, kErrorPauseMs)) {
        return false;
    }
    while (!c.online.load()) {
        shared.log->debug("lpPrn Asyn OffToOn");
        shared.state.store(OPOS_S_ERROR);
        if (shared.exitFlag.load() != 0) {
            shared.log->debug("lpPrn Asyn OffToOn ExitThread1");
            endThread(shared);
            return false;
        }
        trail.raise(OPOS_E_OFFLINE, OPOS_EPTR_REC_EMPTY);
        shared.prnWake.wait(kOfflinePauseMs);
        if (shared.exitFlag.load() != 0) {
            shared.log->debug("lpPrn Asyn OffToOn ExitThread2");
            endThread(shared);
            return false;
        }
    }
    return true;
}

bool writeJob(WorkerShared& shared, const PrintJobRecord& job, bool retry) {
    const auto length = static_cast<std::int32_t>(job.data.size());
    const bool debug = shared.log->debugEnabled();
    const std::string bytes = debug ? jobHexText(job.data, kLogHexChars) : std::string();
    shared.log->debug(retry ? "lpPrn Begin OPOS_ER_RETRY WritePort(\"%s\",%d)" : "lpPrn Begin WritePort(\"%s\",%d)",
                      bytes.c_str(), length);
    std::int32_t step = 0, sysError = 0;
    // No time-out of our own: the port's own write limits end a write to a
    // printer that stopped taking data.
    const std::int32_t written = shared.port.write(shared.port.number, shared.port.handle, job.data.data(), length,
                                                   0, shared.port.protocol, &step, &sysError);
    shared.log->debug(retry ? "lpPrn End OPOS_ER_RETRY WritePort(\"%s\",%d):%d %d %d"
                            : "lpPrn End WritePort(\"%s\",%d):%d %d %d",
                      bytes.c_str(), length, written, step, sysError);
    return written != 0;
}

// An asynchronous job from the gate to its OutputComplete, or to the
// application's OPOS_ER_CLEAR. False when the exit flag ended the thread.
bool printAsynchronous(WorkerShared& shared, const PrintJobRecord& job) {
    ErrorTrail trail(shared);
    for (;;) {
        if (!passErrorGate(shared, trail)) {
            return false;
        }
        if (trail.raised()) {
            // The answer to an event still on its way must not be taken
            // from an earlier one.
            if (!shared.errorResponse.waitForAnswers(trail.lastEvent(), shared.exitFlag)) {
                shared.log->debug("lpPrn ExitThread");
                endThread(shared);
                return false;
            }
            if (shared.errorResponse.load() != OPOS_ER_RETRY) {
                // Cleared output is never written, and every cleared job
                // still ends in its one OutputComplete: the application
                // learns the queue is done with it.
                shared.log->debug("OPOS_ER_CLEAR");
                const std::vector<std::int32_t> dropped = shared.discardAsynchronousJobs();
                shared.log->debug("lpPrn OPOS_ER_CLEAR OutputID %d and %d queued jobs dropped", job.outputId,
                                  static_cast<int>(dropped.size()));
                setIdle(shared);
                reportComplete(shared, job.outputId);
                for (const std::int32_t outputId : dropped) {
                    reportComplete(shared, outputId);
                }
                return true;
            }
        }
        if (writeJob(shared, job, trail.raised())) {
            break;
        }
        // Whatever part of the job went out, it did not go out whole: the
        // job stays, and the application is asked what to do with it.
        const bool online = shared.conditions.online.load();
        if (!raise(shared, trail, "lpPrn Asyn WritePort failed", online ? OPOS_E_FAILURE : OPOS_E_EXTENDED,
                   online ? 0 : OPOS_EPTR_REC_EMPTY, kErrorPauseMs)) {
            return false;
        }
    }
    setIdle(shared);
    reportComplete(shared, job.outputId);
    return true;
}

}  // namespace

void lpPrn(const std::shared_ptr<WorkerShared>& sharedPointer) {
    WorkerShared& shared = *sharedPointer;
    shared.log->debug("lpPrnProc begin(0x%02x)", static_cast<unsigned>(shared.port.number));
    for (;;) {
        if (shared.exitFlag.load() != 0) {
            shared.log->debug("lpPrn ExitThread");
            endThread(shared);
            return;
        }
        // Disabled: sleep until enabling or the exit resumes the thread
        // rather than spin on the flag.
        if (shared.deviceEnabled.load() == 0) {
            idle(shared);
            continue;
        }
        PrintJobRecord job;
        if (shared.IsJobInQue(&job, 1, 0, false) != 1) {
            platform::WorkerThread::suspendCurrent();
            continue;
        }
        if (shared.state.load() != OPOS_S_BUSY) {
            shared.state.store(OPOS_S_BUSY);
        }
        // Only idle markers carry OutputID -1, in either mode: a marker
        // queued in synchronous mode must not put its filler on the paper.
        if (job.outputId == -1) {
            shared.fEventJob(2, PTR_SUE_IDLE, 0);
            shared.log->debug("lpPrn Asyn and OutputId=-1");
            continue;
        }
        if (job.async != 0) {
            if (!printAsynchronous(shared, job)) {
                return;
            }
            continue;
        }
        const bool printOk = writeJob(shared, job, false);
        // Idle before the caller is answered: an application that reads
        // State once its synchronous print returned must not see it busy.
        setIdle(shared);
        shared.log->debug("lpPrn Set hSynPrnEvent");
        shared.completeSynchronous(job.ticket, printOk);
    }
}

}  // namespace printer
