// Port names and the port map, the same on every backend: only the device a
// port opens without a map value is the backend's own.
#include "PortDevicePath.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "platform/registry.h"
#include "platform/serial.h"

namespace platform {

namespace {

// "COM3" -> ("COM", 3); any case, a plain decimal number from 1.
bool splitPortName(std::string_view name, std::string* prefix, int* number) {
    if (name.size() < 4) {
        return false;
    }
    std::string head;
    for (char c : name.substr(0, 3)) {
        head += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (head != "COM" && head != "LPT") {
        return false;
    }
    const std::string_view digits = name.substr(3);
    int value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value < 1) {
        return false;
    }
    *prefix = head;
    *number = value;
    return true;
}

// The port map's value for the port: none when there is no value, and an
// empty path (which opens nothing) when there is one that cannot be used.
std::optional<std::string> mappedPath(std::string_view portName) {
    HKey key = nullptr;
    if (regOpenKeyEx(HKLM, kPortMapKeyPath, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // A path longer than PATH_MAX could not be opened anyway.
    BYTE data[4096];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    const std::string name(portName);
    const LONG result = regQueryValueEx(key, name.c_str(), &type, data, &size);
    regCloseKey(key);
    if (result == ERROR_FILE_NOT_FOUND) {
        return std::nullopt;
    }
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return std::string();
    }
    std::string path(reinterpret_cast<const char*>(data), size);
    path.resize(std::min(path.size(), path.find('\0')));
    return path;
}

}  // namespace

std::string portDevicePath(std::string_view portName) {
    std::string prefix;
    int number = 0;
    if (!splitPortName(portName, &prefix, &number)) {
        return {};
    }
    if (auto path = mappedPath(portName)) {
        return *path;
    }
    return detail::defaultPortDevicePath(prefix, number);
}

}  // namespace platform
