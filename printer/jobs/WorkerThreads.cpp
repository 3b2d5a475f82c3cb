// The status monitor as far as the life cycle needs it: it starts
// suspended, ends on the exit flag and keeps its running flag. Status
// polling runs inside this loop.
#include "printer/WorkerShared.h"

namespace printer {

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
