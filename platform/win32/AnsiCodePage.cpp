// The ANSI code page is taken from the same registry value Windows itself
// starts from, so that a test or a setup tool can switch it as on the other
// backend; the conversions then name that page explicitly instead of
// CP_ACP, which Windows fixes when the process starts.
#include "platform/debug.h"
#include "ConfiguredCodePage.h"
#include "platform/strings.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <mutex>
#include <optional>

namespace platform {

namespace {

std::mutex g_lock;
std::optional<DWORD> g_codePage;

DWORD loadCodePage() {
    const std::optional<DWORD> configured = detail::configuredCodePage();
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
