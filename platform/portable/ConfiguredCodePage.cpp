#include "ConfiguredCodePage.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/registry.h"

namespace platform::detail {

namespace {

constexpr const char* kCodePageKey = "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";

}  // namespace

std::optional<DWORD> configuredCodePage() {
    HKey key = nullptr;
    if (regOpenKeyEx(HKLM, kCodePageKey, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    char text[16] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof(text);
    const LONG status = regQueryValueEx(key, "ACP", &type, reinterpret_cast<BYTE*>(text), &size);
    regCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    const std::size_t length = strnlen(text, std::min<std::size_t>(size, sizeof(text)));
    DWORD number = 0;
    const auto [end, error] = std::from_chars(text, text + length, number);
    if (error != std::errc() || end != text + length || length == 0 || number == 0 || number > 65535) {
        return std::nullopt;
    }
    return number;
}

}  // namespace platform::detail
