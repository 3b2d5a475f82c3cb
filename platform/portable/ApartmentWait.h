#pragma once
// What a blocking wait does for the thread's COM apartment, supplied by
// each backend. A thread in a single-threaded apartment receives calls from
// other apartments (a service object's event thread calling the control
// object) only through its message queue: a wait that does not dispatch
// those messages would hold up the caller, which may be the very thread the
// wait is for. Elsewhere there is nothing to do.
#include <chrono>

namespace platform::detail {

// How long a wait on this thread may block before it dispatches the
// apartment's messages; zero when the thread needs no dispatching.
std::chrono::milliseconds apartmentDispatchInterval();

// Dispatches the messages waiting for this thread. Called without locks
// held: a dispatched call may set the very events the thread waits for.
void dispatchApartmentMessages();

}  // namespace platform::detail
