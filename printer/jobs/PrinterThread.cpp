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

// How often a held job looks at its conditions again.
constexpr platform::DWORD kErrorPauseMs = 200;
// The bound on one wait for room in a full event queue; the exit flag's
// wake ends it sooner.
constexpr std::uint32_t kEventRoomWaitMs = 200;
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

// A condition that holds an asynchronous job: the error event it raises.
// `text` is logged each time it is looked at again (F60's paper conditions
// have none).
struct Condition {
    const char* text = nullptr;
    std::int32_t resultCode = 0;
    std::int32_t extended = 0;
    // Cover, paper, cutter and power hold the job until they clear. The
    // mechanism's resume and motor errors are raised once; a RETRY then
    // prints.
    bool holds = true;

    explicit operator bool() const { return resultCode != 0; }
};

// The first condition that stands now, in the order the application hears
// of them.
Condition standingCondition(const WorkerShared& shared, bool mechanismRaised) {
    const PrinterStatus& status = *shared.status;
    const PrinterConditions& c = shared.conditions;
    if (status.cover.load() == PTR_SUE_COVER_OPEN) {
        return {"lpPrn Asyn COVER_OPEN", OPOS_E_EXTENDED, OPOS_EPTR_COVER_OPEN};
    }
    if (receiptEmpty(shared)) {
        const bool f60 = shared.port.model == model::F60;
        return {f60 ? nullptr : "lpPrn Asyn REC_EMPTY", OPOS_E_EXTENDED, OPOS_EPTR_REC_EMPTY};
    }
    if (shared.port.model == model::F60 && status.journal.load() == PTR_SUE_JRN_EMPTY) {
        return {nullptr, OPOS_E_EXTENDED, OPOS_EPTR_JRN_EMPTY};
    }
    if (c.cutterError.load()) {
        return {"lpPrn Asyn CUTTER_ERROR", OPOS_E_EXTENDED, CV_ECUTTER_ERROR};
    }
    if (!mechanismRaised) {
        if (c.locomotiveError.load()) {
            return {"lpPrn Asyn LOCOMOTIVE_ERROR", OPOS_E_EXTENDED, CV_EMOTOR_ERROR, false};
        }
        if (c.asbResumeError.load()) {
            return {"lpPrn Asyn ASBResume_ERROR", OPOS_E_EXTENDED, CV_EAUTOSTATUS_RESUME_ERROR, false};
        }
        if (c.resumeError.load()) {
            return {"lpPrn Asyn RESUME_ERROR", OPOS_E_EXTENDED, CV_ERESUME_ERROR, false};
        }
    }
    if (!c.online.load()) {
        return {"lpPrn Asyn OffToOn", OPOS_E_OFFLINE, OPOS_EPTR_REC_EMPTY};
    }
    return {};
}

// The error events raised for the asynchronous job in hand. One event is
// outstanding at a time: the next is raised only once the application
// answered the last one with RETRY and the condition still stood a pause
// later. A standing condition thus costs the application one event per
// answer, not one every cycle, and a frozen application's queue never
// fills with repeats.
class ErrorTrail {
public:
    explicit ErrorTrail(WorkerShared& shared) : m_shared(shared) {
        m_shared.ErrorEventErrorOcuured.store(0);
    }
    ~ErrorTrail() {
        m_shared.ErrorEventErrorOcuured.store(0);
        m_shared.sendError.store(0);
        hold({});
    }
    ErrorTrail(const ErrorTrail&) = delete;
    ErrorTrail& operator=(const ErrorTrail&) = delete;

