#include "platform/threads.h"

namespace platform {

// Objects here are free-threaded: calls never wait for a thread's queue.
std::chrono::milliseconds apartmentDispatchInterval() {
    return std::chrono::milliseconds(0);
}

void dispatchApartmentMessages() {}

}  // namespace platform
