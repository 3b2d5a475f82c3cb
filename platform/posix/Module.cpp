#include <dlfcn.h>

#include <algorithm>
#include <cctype>

#include "platform/module.h"

namespace platform {

namespace {

bool endsWithDll(std::string_view name) {
    constexpr std::string_view dll = ".dll";
    return name.size() >= dll.size() &&
           std::equal(dll.begin(), dll.end(), name.end() - dll.size(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

void report(ModuleError* error, LONG code, std::string message) {
    if (error != nullptr) {
        error->code = code;
        error->message = std::move(message);
    }
}

// dlerror's text, which also clears it for the next call on this thread.
std::string loaderMessage() {
    const char* text = dlerror();
    return text != nullptr ? std::string(text) : std::string("unknown loader error");
}

}  // namespace

std::string libraryFileName(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    const std::string_view directory =
        slash == std::string_view::npos ? std::string_view() : name.substr(0, slash + 1);
    const std::string_view file = name.substr(directory.size());
    std::string_view stem;
    if (endsWithDll(file)) {
        stem = file.substr(0, file.size() - 4);
    } else if (file.find('.') == std::string_view::npos) {
        stem = file;
    } else {
        return std::string(name);
    }
    return std::string(directory) + "lib" + std::string(stem) + ".so";
}

HModule loadLibrary(std::string_view name, ModuleError* error) {
    const std::string file = libraryFileName(name);
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        report(error, ERROR_MOD_NOT_FOUND, loaderMessage());
        return nullptr;
    }
    return static_cast<HModule>(handle);
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
    dlerror();
    void* address = dlsym(module, name);
    if (address == nullptr) {
        report(error, ERROR_PROC_NOT_FOUND, loaderMessage());
        return nullptr;
    }
    return address;
}

bool freeLibrary(HModule module) {
    return module != nullptr && dlclose(module) == 0;
}

}  // namespace platform
