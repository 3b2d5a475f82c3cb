// The narrowing into a caller's fixed buffer builds on each backend's own
// conversion, and is the same everywhere.
#include <cstring>

#include "platform/strings.h"

namespace platform {

LONG toNarrow(std::wstring_view text, char* buffer, std::size_t bufferSize, std::size_t* written) {
    if (written == nullptr || (buffer == nullptr && bufferSize != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string narrow = toNarrow(text);
    *written = narrow.size();
    if (narrow.size() > bufferSize) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (!narrow.empty()) {
        std::memcpy(buffer, narrow.data(), narrow.size());
    }
    return ERROR_SUCCESS;
}

}  // namespace platform
