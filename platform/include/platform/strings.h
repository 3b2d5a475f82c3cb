#pragma once
// WideCharToMultiByte / MultiByteToWideChar with CP_ACP, and GetACP.
//
// Wide strings are std::wstring. The "ANSI code page" is the number in the
// registry value HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage, ACP
// (REG_SZ, such as "1252" or "932"). A missing, unreadable or unsupported
// value means 1252.
//
// On Windows the code page is fixed when the process starts; here it is read
// once, at the first call that needs it, and kept for the life of the
// process. reloadAnsiCodePage() reads it again (a test switching code pages,
// a setup tool that has just changed the value).
//
// Conversion as Windows does it without flags, except that there is no
// "best fit": a character the code page cannot represent becomes one '?'
// (and a byte sequence the code page does not define becomes one L'?' per
// byte it cannot decode). Nothing is dropped and the rest of the text is
// converted as usual. Embedded NULs are converted like any character.
//
// Every call is thread-safe. The first conversion (and reloadAnsiCodePage)
// reads the registry and may block on its lock; conversions never block
// otherwise.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {


// GetACP: the ANSI code page number in force.
DWORD ansiCodePage();

// Reads the registry value again; the next conversion uses the new value.
void reloadAnsiCodePage();

// Wide text to the ANSI code page.
std::string toNarrow(std::wstring_view text);

// ANSI code page text to wide text.
std::wstring toWide(std::string_view text);

// Into a caller's fixed buffer (WideCharToMultiByte with a buffer size):
// writes the converted bytes, without a terminating NUL, and sets *written
// to their count. ERROR_INSUFFICIENT_BUFFER when they do not all fit: the
// buffer is left untouched and *written is set to the size needed, so the
// caller can refuse the request rather than send a truncated text.
// ERROR_INVALID_PARAMETER for a null `written`, or a null buffer of non-zero
// size.
LONG toNarrow(std::wstring_view text, char* buffer, std::size_t bufferSize, std::size_t* written);

}  // namespace platform
