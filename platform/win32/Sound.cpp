#include "platform/debug.h"
#include "platform/sound.h"

#include <windows.h>

#include <cstdio>
#include <system_error>
#include <thread>

namespace platform {

// Beep blocks for the tone's length, so it plays on a thread of its own.
void beep(DWORD frequency, DWORD durationMs) {
    char line[64];
    std::snprintf(line, sizeof line, "Beep(%u, %u)\n", static_cast<unsigned>(frequency),
                  static_cast<unsigned>(durationMs));
    outputDebugString(line);
    try {
        std::thread([frequency, durationMs] { ::Beep(frequency, durationMs); }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the reminder is lost, as on a machine without a speaker.
    }
}

}  // namespace platform
