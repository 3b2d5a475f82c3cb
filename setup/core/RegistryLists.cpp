#include "RegistryLists.h"

#include <vector>

#include "Text.h"

namespace setup {

std::vector<std::string> subkeyNames(const RegKey& key, DWORD nameChars) {
    std::vector<std::string> names;
    std::vector<char> buffer(nameChars);
    for (DWORD index = 0;; ++index) {
        DWORD length = nameChars;
        const LONG result = platform::regEnumKeyEx(key.handle(), index, buffer.data(), &length);
        if (result == platform::ERROR_MORE_DATA) {
            continue;
        }
        if (result != platform::ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(buffer.data(), length);
    }
    return names;
}

std::vector<TextValue> textValues(const RegKey& key) {
    std::vector<TextValue> values;
    std::vector<char> name(kValueNameChars);
    std::vector<platform::BYTE> data(kValueTextChars);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = kValueNameChars;
        DWORD dataLength = kValueTextChars;
        DWORD type = platform::REG_NONE;
        const LONG result =
            platform::regEnumValue(key.handle(), index, name.data(), &nameLength, &type, data.data(), &dataLength);
        if (result == platform::ERROR_MORE_DATA) {
            continue;
        }
        if (result != platform::ERROR_SUCCESS) {
            break;
        }
        if (type != platform::REG_SZ) {
            continue;
        }
        std::string text(reinterpret_cast<const char*>(data.data()), dataLength);
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
        values.push_back({std::string(name.data(), nameLength), std::move(text)});
    }
    return values;
}

std::vector<std::string> ownDeviceKeysIn(const RegKey& classKey) {
    std::vector<std::string> own;
    for (std::string& name : subkeyNames(classKey)) {
        if (isOwnDeviceName(name)) {
            own.push_back(std::move(name));
        }
    }
    return own;
}

bool openClassKey(DeviceClass deviceClass, RegKey* key) {
    return key->open(platform::HKLM, classKeyPath(deviceClass), platform::KEY_READ) == platform::ERROR_SUCCESS;
}

bool openOwnDeviceKey(DeviceClass deviceClass, const std::string& deviceKeyName, RegKey* key, REGSAM access) {
    if (!isOwnDeviceName(deviceKeyName)) {
        return false;
    }
    return key->open(platform::HKLM, deviceKeyPath(deviceClassName(deviceClass), deviceKeyName), access) ==
           platform::ERROR_SUCCESS;
}

bool logicalNameTaken(const RegKey& classKey, const std::string& lowerName) {
    for (const TextValue& value : textValues(classKey)) {
        if (isOwnDeviceName(value.text) && toLowerAscii(value.name) == lowerName) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> readPortFor(const RegKey& deviceKey, DWORD chars) {
    std::string port;
    if (deviceKey.readString(value::Port, chars, &port) != platform::ERROR_SUCCESS) {
        return std::nullopt;
    }
    return port;
}

}  // namespace setup
