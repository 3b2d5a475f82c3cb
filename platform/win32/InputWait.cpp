#include "platform/inputwait.h"

#include <winsock2.h>
#include <windows.h>

#include <chrono>

namespace platform {

namespace {

HANDLE handleOf(int descriptor) { return LongToHandle(descriptor); }

}  // namespace

// The event handle is kept in the descriptor field: Windows guarantees that
// kernel handles fit in 32 bits, also in 64-bit processes.
std::unique_ptr<InputWake> InputWake::create(LONG* error) {
    HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) {
        *error = static_cast<LONG>(::GetLastError());
        return nullptr;
    }
    return std::unique_ptr<InputWake>(new InputWake(HandleToLong(event)));
}

InputWake::InputWake(int descriptor) : m_descriptor(descriptor) {}

InputWake::~InputWake() { ::CloseHandle(handleOf(m_descriptor)); }

void InputWake::set() { ::SetEvent(handleOf(m_descriptor)); }

bool InputWake::consume() { return ::WaitForSingleObject(handleOf(m_descriptor), 0) == WAIT_OBJECT_0; }

InputWait InputWake::wait(DWORD waitMs) {
    return ::WaitForSingleObject(handleOf(m_descriptor), waitMs) == WAIT_OBJECT_0 ? InputWait::Woken
                                                                                   : InputWait::TimedOut;
}

// The port library's data sockets are non-blocking already, so the
// non-blocking mode WSAEventSelect leaves behind changes nothing for them.
InputWait waitForSocketInput(SOCKET socket, DWORD waitMs, InputWake& wake) {
    if (socket == 0 || socket == INVALID_SOCKET) {
        return wake.wait(waitMs);
    }
    WSAEVENT arrival = ::WSACreateEvent();
    if (arrival == WSA_INVALID_EVENT) {
        return wake.wait(waitMs);
    }
    const auto native = static_cast<::SOCKET>(socket);
    if (::WSAEventSelect(native, arrival, FD_READ | FD_CLOSE) != 0) {
        ::WSACloseEvent(arrival);
        return wake.wait(waitMs);
    }
    // The wake-up comes first, so a set() is never hidden behind input.
    const HANDLE events[] = {handleOf(wake.m_descriptor), arrival};
    const DWORD result = ::WaitForMultipleObjects(2, events, FALSE, waitMs);
    ::WSAEventSelect(native, nullptr, 0);
    ::WSACloseEvent(arrival);
    if (result == WAIT_OBJECT_0) {
        return InputWait::Woken;
    }
    return result == WAIT_OBJECT_0 + 1 ? InputWait::Arrived : InputWait::TimedOut;
}

}  // namespace platform
