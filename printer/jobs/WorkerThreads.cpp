// The status monitor thread lpEvent: created suspended at claim, resumed by
// enabling and suspended by disabling; while the device is enabled it runs
// one status cycle after the other until the exit flag ends it.
#include <cstdint>

#include "portlink/portlink.h"
#include "printer/WorkerShared.h"
#include "printer/status/StatusMonitor.h"
#include "printer/status/StatusPort.h"

namespace printer {

namespace {

constexpr platform::DWORD kDisabledPollMs = 50;

}  // namespace

void lpEvent(const std::shared_ptr<WorkerShared>& sharedPointer) {
    WorkerShared& shared = *sharedPointer;
    const std::unique_ptr<StatusPort> port = makePortlinkStatusPort(shared.port);
    // Every pause is a wait on statusWake or on the port, both of which
    // shutdown wakes: the thread sees the exit flag within one pause, not one
    // whole cycle later. The pauses of a cycle watch the port for the
    // status the printer sends by itself.
    using Woke = StatusMonitor::Woke;
    StatusMonitor monitor(
        shared, *port,
        [&shared](platform::DWORD ms) {
            if (shared.exitFlag.load() != 0) {
                return false;
            }
            shared.statusWake.wait(ms);
            return shared.exitFlag.load() == 0;
        },
        [&shared, mark = std::uint64_t{0}](platform::DWORD ms) mutable {
            if (shared.exitFlag.load() != 0) {
                return Woke::Exit;
            }
            const bool arrived = WaitPortStatus(shared.port.number, &mark, static_cast<std::int32_t>(ms)) == 1;
            // Disabling suspends the thread at a wait point.
            platform::WorkerThread::suspensionPoint();
            if (shared.exitFlag.load() != 0) {
                return Woke::Exit;
            }
            return arrived ? Woke::Arrived : Woke::Elapsed;
        });
    for (;;) {
        if (shared.exitFlag.load() != 0) {
            shared.evtRunning.store(0);
            shared.log->debug("lpEvent ExitThread");
            shared.EvtExitEvent.set();
            return;
        }
        // A wait point: disabling suspends this thread here or in a pause.
        if (shared.deviceEnabled.load() == 0) {
            shared.statusWake.wait(kDisabledPollMs);
            continue;
        }
        monitor.runCycle();
    }
}

}  // namespace printer
