#include <unistd.h>

#include "platform/threads.h"

namespace platform {

DWORD currentThreadId() {
    return static_cast<DWORD>(::gettid());
}

}  // namespace platform
