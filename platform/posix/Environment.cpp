#include <cstdlib>
#include <cstring>

#include "platform/environment.h"

namespace platform {

LONG setEnvironmentVariable(const char* name, const char* value) {
    if (name == nullptr || name[0] == '\0' || std::strchr(name, '=') != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const int result = value == nullptr ? ::unsetenv(name) : ::setenv(name, value, 1);
    return result == 0 ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace platform
