#include "LineHolder.h"

#include <windows.h>

#include <thread>

namespace devicetest {

namespace {

bool openedElsewhere(const std::string& line) {
    HANDLE handle = ::CreateFileA(line.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return ::GetLastError() == ERROR_ACCESS_DENIED || ::GetLastError() == ERROR_SHARING_VIOLATION;
    }
    ::CloseHandle(handle);
    return false;
}

}  // namespace

bool waitUntilHeldElsewhere(const std::string& line, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!openedElsewhere(line)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace devicetest
