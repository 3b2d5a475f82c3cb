#include "common/InstallDirectory.h"

#include <cstring>

#include "platform/registry.h"
#include "schema/RegistrySchema.h"

namespace common {

std::string directoryOfUninstallString(std::string_view uninstallString) {
    std::string_view path = uninstallString;
    while (!path.empty() && path.back() == '"') {
        path.remove_suffix(1);
    }
    while (!path.empty() && path.front() == '"') {
        path.remove_prefix(1);
    }
    // The installer writes the path the system's way: backslashes on
    // Windows, where a forward slash separates as well.
    const auto separator = path.find_last_of(kUninstallStringSeparators);
    if (separator == std::string_view::npos) {
        return {};
    }
    return std::string(path.substr(0, separator + 1));
}

std::optional<std::string> readInstallDirectory() {
    platform::HKey key = nullptr;
    if (platform::regOpenKeyEx(platform::HKLM, schema::kUninstallKeyPath, platform::KEY_READ, &key) !=
        platform::ERROR_SUCCESS) {
        return std::nullopt;
    }
    char buffer[kUninstallStringSize] = {};
    platform::DWORD type = platform::REG_NONE;
    platform::DWORD size = sizeof buffer;
    const platform::LONG result = platform::regQueryValueEx(key, schema::kUninstallStringValue, &type,
                                                            reinterpret_cast<platform::BYTE*>(buffer), &size);
    platform::regCloseKey(key);
    if (result != platform::ERROR_SUCCESS || type != platform::REG_SZ) {
        return std::nullopt;
    }
    return directoryOfUninstallString(std::string_view(buffer, strnlen(buffer, sizeof buffer)));
}

}  // namespace common
