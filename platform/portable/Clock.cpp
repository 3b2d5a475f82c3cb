#include <chrono>
#include <thread>

#include "WorkerSuspension.h"
#include "platform/threads.h"

namespace platform {

DWORD tickCount() {
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    // Truncation is the point: the count wraps exactly as GetTickCount does.
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

void sleepMs(DWORD milliseconds) {
    detail::honourSuspension();
    if (milliseconds == 0) {
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    detail::honourSuspension();
}

}  // namespace platform
