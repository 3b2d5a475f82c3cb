#pragma once
// The ANSI code page the registry asks for, read the same way on every
// backend; each backend decides what it can convert with.
#include <optional>

#include "platform/types.h"

namespace platform::detail {

// The number in HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage "ACP",
// or nothing when it is missing or is not a plain number from 1 to 65535.
std::optional<DWORD> configuredCodePage();

}  // namespace platform::detail
