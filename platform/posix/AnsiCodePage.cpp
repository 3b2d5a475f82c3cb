#include "AnsiCodePage.h"

#include <iconv.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/debug.h"
#include "platform/registry.h"
#include "platform/strings.h"

namespace platform {

namespace {

constexpr DWORD kDefaultCodePage = 1252;
constexpr const char* kCodePageKey = "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";

struct CodePage {
    DWORD number;
    std::string charset;
};

std::mutex g_lock;
std::optional<CodePage> g_codePage;

std::string charsetFor(DWORD number) {
    // Windows calls UTF-8 a code page (65001); every other number that can
    // be an ANSI code page is known to iconv as CP<number>.
    return number == 65001 ? std::string("UTF-8") : "CP" + std::to_string(number);
}

bool iconvKnows(const std::string& charset) {
    iconv_t probe = iconv_open(charset.c_str(), "WCHAR_T");
    if (probe == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    iconv_close(probe);
    return true;
}

// The number in the registry value, or nothing when it is missing or is not
// a plain number.
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

CodePage loadCodePage() {
    const std::optional<DWORD> configured = readRegistryCodePage();
    if (configured) {
        std::string charset = charsetFor(*configured);
        if (iconvKnows(charset)) {
            return {*configured, std::move(charset)};
        }
        outputDebugString(("ANSI code page " + std::to_string(*configured) +
                           " is not supported, using 1252\n").c_str());
    }
    return {kDefaultCodePage, charsetFor(kDefaultCodePage)};
}

const CodePage& currentCodePage(std::unique_lock<std::mutex>&) {
    if (!g_codePage) {
        g_codePage = loadCodePage();
    }
    return *g_codePage;
}

}  // namespace

DWORD ansiCodePage() {
    std::unique_lock lock(g_lock);
    return currentCodePage(lock).number;
}

void reloadAnsiCodePage() {
    CodePage fresh = loadCodePage();
    std::lock_guard lock(g_lock);
    g_codePage = std::move(fresh);
}

namespace detail {

std::string ansiCharset() {
    std::unique_lock lock(g_lock);
    return currentCodePage(lock).charset;
}

}  // namespace detail

}  // namespace platform
