#include "emulator/EmulatorLoop.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace emulator {

std::unique_ptr<EmulatorLoop> EmulatorLoop::create(std::string* error) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) {
        if (error != nullptr) {
            *error = "cannot block SIGINT and SIGTERM";
        }
        return nullptr;
    }
    const int signalFd = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
    const int eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (signalFd < 0 || eventFd < 0) {
        if (error != nullptr) {
            *error = std::string("signalfd/eventfd: ") + std::strerror(errno);
        }
        if (signalFd >= 0) {
            ::close(signalFd);
        }
        if (eventFd >= 0) {
            ::close(eventFd);
        }
        return nullptr;
    }
    return std::unique_ptr<EmulatorLoop>(new EmulatorLoop(signalFd, eventFd));
}

EmulatorLoop::EmulatorLoop(int signalFd, int eventFd) : m_signalFd(signalFd), m_eventFd(eventFd) {}

EmulatorLoop::~EmulatorLoop() {
    ::close(m_signalFd);
    ::close(m_eventFd);
}

void EmulatorLoop::notify() {
    const std::uint64_t one = 1;
    while (::write(m_eventFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void EmulatorLoop::requestQuit() {
    m_quit = true;
    notify();
}

EmulatorLoop::Wake EmulatorLoop::wait() {
    for (;;) {
        if (m_signalled) {
            return Wake::Signal;
        }
        if (m_quit) {
            return Wake::Quit;
        }
        std::array<pollfd, 2> fds{{{m_signalFd, POLLIN, 0}, {m_eventFd, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            // Without a working poll nothing can be waited for; ending the
            // program cleanly is better than spinning.
            m_signalled = true;
            continue;
        }
        if (fds[0].revents != 0) {
            signalfd_siginfo info{};
            if (::read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                m_signalled = true;
            }
            continue;
        }
        if (fds[1].revents != 0) {
            std::uint64_t count = 0;
            while (::read(m_eventFd, &count, sizeof count) < 0 && errno == EINTR) {
            }
            if (!m_quit) {
                return Wake::Activity;
            }
        }
    }
}

}  // namespace emulator