    // The job waits on `condition`: State shows the error, and its event
    // goes out when one is due. A disabled device delivers nothing: the
    // event is raised once the device is enabled again.
    void hold(const Condition& condition) {
        m_shared.heldBy.store(condition.resultCode);
        m_shared.heldByExtended.store(condition.extended);
        if (!condition) {
            return;
        }
        if (condition.text != nullptr) {
            m_shared.log->debug("%s", condition.text);
        }
        m_shared.sendError.store(1);
        if (m_shared.state.load() != OPOS_S_ERROR) {
            m_shared.state.store(OPOS_S_ERROR);
        }
        if (!due() || m_shared.deviceEnabled.load() == 0) {
            return;
        }
        const std::uint64_t sequence = m_shared.queueErrorEvent(condition.resultCode, condition.extended);
        if (sequence != 0) {
            m_lastEvent = sequence;
            m_awaiting = true;
            m_shared.ErrorEventErrorOcuured.store(1);
            if (!condition.holds) {
                m_mechanismRaised = true;
            }
        }
    }

    bool awaiting() const { return m_awaiting; }
    bool raised() const { return m_shared.ErrorEventErrorOcuured.load() == 1; }
    bool mechanismRaised() const { return m_mechanismRaised; }
    std::uint64_t lastEvent() const { return m_lastEvent; }
    void answered() {
        m_awaiting = false;
        m_answeredAt = platform::tickCount();
    }

private:
    bool due() const {
        return !m_awaiting && (m_lastEvent == 0 || platform::tickCount() - m_answeredAt >= kRetryPauseMs);
    }

    // The least time between a RETRY answer and the event for a condition
    // that still stands.
    static constexpr platform::DWORD kRetryPauseMs = 1000;

    WorkerShared& m_shared;
    std::uint64_t m_lastEvent = 0;
    platform::DWORD m_answeredAt = 0;
    bool m_awaiting = false;
    bool m_mechanismRaised = false;
};

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

// An asynchronous job from the gate to its OutputComplete. It ends without
// one when the application answers an error with anything but RETRY or
// calls ClearOutput: cleared output was never printed, and only a job
// written in full is reported complete. False when the exit flag ended the
// thread.
bool printAsynchronous(WorkerShared& shared, const PrintJobRecord& job) {
    ErrorTrail trail(shared);
    Condition writeFailure;
    for (;;) {
        if (shared.exitFlag.load() != 0) {
            shared.log->debug("lpPrn ExitThread");
            endThread(shared);
            return false;
        }
        if (shared.currentJobCleared()) {
            shared.log->debug("lpPrn ClearOutput OutputID %d dropped", job.outputId);
            setIdle(shared);
            return true;
        }
        if (trail.awaiting()) {
            // The answer to an event still on its way must not be taken
            // from an earlier one.
            if (!shared.errorResponse.waitForAnswers(trail.lastEvent(), shared.exitFlag, kErrorPauseMs)) {
                continue;
            }
            trail.answered();
            if (shared.errorResponse.load() != OPOS_ER_RETRY) {
                shared.log->debug("OPOS_ER_CLEAR");
                const std::vector<std::int32_t> dropped = shared.discardAsynchronousJobs();
                shared.log->debug("lpPrn OPOS_ER_CLEAR OutputID %d and %d queued jobs dropped", job.outputId,
                                  static_cast<int>(dropped.size()));
                setIdle(shared);
                return true;
            }
            continue;
        }
        const Condition condition = writeFailure ? writeFailure : standingCondition(shared, trail.mechanismRaised());
        if (condition) {
            trail.hold(condition);
            if (trail.awaiting()) {
                writeFailure = {};
            } else {
                shared.prnWake.wait(kErrorPauseMs);
            }
            continue;
        }
        trail.hold({});
        if (writeJob(shared, job, trail.raised())) {
            break;
        }
        // Whatever part of the job went out, it did not go out whole: the
        // job stays, and the application is asked what to do with it.
        shared.log->debug("lpPrn Asyn WritePort failed");
        const bool online = shared.conditions.online.load();
        writeFailure = {nullptr, online ? OPOS_E_FAILURE : OPOS_E_EXTENDED, online ? 0 : OPOS_EPTR_REC_EMPTY};
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
