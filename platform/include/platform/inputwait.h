#pragma once
// Waiting for a peer to send something by itself (a printer's automatic
// status) on a serial line or a socket, together with a wake-up that another
// thread gives: on Windows WaitCommEvent(EV_RXCHAR) or WSAEventSelect
// (FD_READ), with the wake-up's event, in one WaitForMultipleObjects.
#include <memory>

#include "platform/socket.h"
#include "platform/types.h"

namespace platform {

enum class InputWait { Arrived, Woken, TimedOut };

// An auto-reset event (CreateEvent(FALSE, FALSE)) that ends an input wait.
// A set() while nothing waits ends the next wait at once. Thread-safe;
// set() never blocks.
class InputWake {
public:
    // Null when the system has no event object to give (the error in
    // *error: ERROR_TOO_MANY_OPEN_FILES or ERROR_NOT_ENOUGH_MEMORY).
    static std::unique_ptr<InputWake> create(LONG* error);
    ~InputWake();
    InputWake(const InputWake&) = delete;
    InputWake& operator=(const InputWake&) = delete;

    void set();
    // Waits only for the wake-up: Woken (the signal is taken) or TimedOut.
    InputWait wait(DWORD waitMs);

private:
    friend class SerialPort;
    friend InputWait waitForSocketInput(SOCKET socket, DWORD waitMs, InputWake& wake);
    explicit InputWake(int descriptor);
    // Takes the signal if there is one; true when there was.
    bool consume();
    int m_descriptor;
};

// Waits up to waitMs for `socket` to have something to read (bytes, or the
// peer's end of stream), or for `wake`. Woken takes the wake-up's signal.
// A socket that is not open counts as nothing arriving.
InputWait waitForSocketInput(SOCKET socket, DWORD waitMs, InputWake& wake);

}  // namespace platform
