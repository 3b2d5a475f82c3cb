#include "PortTestFixture.h"

#include <windows.h>

namespace porttest {

std::size_t openDescriptorCount() {
    DWORD count = 0;
    return ::GetProcessHandleCount(::GetCurrentProcess(), &count) ? count : 0;
}

}  // namespace porttest
