#include "platform/debug.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

void outputDebugString(const char* text) {
    if (text == nullptr || std::getenv("CVOPOS_DEBUG") == nullptr) {
        return;
    }
    // write(2) rather than stdio: one system call per text keeps lines from
    // several threads whole, and nothing stays buffered if the process dies.
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, text, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

}  // namespace platform
