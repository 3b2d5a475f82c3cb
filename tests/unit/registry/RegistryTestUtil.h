#pragma once
// Small conveniences over the registry calls for the registry tests.
#include <string>
#include <vector>

#include "platform/registry.h"

namespace testsupport {

inline platform::LONG setString(platform::HKey key, const char* name, const std::string& text) {
    return platform::regSetValueEx(key, name, platform::REG_SZ, reinterpret_cast<const platform::BYTE*>(text.c_str()),
                                   static_cast<platform::DWORD>(text.size() + 1));
}

inline platform::LONG setDword(platform::HKey key, const char* name, platform::DWORD number) {
    const platform::BYTE bytes[4] = {static_cast<platform::BYTE>(number), static_cast<platform::BYTE>(number >> 8),
                                     static_cast<platform::BYTE>(number >> 16),
                                     static_cast<platform::BYTE>(number >> 24)};
    return platform::regSetValueEx(key, name, platform::REG_DWORD, bytes, sizeof bytes);
}

// The value's bytes, or the error code as text ("error 2") when it cannot be
// read, so that a mismatch shows what went wrong.
inline std::string readBytes(platform::HKey key, const char* name, platform::DWORD* type = nullptr) {
    platform::DWORD size = 0;
    platform::LONG result = platform::regQueryValueEx(key, name, type, nullptr, &size);
    std::string data(size, '\0');
    if (result == platform::ERROR_SUCCESS) {
        result = platform::regQueryValueEx(key, name, type, reinterpret_cast<platform::BYTE*>(data.data()), &size);
    }
    return result == platform::ERROR_SUCCESS ? data.substr(0, size) : "error " + std::to_string(result);
}

inline std::vector<std::string> subkeyNames(platform::HKey key) {
    std::vector<std::string> names;
    char name[256];
    platform::DWORD length = sizeof name;
    for (platform::DWORD i = 0; platform::regEnumKeyEx(key, i, name, &length) == platform::ERROR_SUCCESS; ++i) {
        names.emplace_back(name, length);
        length = sizeof name;
    }
    return names;
}

inline std::vector<std::string> valueNames(platform::HKey key) {
    std::vector<std::string> names;
    char name[256];
    platform::DWORD length = sizeof name;
    for (platform::DWORD i = 0;
         platform::regEnumValue(key, i, name, &length, nullptr, nullptr, nullptr) == platform::ERROR_SUCCESS; ++i) {
        names.emplace_back(name, length);
        length = sizeof name;
    }
    return names;
}

// Creates (or opens) a key with full access; null when that fails.
inline platform::HKey createKey(platform::HKey parent, const char* path) {
    platform::HKey key = nullptr;
    return platform::regCreateKeyEx(parent, path, platform::KEY_ALL_ACCESS, &key) == platform::ERROR_SUCCESS ? key
                                                                                                              : nullptr;
}

}  // namespace testsupport
