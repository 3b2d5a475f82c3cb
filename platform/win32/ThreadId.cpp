#include "platform/threads.h"

#include <windows.h>

namespace platform {

DWORD currentThreadId() {
    return ::GetCurrentThreadId();
}

}  // namespace platform
