#include "AnsiCodePage.h"

#include <iconv.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/debug.h"
#include "ConfiguredCodePage.h"
#include "platform/strings.h"

namespace platform {

namespace {

constexpr DWORD kDefaultCodePage = 1252;

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

CodePage loadCodePage() {
    const std::optional<DWORD> configured = detail::configuredCodePage();
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
