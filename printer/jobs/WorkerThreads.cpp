// The printer thread and the status monitor as far as the life cycle needs
// them: both start suspended, end on the exit flag and keep their running
// flags. Printing and status polling run inside these loops.
#include "printer/WorkerShared.h"

namespace printer {

void lpPrn(const std::shared_ptr<WorkerShared>& shared) {
    for (;;) {
        if (shared->exitFlag.load() != 0) {
            shared->prnRunning.store(0);
            shared->log->debug("lpPrn ExitThread");
            shared->PrnExitEvent.set();
            return;
        }
        // The job queue resumes this thread when work arrives and sets the
        // running flag under the same lock; clearing it under that lock
        // before suspending means a job queued in between is never left
        // behind (its resume is kept as a pending wake).
        {
            std::lock_guard lock(shared->CriSectionQue);
            shared->prnRunning.store(0);
        }
        platform::WorkerThread::suspendCurrent();
    }
}

void lpEvent(const std::shared_ptr<WorkerShared>& shared) {
    for (;;) {
        if (shared->exitFlag.load() != 0) {
            shared->evtRunning.store(0);
            shared->log->debug("lpEvent ExitThread");
            shared->EvtExitEvent.set();
            return;
        }
        // A wait point: disabling suspends this thread here.
        shared->statusWake.wait(kStatusCycleMs);
    }
}

}  // namespace printer
