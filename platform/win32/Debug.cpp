#include "platform/debug.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace platform {

// The debugger always gets the text, as on Windows; stderr only while
// CVOPOS_DEBUG is set, as on the other backend, so a console or a test can
// follow the same lines.
void outputDebugString(const char* text) {
    if (text == nullptr) {
        return;
    }
    ::OutputDebugStringA(text);
    if (std::getenv("CVOPOS_DEBUG") == nullptr) {
        return;
    }
    // One WriteFile per text keeps lines from several threads whole.
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    std::size_t left = std::strlen(text);
    while (left > 0 && error != nullptr && error != INVALID_HANDLE_VALUE) {
        ::DWORD written = 0;
        if (!::WriteFile(error, text, static_cast<::DWORD>(left), &written, nullptr) || written == 0) {
            return;
        }
        text += written;
        left -= written;
    }
}

}  // namespace platform
