// The printer thread lpPrn: takes the queued jobs in order, writes each to
// the port, and answers its caller (synchronous) or the application's
// event handler (asynchronous).
#include <mutex>
#include <string>

#include "common/OposConstants.h"
#include "portlink/portlink.h"
#include "printer/ModelCatalogue.h"
#include "printer/WorkerShared.h"

namespace printer {

namespace {

using namespace common;

// The application gets one error event per pause, not a flood.
constexpr platform::DWORD kErrorPauseMs = 200;
constexpr platform::DWORD kOfflinePauseMs = 1000;
// Extended codes of the conditions that hold asynchronous jobs back.
constexpr std::int32_t kCutterErrorCode = 100020;
constexpr std::int32_t kMotorErrorCode = 100021;
constexpr std::int32_t kAsbResumeErrorCode = 100022;
constexpr std::int32_t kResumeErrorCode = 100023;
constexpr std::int32_t kExtendedCoverOpen = 201;
constexpr std::int32_t kExtendedJournalEmpty = 202;
constexpr std::int32_t kExtendedReceiptEmpty = 203;
constexpr std::size_t kLogHexChars = 3 * 1024;

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

// One round of an error condition: the state shows the error, the
// application gets the event, the thread pauses. False when the exit flag
// ended the thread.
bool raise(WorkerShared& shared, const char* text, std::int32_t resultCode, std::int32_t extended,
           platform::DWORD pauseMs) {
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
    shared.fEventJob(3, resultCode, extended);
    shared.prnWake.wait(pauseMs);
    return true;
}

// Holds an asynchronous job back while the printer reports a condition
// that would lose it. False when the exit flag ended the thread.
bool passErrorGate(WorkerShared& shared) {
    PrinterConditions& c = shared.conditions;
    while (c.coverOpen.load()) {
        if (!raise(shared, "lpPrn Asyn COVER_OPEN", OPOS_E_EXTENDED, kExtendedCoverOpen, kErrorPauseMs)) {
            return false;
        }
    }
    if (shared.port.model == model::F60) {
        while (c.receiptEmpty.load() && c.journalEmpty.load()) {
            if (!raise(shared, nullptr, OPOS_E_EXTENDED, kExtendedReceiptEmpty, kErrorPauseMs) ||
                !raise(shared, nullptr, OPOS_E_EXTENDED, kExtendedJournalEmpty, kErrorPauseMs)) {
                return false;
            }
        }
        while (c.receiptEmpty.load()) {
            if (!raise(shared, nullptr, OPOS_E_EXTENDED, kExtendedReceiptEmpty, kErrorPauseMs)) {
                return false;
            }
        }
        while (c.journalEmpty.load()) {
            if (!raise(shared, nullptr, OPOS_E_EXTENDED, kExtendedJournalEmpty, kErrorPauseMs)) {
                return false;
            }
        }
    } else {
        while (c.receiptEmpty.load()) {
            if (!raise(shared, "lpPrn Asyn REC_EMPTY", OPOS_E_EXTENDED, kExtendedReceiptEmpty, kErrorPauseMs)) {
                return false;
            }
        }
    }
    while (c.cutterError.load()) {
        if (!raise(shared, "lpPrn Asyn CUTTER_ERROR", OPOS_E_EXTENDED, kCutterErrorCode, kErrorPauseMs)) {
            return false;
        }
    }
    if (c.locomotiveError.load() &&
        !raise(shared, "lpPrn Asyn LOCOMOTIVE_ERROR", OPOS_E_EXTENDED, kMotorErrorCode, kErrorPauseMs)) {
        return false;
    }
    if (c.asbResumeError.load() &&
        !raise(shared, "lpPrn Asyn ASBResume_ERROR", OPOS_E_EXTENDED, kAsbResumeErrorCode, kErrorPauseMs)) {
        return false;
    }
    if (c.resumeError.load() &&
        !raise(shared, "lpPrn Asyn RESUME_ERROR", OPOS_E_EXTENDED, kResumeErrorCode, kErrorPauseMs)) {
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
        shared.fEventJob(3, OPOS_E_OFFLINE, kExtendedReceiptEmpty);
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
    const std::int32_t written = WritePort(shared.port.number, shared.port.handle, job.data.data(), length, 0,
                                           shared.port.protocol, &step, &sysError);
    shared.log->debug(retry ? "lpPrn End OPOS_ER_RETRY WritePort(\"%s\",%d):%d %d %d"
                            : "lpPrn End WritePort(\"%s\",%d):%d %d %d",
                      bytes.c_str(), length, written, step, sysError);
    return written != 0;
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
        if (job.async != 0 && !passErrorGate(shared)) {
            return;
        }
        bool printOk = false;
        if (shared.ErrorEventErrorOcuured.load() != 1) {
            printOk = writeJob(shared, job, false);
        } else if (shared.errorResponse.load() == OPOS_ER_RETRY) {
            printOk = writeJob(shared, job, true);
        } else {
            shared.log->debug("OPOS_ER_CLEAR");
        }
        // Idle before the caller is answered: an application that reads
        // State once its synchronous print returned must not see it busy.
        if (shared.state.load() != OPOS_S_IDLE) {
            shared.state.store(OPOS_S_IDLE);
        }
        if (job.async != 0) {
            shared.fEventJob(0, job.outputId, 0);
        } else {
            shared.log->debug("lpPrn Set hSynPrnEvent");
            shared.completeSynchronous(job.ticket, printOk);
        }
    }
}

}  // namespace printer
