// The ANSI code page is taken from the same registry value Windows itself
// starts from, so that a test or a setup tool can switch it as on the other
// backend; the conversions then name that page explicitly instead of
// CP_ACP, which Windows fixes when the process starts.
#include "platform/debug.h"
#include "platform/registry.h"
#include "platform/strings.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <mutex>
#include <optional>

namespace platform {

namespace {

constexpr const char* kCodePageKey = "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";

std::mutex g_lock;
std::optional<DWORD> g_codePage;

std::optional<DWORD> readRegistryCodePage() {
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

DWORD loadCodePage() {
    const std::optional<DWORD> configured = readRegistryCodePage();
    if (configured) {
        if (::IsValidCodePage(*configured)) {
            return *configured;
        }
        outputDebugString(("ANSI code page " + std::to_string(*configured) + " is not supported, using 1252\n").c_str());
    }
    return 1252;
}

}  // namespace

DWORD ansiCodePage() {
    std::lock_guard lock(g_lock);
    if (!g_codePage) {
        g_codePage = loadCodePage();
    }
    return *g_codePage;
}

void reloadAnsiCodePage() {
    const DWORD fresh = loadCodePage();
    std::lock_guard lock(g_lock);
    g_codePage = fresh;
}

}  // namespace platform
