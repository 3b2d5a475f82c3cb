#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "SerialDevice.h"
#include "platform/serial.h"

namespace platform {

// An eventfd: a wait polls it together with the device, so a set() from
// another thread ends the wait at once instead of at its next time slice.
std::unique_ptr<IoEvent> IoEvent::create(LONG* error) {
    const int descriptor = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (descriptor < 0) {
        *error = detail::win32ErrorFromErrno(errno);
        return nullptr;
    }
    return std::unique_ptr<IoEvent>(new IoEvent(descriptor));
}

IoEvent::IoEvent(int descriptor) : m_descriptor(descriptor) {}

IoEvent::~IoEvent() { ::close(m_descriptor); }

void IoEvent::set() {
    const std::uint64_t one = 1;
    // Can only fail when the counter is near 2^64, i.e. already signalled.
    [[maybe_unused]] const ssize_t written = ::write(m_descriptor, &one, sizeof one);
}

void IoEvent::reset() { consume(); }

bool IoEvent::consume() {
    std::uint64_t count = 0;
    return ::read(m_descriptor, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
}

}  // namespace platform
