#include "platform/strings.h"

#include <windows.h>

#include <cstring>

namespace platform {

namespace {

// Code pages that refuse the "no best fit" flag and a default character.
bool takesNoFlags(DWORD codePage) {
    return codePage == CP_UTF8 || codePage == CP_UTF7 || (codePage >= 50220 && codePage <= 50229) ||
           codePage == 52936 || codePage == 54936 || (codePage >= 57002 && codePage <= 57011);
}

// How many bytes the character starting at `text` takes in `codePage`.
std::size_t unitLength(DWORD codePage, std::string_view text) {
    const auto lead = static_cast<unsigned char>(text.front());
    std::size_t length = 1;
    if (codePage == CP_UTF8) {
        length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    } else if (::IsDBCSLeadByteEx(codePage, lead)) {
        length = 2;
    }
    return std::min(length, text.size());
}

bool convertStrictly(DWORD codePage, std::string_view text, std::wstring* wide) {
    const int size = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (needed <= 0) {
        return false;
    }
    const std::size_t start = wide->size();
    wide->resize(start + static_cast<std::size_t>(needed));
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide->data() + start, needed);
    return true;
}

// Windows gives the bytes a single-byte code page leaves undefined (0x81 in
// 1252) the C1 control of the same number instead of failing; no ANSI code
// page defines those controls, so they are the undefined bytes.
void replaceUndefinedSingleBytes(DWORD codePage, std::wstring* wide) {
    CPINFO info{};
    if (!::GetCPInfo(codePage, &info) || info.MaxCharSize != 1) {
        return;
    }
    for (wchar_t& c : *wide) {
        if (c >= 0x80 && c <= 0x9F) {
            c = L'?';
        }
    }
}

}  // namespace

std::string toNarrow(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const DWORD codePage = ansiCodePage();
    const bool plain = takesNoFlags(codePage);
    const DWORD flags = plain ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = plain ? nullptr : "?";
    const int size = static_cast<int>(text.size());
    const int needed = ::WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, fallback, nullptr);
    std::string narrow(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) {
        ::WideCharToMultiByte(codePage, flags, text.data(), size, narrow.data(), needed, fallback, nullptr);
    }
    return narrow;
}

std::wstring toWide(std::string_view text) {
    const DWORD codePage = ansiCodePage();
    std::wstring wide;
    if (text.empty() || convertStrictly(codePage, text, &wide)) {
        replaceUndefinedSingleBytes(codePage, &wide);
        return wide;
    }
    // One '?' per byte that starts no character, and the rest as usual.
    while (!text.empty()) {
        const std::size_t length = unitLength(codePage, text);
        if (convertStrictly(codePage, text.substr(0, length), &wide)) {
            text.remove_prefix(length);
        } else {
            wide.push_back(L'?');
            text.remove_prefix(1);
        }
    }
    return wide;
}

}  // namespace platform
