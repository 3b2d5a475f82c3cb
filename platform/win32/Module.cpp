#include "platform/module.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

void report(ModuleError* error, LONG code, std::string message) {
    if (error != nullptr) {
        error->code = code;
        error->message = std::move(message);
    }
}

std::string systemMessage(::DWORD code) {
    char* text = nullptr;
    const ::DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return message;
}

}  // namespace

// Windows finds a DLL by its own name: the name is used as it is, and
// LoadLibrary itself adds ".dll" to a name without an extension.
std::string libraryFileName(std::string_view name) {
    const std::size_t separator = name.find_last_of("\\/");
    const std::string_view file = separator == std::string_view::npos ? name : name.substr(separator + 1);
    if (file.find('.') == std::string_view::npos) {
        return std::string(name) + ".dll";
    }
    return std::string(name);
}

HModule loadLibrary(std::string_view name, ModuleError* error) {
    const std::string file = libraryFileName(name);
    // No "cannot find the DLL" message box for a library that is missing.
    const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module = ::LoadLibraryA(file.c_str());
    const ::DWORD reason = ::GetLastError();
    ::SetErrorMode(previous);
    if (module == nullptr) {
        report(error, ERROR_MOD_NOT_FOUND, file + ": " + systemMessage(reason));
        return nullptr;
    }
    return reinterpret_cast<HModule>(module);
}

void* getProcAddress(HModule module, const char* name, ModuleError* error) {
    if (module == nullptr) {
        report(error, ERROR_INVALID_HANDLE, "no module");
        return nullptr;
    }
    if (name == nullptr) {
        report(error, ERROR_INVALID_PARAMETER, "no export name");
        return nullptr;
    }
    const FARPROC address = ::GetProcAddress(reinterpret_cast<HMODULE>(module), name);
    if (address == nullptr) {
        report(error, ERROR_PROC_NOT_FOUND, std::string(name) + ": " + systemMessage(::GetLastError()));
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
}

bool freeLibrary(HModule module) {
    return module != nullptr && ::FreeLibrary(reinterpret_cast<HMODULE>(module)) != 0;
}

}  // namespace platform
