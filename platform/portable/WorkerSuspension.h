#pragma once
// The hook through which the wait calls (Event waits, sleepMs) act as the
// wait points where a suspended WorkerThread stops.

namespace platform::detail {

// Parks the calling thread while it is a WorkerThread whose suspend count is
// above 0. Returns at once on any other thread. Must not be called while
// holding the event lock: a parked thread would block every event.
void honourSuspension();

}  // namespace platform::detail
