#include "schema/RegKey.h"

#include <utility>
#include <vector>

namespace schema {

RegKey::~RegKey() { close(); }

RegKey::RegKey(RegKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        close();
        m_key = std::exchange(other.m_key, nullptr);
    }
    return *this;
}

LONG RegKey::open(HKey root, const std::string& path, REGSAM access) {
    close();
    return platform::regOpenKeyEx(root, path.c_str(), access, &m_key);
}

LONG RegKey::create(HKey root, const std::string& path) {
    close();
    return platform::regCreateKeyEx(root, path.c_str(), platform::KEY_ALL_ACCESS, &m_key);
}

void RegKey::close() {
    if (m_key != nullptr) {
        platform::regCloseKey(m_key);
        m_key = nullptr;
    }
}

LONG RegKey::readString(const char* name, DWORD bufferSize, std::string* text) const {
    if (m_key == nullptr) {
        return platform::ERROR_INVALID_HANDLE;
    }
    if (bufferSize == 0) {
        return platform::ERROR_INVALID_PARAMETER;
    }
    std::vector<platform::BYTE> buffer(bufferSize);
    DWORD type = platform::REG_NONE;
    DWORD size = bufferSize;
    LONG result = platform::regQueryValueEx(m_key, name, &type, buffer.data(), &size);
    if (result != platform::ERROR_SUCCESS) {
        return result;
    }
    if (type != platform::REG_SZ) {
        return platform::ERROR_INVALID_DATA;
    }
    std::string value(reinterpret_cast<const char*>(buffer.data()), size);
    if (auto nul = value.find('\0'); nul != std::string::npos) {
        value.resize(nul);
    }
    *text = std::move(value);
    return platform::ERROR_SUCCESS;
}

LONG RegKey::readDword(const char* name, DWORD* number) const {
    if (m_key == nullptr) {
        return platform::ERROR_INVALID_HANDLE;
    }
    platform::BYTE data[8] = {};
    DWORD type = platform::REG_NONE;
    DWORD size = sizeof data;
    LONG result = platform::regQueryValueEx(m_key, name, &type, data, &size);
    if (result == platform::ERROR_MORE_DATA) {
        return platform::ERROR_INVALID_DATA;
    }
    if (result != platform::ERROR_SUCCESS) {
        return result;
    }
    if (type != platform::REG_DWORD || size != 4) {
        return platform::ERROR_INVALID_DATA;
    }
    *number = DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
    return platform::ERROR_SUCCESS;
}

LONG RegKey::writeString(const char* name, std::string_view text) {
    if (m_key == nullptr) {
        return platform::ERROR_INVALID_HANDLE;
    }
    std::string terminated(text);
    return platform::regSetValueEx(m_key, name, platform::REG_SZ,
                                   reinterpret_cast<const platform::BYTE*>(terminated.c_str()),
                                   static_cast<DWORD>(terminated.size() + 1));
}

LONG RegKey::writeDword(const char* name, DWORD number) {
    if (m_key == nullptr) {
        return platform::ERROR_INVALID_HANDLE;
    }
    const platform::BYTE data[4] = {
        platform::BYTE(number), platform::BYTE(number >> 8), platform::BYTE(number >> 16),
        platform::BYTE(number >> 24)};
    return platform::regSetValueEx(m_key, name, platform::REG_DWORD, data, sizeof data);
}

LONG RegKey::deleteValue(const char* name) {
    if (m_key == nullptr) {
        return platform::ERROR_INVALID_HANDLE;
    }
    return platform::regDeleteValue(m_key, name);
}

LONG RegKey::deleteSubKey(const char* name) {
    if (m_key == nullptr) {
        return platform::ERROR_INVALID_HANDLE;
    }
    return platform::regDeleteKey(m_key, name);
}

}  // namespace schema
