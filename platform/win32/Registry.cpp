#include "platform/registry.h"
#include "RegistryNames.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <string>
#include <vector>

namespace platform {

// A key handle of this layer is the registry's own HKEY, so the predefined
// roots keep their fixed values.
const HKey HKLM = reinterpret_cast<HKey>(HKEY_LOCAL_MACHINE);
const HKey HKCR = reinterpret_cast<HKey>(HKEY_CLASSES_ROOT);

namespace {

bool isRootKey(HKey key) {
    return key == HKLM || key == HKCR;
}

HKey suiteKey(HKEY key) {
    return reinterpret_cast<HKey>(key);
}

// The key a call works on. A root key stands for the machine's own root,
// unless CVOPOS_REGISTRY names another store (a tool pointed at a copy, a
// test that needs an empty registry): that store is a tree of its own under
// HKCU\Software\CVOPOS\Stores, read afresh at every call through a root
// as the store file is on the other backend.
class NativeKey {
public:
    explicit NativeKey(HKey key) : m_key(reinterpret_cast<HKEY>(key)) {
        const char* store = std::getenv("CVOPOS_REGISTRY");
        if (!isRootKey(key) || store == nullptr || *store == '\0') {
            return;
        }
        std::string name = store;
        for (char& c : name) {
            c = c == '\\' ? '/' : c;
        }
        if (name.size() > kRegMaxKeyNameLength) {
            name = std::to_string(std::hash<std::string>{}(name));
        }
        const std::string path = "Software\\CVOPOS\\Stores\\" + name + "\\" +
                                 (key == HKCR ? "HKEY_CLASSES_ROOT" : "HKEY_LOCAL_MACHINE");
        HKEY root = nullptr;
        m_status = ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, &root, nullptr);
        m_key = root;
        m_owned = m_status == ERROR_SUCCESS;
    }
    ~NativeKey() {
        if (m_owned) {
            ::RegCloseKey(m_key);
        }
    }
    NativeKey(const NativeKey&) = delete;
    NativeKey& operator=(const NativeKey&) = delete;

    HKEY get() const { return m_key; }
    // ERROR_SUCCESS, or why the other store cannot be reached.
    LONG status() const { return m_status; }

private:
    HKEY m_key;
    bool m_owned = false;
    LONG m_status = ERROR_SUCCESS;
};

// The rights each open handle was granted. Windows checks most of them
// itself, but deleting a key asks nothing of the parent handle, and the
// callers rely on a read-only handle changing nothing; Wine checks none.
std::mutex g_rightsLock;
std::unordered_map<HKey, REGSAM> g_rights;

void grant(HKey key, REGSAM access) {
    std::lock_guard lock(g_rightsLock);
    g_rights[key] = access;
}

void revoke(HKey key) {
    std::lock_guard lock(g_rightsLock);
    g_rights.erase(key);
}

// Roots carry every right; so does a handle this layer did not open, which
// is left to Windows to judge.
bool allows(HKey key, REGSAM needed, bool anyOf = false) {
    std::lock_guard lock(g_rightsLock);
    const auto found = g_rights.find(key);
    const REGSAM granted = found == g_rights.end() ? KEY_ALL_ACCESS : found->second;
    return anyOf ? (granted & needed) != 0 : (granted & needed) == needed;
}

// The checks Windows leaves to the caller but the suite's callers rely on:
// an empty name inside a path, an over-long name or a line break is refused
// before the registry sees it.
LONG checkSubKey(const char* subKey) {
    std::vector<std::string> names;
    return regSplitSubKey(subKey, &names);
}

LONG checkValueName(const char* name) {
    return regCheckValueName(name == nullptr ? std::string() : std::string(name));
}

// Copies out of a value read whole: nothing is copied unless all of it
// fits, and the needed size is reported either way.
LONG copyOut(const std::string& data, BYTE* buffer, DWORD* size) {
    const auto needed = static_cast<DWORD>(data.size());
    if (buffer == nullptr) {
        if (size != nullptr) {
            *size = needed;
        }
        return ERROR_SUCCESS;
    }
    const DWORD room = *size;
    *size = needed;
    if (room < needed) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, data.data(), data.size());
    return ERROR_SUCCESS;
}

