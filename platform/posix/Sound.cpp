#include "platform/sound.h"

#include <unistd.h>

#include <cstdio>

#include "platform/debug.h"

namespace platform {

void beep(DWORD frequency, DWORD durationMs) {
    char line[64];
    std::snprintf(line, sizeof line, "Beep(%u, %u)\n", static_cast<unsigned>(frequency),
                  static_cast<unsigned>(durationMs));
    outputDebugString(line);
    if (::isatty(STDERR_FILENO) == 1) {
        const char bell = '\a';
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, &bell, 1);
    }
}

}  // namespace platform
