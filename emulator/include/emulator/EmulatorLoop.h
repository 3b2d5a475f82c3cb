#pragma once
// What the emulator program's main thread waits for: a termination signal
// (SIGINT, SIGTERM), a quit request, or news from the printers.
//
// create() blocks SIGINT and SIGTERM in the calling thread and receives them
// through a descriptor instead. Threads inherit the mask they start with, so
// call it before any other thread starts; otherwise a signal may land on a
// thread that does not expect it and end the process without the final
// pictures and transcripts.
#include <atomic>
#include <memory>
#include <string>

namespace emulator {

class EmulatorLoop {
public:
    enum class Wake { Activity, Quit, Signal };

    static std::unique_ptr<EmulatorLoop> create(std::string* error = nullptr);
    ~EmulatorLoop();
    EmulatorLoop(const EmulatorLoop&) = delete;
    EmulatorLoop& operator=(const EmulatorLoop&) = delete;

    // Any thread; never blocks. Several notifications before a wait wake it
    // once.
    void notify();
    void requestQuit();

    // Blocks until something happened. A signal or quit request is reported
    // before activity, and again at every later call.
    Wake wait();

private:
    EmulatorLoop(int signalFd, int eventFd);

    const int m_signalFd;
    const int m_eventFd;
    bool m_signalled = false;
    std::atomic<bool> m_quit{false};
};

}  // namespace emulator