// Reads a value whole; a REG_SZ stored without its NUL gets one.
LONG readValue(HKEY key, const char* name, DWORD* type, std::string* data) {
    for (;;) {
        ::DWORD storedType = REG_NONE;
        ::DWORD size = 0;
        LONG result = ::RegQueryValueExA(key, name, nullptr, &storedType, nullptr, &size);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        data->assign(size, '\0');
        result = ::RegQueryValueExA(key, name, nullptr, &storedType, reinterpret_cast<BYTE*>(data->data()), &size);
        if (result == ERROR_MORE_DATA) {
            continue;  // grown meanwhile
        }
        if (result != ERROR_SUCCESS) {
            return result;
        }
        data->resize(size);
        if (storedType == REG_SZ) {
            regTerminateString(data);
        }
        *type = storedType;
        return ERROR_SUCCESS;
    }
}

}  // namespace

LONG regOpenKeyEx(HKey parent, const char* subKey, REGSAM access, HKey* result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    const LONG check = checkSubKey(subKey);
    const NativeKey native(parent);
    if (check != ERROR_SUCCESS || native.status() != ERROR_SUCCESS) {
        return check != ERROR_SUCCESS ? check : native.status();
    }
    HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyExA(native.get(), subKey, 0, access, &opened);
    if (status == ERROR_SUCCESS) {
        *result = suiteKey(opened);
        grant(*result, access);
    }
    return status;
}

LONG regCreateKeyEx(HKey parent, const char* subKey, REGSAM access, HKey* result, bool* created) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    const LONG check = checkSubKey(subKey);
    const NativeKey native(parent);
    if (check != ERROR_SUCCESS || native.status() != ERROR_SUCCESS) {
        return check != ERROR_SUCCESS ? check : native.status();
    }
    HKEY opened = nullptr;
    if (!allows(parent, KEY_CREATE_SUB_KEY)) {
        // Without the right to create, only a key that is there can be opened.
        const LONG status = ::RegOpenKeyExA(native.get(), subKey, 0, access, &opened);
        if (status != ERROR_SUCCESS) {
            return status == ERROR_FILE_NOT_FOUND ? ERROR_ACCESS_DENIED : status;
        }
        *result = suiteKey(opened);
        grant(*result, access);
        if (created != nullptr) {
            *created = false;
        }
        return ERROR_SUCCESS;
    }
    ::DWORD disposition = 0;
    const LONG status = ::RegCreateKeyExA(native.get(), subKey == nullptr ? "" : subKey, 0, nullptr,
                                          REG_OPTION_NON_VOLATILE, access, nullptr, &opened, &disposition);
    if (status == ERROR_SUCCESS) {
        *result = suiteKey(opened);
        grant(*result, access);
        if (created != nullptr) {
            *created = disposition == REG_CREATED_NEW_KEY;
        }
    }
    return status;
}

LONG regCloseKey(HKey key) {
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (isRootKey(key)) {
        return ERROR_SUCCESS;
    }
    revoke(key);
    return ::RegCloseKey(reinterpret_cast<HKEY>(key));
}

