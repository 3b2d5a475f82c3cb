#include "platform/registry.h"
#include "platform/serial.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace platform {

namespace {

// "com3" -> "COM3"; any case, a plain decimal number from 1.
bool canonicalPortName(std::string_view name, std::string* canonical) {
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
    *canonical = head + std::to_string(value);
    return true;
}

// The port map's value for the port: none when there is no value, and an
// empty path (which opens nothing) when there is one that cannot be used.
std::optional<std::string> mappedPath(std::string_view portName) {
    HKey key = nullptr;
    if (regOpenKeyEx(HKLM, kPortMapKeyPath, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    BYTE data[1024];
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

// On Windows the port is its own device ("\\.\COM12" reaches ports above
// COM9 too); a map value redirects it, as on the other platform.
std::string portDevicePath(std::string_view portName) {
    std::string canonical;
    if (!canonicalPortName(portName, &canonical)) {
        return {};
    }
    if (auto path = mappedPath(portName)) {
        return *path;
    }
    return "\\\\.\\" + canonical;
}

}  // namespace platform
