#pragma once
// Beep(frequency, duration): the service objects' audible reminder (a cash
// drawer left open). A machine without a speaker the process can drive
// writes a debug line (outputDebugString) naming the tone, and rings the
// terminal bell on stderr when stderr is a terminal. Never blocks for the
// tone's duration, never fails, thread-safe.
#include "platform/types.h"

namespace platform {

void beep(DWORD frequency, DWORD durationMs);

}  // namespace platform