LONG regQueryValueEx(HKey key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    if (data != nullptr && size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!allows(key, KEY_QUERY_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    const NativeKey native(key);
    DWORD storedType = REG_NONE;
    std::string stored;
    const LONG result = native.status() != ERROR_SUCCESS ? native.status()
                                                         : readValue(native.get(), name, &storedType, &stored);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (type != nullptr) {
        *type = storedType;
    }
    return copyOut(stored, data, size);
}

LONG regSetValueEx(HKey key, const char* name, DWORD type, const BYTE* data, DWORD size) {
    if ((type != REG_SZ && type != REG_DWORD) || (type == REG_DWORD && size != 4) ||
        (data == nullptr && size != 0) || checkValueName(name) != ERROR_SUCCESS) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!allows(key, KEY_SET_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    std::string stored(reinterpret_cast<const char*>(data), size);
    if (type == REG_SZ) {
        regTerminateString(&stored);
    }
    const NativeKey native(key);
    if (native.status() != ERROR_SUCCESS) {
        return native.status();
    }
    return ::RegSetValueExA(native.get(), name, 0, type, reinterpret_cast<const BYTE*>(stored.data()),
                            static_cast<::DWORD>(stored.size()));
}

LONG regDeleteKey(HKey parent, const char* subKey) {
    const LONG check = checkSubKey(subKey);
    if (check != ERROR_SUCCESS) {
        return check;
    }
    const bool self = subKey == nullptr || *subKey == '\0';
    if ((self && isRootKey(parent)) || !allows(parent, KEY_WRITE & ~STANDARD_RIGHTS_WRITE, true)) {
        return ERROR_ACCESS_DENIED;
    }
    const NativeKey native(parent);
    return native.status() != ERROR_SUCCESS ? native.status() : ::RegDeleteKeyA(native.get(), self ? "" : subKey);
}

LONG regDeleteTree(HKey parent, const char* subKey) {
    const LONG check = checkSubKey(subKey);
    if (check != ERROR_SUCCESS) {
        return check;
    }
    const bool self = subKey == nullptr || *subKey == '\0';
    if (!allows(parent, KEY_WRITE & ~STANDARD_RIGHTS_WRITE, true)) {
        return ERROR_ACCESS_DENIED;
    }
    const NativeKey native(parent);
    return native.status() != ERROR_SUCCESS ? native.status()
                                            : ::RegDeleteTreeA(native.get(), self ? nullptr : subKey);
}

LONG regDeleteValue(HKey key, const char* name) {
    const LONG check = checkValueName(name);
    if (check != ERROR_SUCCESS) {
        return check;
    }
    if (!allows(key, KEY_SET_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    const NativeKey native(key);
    return native.status() != ERROR_SUCCESS ? native.status() : ::RegDeleteValueA(native.get(), name);
}

LONG regEnumKeyEx(HKey key, DWORD index, char* name, DWORD* nameLen) {
    if (nameLen == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!allows(key, KEY_ENUMERATE_SUB_KEYS)) {
        return ERROR_ACCESS_DENIED;
    }
    const NativeKey native(key);
    if (native.status() != ERROR_SUCCESS) {
        return native.status();
    }
    char found[kRegMaxKeyNameLength + 1];
    ::DWORD length = sizeof found;
    const LONG result = ::RegEnumKeyExA(native.get(), index, found, &length, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    const DWORD room = *nameLen;
    *nameLen = length;
    if (name == nullptr || room <= length) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, found, length + 1);
    return ERROR_SUCCESS;
}

LONG regEnumValue(HKey key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data, DWORD* dataLen) {
    if (nameLen == nullptr || (data != nullptr && dataLen == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!allows(key, KEY_QUERY_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    const NativeKey native(key);
    if (native.status() != ERROR_SUCCESS) {
        return native.status();
    }
    std::string found(kRegMaxValueNameLength + 1, '\0');
    auto length = static_cast<::DWORD>(found.size());
    LONG result = ::RegEnumValueA(native.get(), index, found.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    found.resize(length);
    DWORD storedType = REG_NONE;
    std::string stored;
    result = readValue(native.get(), found.c_str(), &storedType, &stored);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    const DWORD nameRoom = *nameLen;
    const DWORD dataRoom = dataLen != nullptr ? *dataLen : 0;
    *nameLen = length;
    if (dataLen != nullptr) {
        *dataLen = static_cast<DWORD>(stored.size());
    }
    if (name == nullptr || nameRoom <= length || (data != nullptr && dataRoom < stored.size())) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, found.c_str(), length + 1);
    if (type != nullptr) {
        *type = storedType;
    }
    if (data != nullptr) {
        std::memcpy(data, stored.data(), stored.size());
    }
    return ERROR_SUCCESS;
}

LONG regQueryInfoKey(HKey key, DWORD* subKeys, DWORD* values) {
    if (!allows(key, KEY_QUERY_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    const NativeKey native(key);
    if (native.status() != ERROR_SUCCESS) {
        return native.status();
    }
    ::DWORD keyCount = 0;
    ::DWORD valueCount = 0;
    const LONG result = ::RegQueryInfoKeyA(native.get(), nullptr, nullptr, nullptr, &keyCount, nullptr, nullptr,
                                           &valueCount, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS && subKeys != nullptr) {
        *subKeys = keyCount;
    }
    if (result == ERROR_SUCCESS && values != nullptr) {
        *values = valueCount;
    }
    return result;
}

// Whether this process may change the machine's configuration: on Windows
// a right of the Administrators group, seen as write access to HKLM\SOFTWARE
// (or to the other store CVOPOS_REGISTRY names).
bool regStoreWritable() {
    HKey key = nullptr;
    if (regOpenKeyEx(HKLM, nullptr, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &key) != ERROR_SUCCESS) {
        return false;
    }
    regCloseKey(key);
    return true;
}

}  // namespace platform
