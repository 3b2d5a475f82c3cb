#include "platform/inputwait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "SerialDevice.h"

namespace platform {

namespace {

using detail::Clock;

// Polls `fd` (if not -1) for input together with the wake-up's descriptor.
InputWait pollWithWake(int fd, int wakeFd, DWORD waitMs, bool* inputReady) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    bool woken = false;
    const int revents = detail::waitReady(fd >= 0 ? fd : wakeFd, POLLIN, fd >= 0 ? wakeFd : -1, deadline, &woken);
    if (fd < 0) {
        woken = revents > 0 && (revents & POLLIN) != 0;
        *inputReady = false;
    } else {
        *inputReady = revents > 0;
    }
    if (woken) {
        return InputWait::Woken;
    }
    return *inputReady ? InputWait::Arrived : InputWait::TimedOut;
}

}  // namespace

std::unique_ptr<InputWake> InputWake::create(LONG* error) {
    const int descriptor = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (descriptor < 0) {
        *error = detail::win32ErrorFromErrno(errno);
        return nullptr;
    }
    return std::unique_ptr<InputWake>(new InputWake(descriptor));
}

InputWake::InputWake(int descriptor) : m_descriptor(descriptor) {}

InputWake::~InputWake() { ::close(m_descriptor); }

void InputWake::set() {
    const std::uint64_t one = 1;
    // Can only fail when the counter is near 2^64, i.e. already signalled.
    [[maybe_unused]] const ssize_t written = ::write(m_descriptor, &one, sizeof one);
}

bool InputWake::consume() {
    std::uint64_t count = 0;
    return ::read(m_descriptor, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
}

InputWait InputWake::wait(DWORD waitMs) {
    bool unused = false;
    const InputWait result = pollWithWake(-1, m_descriptor, waitMs, &unused);
    if (result == InputWait::Woken) {
        consume();
    }
    return result;
}

InputWait waitForSocketInput(SOCKET socket, DWORD waitMs, InputWake& wake) {
    if (socket <= 0 || socket > 0x7FFFFFFF) {
        return wake.wait(waitMs);
    }
    bool ready = false;
    const InputWait result = pollWithWake(static_cast<int>(socket), wake.m_descriptor, waitMs, &ready);
    if (result == InputWait::Woken) {
        wake.consume();
    }
    return result;
}

}  // namespace platform
