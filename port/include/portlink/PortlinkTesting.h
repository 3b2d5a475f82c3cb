#pragma once
// Test support only, not part of the port interface: the clock behind the
// network transport's idle reconnect (more than 120 s without a write makes
// the next WritePort reconnect first), so a test can step over two minutes
// without waiting them.
#include "platform/types.h"
#include "portlink/portlink.h"

namespace port {

using TickSource = platform::DWORD (*)();

// Milliseconds as platform::tickCount() counts them. Null restores the real
// clock. Takes effect for the next call that reads the clock; may be called
// from any thread.
PORTLINK_API void setTickSourceForTesting(TickSource source);

}  // namespace port
