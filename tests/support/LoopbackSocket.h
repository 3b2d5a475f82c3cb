#pragma once
// The few socket calls a fake network printer makes, on POSIX sockets or on
// Winsock: listening on a loopback address, non-blocking transfers, and a
// wait on several sockets that another thread can end at once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport::loopback {

// A socket; -1 for none.
using Handle = std::intptr_t;
constexpr Handle kNone = -1;

// A non-blocking listener on address:port with a receive buffer of the
// given size (inherited by accepted connections); kNone on failure.
Handle listenOn(const std::string& address, std::uint16_t port, int receiveBufferSize);
// A waiting connection, non-blocking; kNone when there is none.
Handle acceptFrom(Handle listener);
void closeSocket(Handle socket);

enum class Received { Data, WouldBlock, Closed };
// Up to `most` bytes into buffer; *count set for Data.
Received receive(Handle socket, std::uint8_t* buffer, std::size_t most, std::size_t* count);
// Best effort, never raises a signal.
void send(Handle socket, const std::uint8_t* data, std::size_t length);

struct Watched {
    Handle socket;
    bool forInput;
    bool readable = false;  // input, end of stream or an error
    bool failed = false;    // hung up or an error, also when not watched for input
};

// Ends a wait() from another thread.
class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;
    void set();

    // Waits until a socket in `watched` is ready, the wake-up is set, or
    // timeoutMs passes (-1: no limit); fills in the results and takes the
    // wake-up's signal.
    void wait(std::vector<Watched>& watched, int timeoutMs);

private:
    Handle m_read = kNone;
    Handle m_write = kNone;
};

}  // namespace testsupport::loopback
