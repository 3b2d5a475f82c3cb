#pragma once
// SetEnvironmentVariableA: how a tool points its own process (and the
// children it starts) at another registry store or debug setting, the same
// way a user would with the shell before starting it.
//
// Not thread-safe against other threads reading the environment: call it
// at start-up, before any thread that reads the registry exists.
#include "platform/types.h"

namespace platform {

// Sets `name` to `value`; a null `value` removes the variable.
// ERROR_INVALID_PARAMETER for a null or empty name or one holding '=';
// ERROR_NOT_ENOUGH_MEMORY when the environment cannot grow.
LONG setEnvironmentVariable(const char* name, const char* value);

}  // namespace platform
