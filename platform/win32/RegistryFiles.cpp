// .reg import and export over the Windows registry. The file format itself
// is the portable one the other backend uses.
#include "platform/registry.h"
#include "RegFileFormat.h"
#include "RegistryNames.h"

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace platform {

namespace {

void setError(std::string* error, const std::string& message) {
    if (error != nullptr) {
        *error = message;
    }
}

LONG readWholeFile(const std::string& path, std::string* text, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        const DWORD reason = ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES ? ERROR_FILE_NOT_FOUND
                                                                                             : ERROR_ACCESS_DENIED;
        setError(error, "cannot open " + path);
        return static_cast<LONG>(reason);
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        setError(error, "cannot read " + path);
        return ERROR_CANTREAD;
    }
    *text = content.str();
    return ERROR_SUCCESS;
}

LONG applyKey(const RegFileKey& key) {
    HKey root = nullptr;
    std::string subKey;
    if (!regSplitRootPath(key.path, &root, &subKey)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (key.remove) {
        const LONG result = regDeleteTree(root, subKey.c_str());
        return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
    }
    HKey opened = nullptr;
    LONG result = regCreateKeyEx(root, subKey.c_str(), KEY_ALL_ACCESS, &opened);
    for (std::size_t i = 0; i < key.values.size() && result == ERROR_SUCCESS; ++i) {
        const RegFileValue& value = key.values[i];
        const char* name = value.name.c_str();
        if (value.remove) {
            result = regDeleteValue(opened, name);
            result = result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
        } else {
            result = regSetValueEx(opened, name, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                                   static_cast<DWORD>(value.data.size()));
        }
    }
    if (opened != nullptr) {
        regCloseKey(opened);
    }
    return result;
}

// The stored spelling of `name` among the subkeys of `parent`.
LONG storedName(HKey parent, const std::string& name, std::string* stored) {
    const std::string folded = regFoldName(name);
    char found[kRegMaxKeyNameLength + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof found;
        const LONG result = regEnumKeyEx(parent, index, found, &length);
        if (result == ERROR_NO_MORE_ITEMS) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (result != ERROR_SUCCESS) {
            return result;
        }
        if (regFoldName(found) == folded) {
            *stored = found;
            return ERROR_SUCCESS;
        }
    }
}

// Appends the key and, depth first in enumeration order, every key below it.
LONG collect(HKey key, const std::string& path, std::vector<RegFileKey>* keys) {
    keys->emplace_back();
    keys->back().path = path;
    std::vector<char> name(kRegMaxValueNameLength + 1);
    std::vector<BYTE> data(256);
    LONG result = ERROR_SUCCESS;
    DWORD index = 0;
    while (result == ERROR_SUCCESS) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = REG_NONE;
        DWORD dataLength = static_cast<DWORD>(data.size());
        result = regEnumValue(key, index, name.data(), &nameLength, &type, data.data(), &dataLength);
        if (result == ERROR_MORE_DATA && dataLength > data.size()) {
            data.resize(dataLength);  // and the same value again
            result = ERROR_SUCCESS;
            continue;
        }
        if (result == ERROR_SUCCESS) {
            RegFileValue value;
            value.name.assign(name.data(), nameLength);
            value.type = type;
            value.data.assign(reinterpret_cast<const char*>(data.data()), dataLength);
            keys->back().values.push_back(std::move(value));
            ++index;
        }
    }
    if (result != ERROR_NO_MORE_ITEMS) {
        return result;
    }
    std::vector<std::string> subkeys;
    char found[kRegMaxKeyNameLength + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof found;
        result = regEnumKeyEx(key, index, found, &length);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS) {
            return result;
        }
        subkeys.emplace_back(found, length);
    }
    for (const std::string& subkey : subkeys) {
        HKey child = nullptr;
        result = regOpenKeyEx(key, subkey.c_str(), KEY_READ, &child);
        if (result == ERROR_SUCCESS) {
            result = collect(child, path + "\\" + subkey, keys);
            regCloseKey(child);
        }
        if (result != ERROR_SUCCESS) {
            return result;
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace

// The file is checked whole before anything is written, so a syntax error
// applies nothing. The Windows registry has no transaction a plain process
// can rely on, so a key that cannot be written stops the import where it is.
LONG regImportFile(const std::string& path, std::string* error) {
    std::string text;
    LONG result = readWholeFile(path, &text, error);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    std::vector<RegFileKey> keys;
    result = regParseFile(text, &keys, error);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    for (const RegFileKey& key : keys) {
        result = applyKey(key);
        if (result != ERROR_SUCCESS) {
            setError(error, "line " + std::to_string(key.line) + ": cannot apply [" + key.path + "] (error " +
                                std::to_string(result) + ")");
            return result;
        }
    }
    return ERROR_SUCCESS;
}

LONG regExportKey(const std::string& keyPath, std::string* text) {
    if (text == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    HKey root = nullptr;
    std::string subKey;
    if (!regSplitRootPath(keyPath, &root, &subKey)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::string> names;
    LONG result = regSplitSubKey(subKey.c_str(), &names);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    std::string path = root == HKCR ? "HKEY_CLASSES_ROOT" : "HKEY_LOCAL_MACHINE";
    HKey key = root;
    for (std::size_t i = 0; i < names.size() && result == ERROR_SUCCESS; ++i) {
        std::string stored;
        result = storedName(key, names[i], &stored);
        HKey child = nullptr;
        if (result == ERROR_SUCCESS) {
            result = regOpenKeyEx(key, stored.c_str(), KEY_READ, &child);
        }
        regCloseKey(key);
        key = child;
        path += "\\" + stored;
    }
    std::vector<RegFileKey> keys;
    if (result == ERROR_SUCCESS) {
        result = collect(key, path, &keys);
    }
    if (key != nullptr) {
        regCloseKey(key);
    }
    if (result == ERROR_SUCCESS) {
        *text = regFormatFile(keys);
    }
    return result;
}

}  // namespace platform
