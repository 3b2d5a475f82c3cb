#include "platform/environment.h"

#include <cstdlib>
#include <cstring>

namespace platform {

// _putenv_s changes the C runtime's copy (what getenv reads) and the
// process environment (what SetEnvironmentVariable changes and children
// inherit) together; an empty value removes the variable.
LONG setEnvironmentVariable(const char* name, const char* value) {
    if (name == nullptr || name[0] == '\0' || std::strchr(name, '=') != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return ::_putenv_s(name, value == nullptr ? "" : value) == 0 ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace platform
