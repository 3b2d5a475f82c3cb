#include "platform/registry.h"

#include <cstring>
#include <string>
#include <vector>

#include "RegistryAccess.h"
#include "RegistryHandles.h"
#include "RegistryNames.h"
#include "RegistryStore.h"
#include "RegistryTree.h"

namespace platform {

namespace {

constexpr REGSAM kKeyCreateLink = 0x0020;
constexpr REGSAM kDelete = 0x00010000;
constexpr REGSAM kWriteDac = 0x00040000;
constexpr REGSAM kWriteOwner = 0x00080000;
// Every right that lets a handle change the store.
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | kKeyCreateLink | kDelete | kWriteDac | kWriteOwner;

bool isRoot(long long keyId) {
    return keyId == kRegLocalMachineId || keyId == kRegClassesRootId;
}

std::string valueName(const char* name) {
    return name == nullptr ? std::string() : std::string(name);
}

// Finds the key `names` below the handle's key. A store that does not exist
// holds only the empty roots, and no key a handle could have been opened to.
LONG locate(RegistryCall& call, const RegKeyRef& ref, const std::vector<std::string>& names, long long* key) {
    if (call.store() == nullptr) {
        if (!isRoot(ref.keyId)) {
            return ERROR_KEY_DELETED;
        }
        *key = ref.keyId;
        return names.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    RegistryTree tree(*call.store());
    const LONG result = tree.checkKey(ref.keyId);
    return result != ERROR_SUCCESS ? result : tree.findPath(ref.keyId, names, key);
}

// Resolves the handle, checks its rights and begins the call's transaction.
LONG beginOnKey(RegistryCall& call, HKey key, REGSAM needed, RegistryMode mode, RegKeyRef* ref) {
    LONG result = regResolveHandle(key, ref);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if ((ref->access & needed) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (mode != RegistryMode::Read && !regStoreWritable(ref->store)) {
        return ERROR_ACCESS_DENIED;
    }
    return call.begin(ref->store, mode);
}

// Begins the call on the handle and finds the row of the key `names` below
// the handle's key (the key itself when `names` is empty).
LONG beginAt(RegistryCall& call, HKey key, REGSAM needed, RegistryMode mode, long long* id,
             const std::vector<std::string>& names = {}) {
    RegKeyRef ref;
    const LONG result = beginOnKey(call, key, needed, mode, &ref);
    return result != ERROR_SUCCESS ? result : locate(call, ref, names, id);
}

// Copies stored data as a query hands it out: everything or, when the buffer
// is too small, nothing but the needed size.
LONG copyData(const RegStoredValue& value, DWORD* type, BYTE* data, DWORD* size) {
    if (type != nullptr) {
        *type = value.type;
    }
    const auto needed = static_cast<DWORD>(value.data.size());
    if (data != nullptr && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) {
        std::memcpy(data, value.data.data(), needed);
    }
    if (size != nullptr) {
        *size = needed;
    }
    return ERROR_SUCCESS;
}

// Copies a name with its NUL, or reports the length it needs.
LONG copyName(const std::string& text, char* name, DWORD* nameLen) {
    const auto length = static_cast<DWORD>(text.size());
    if (*nameLen <= length) {
        *nameLen = length;
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, text.c_str(), length + 1);
    *nameLen = length;
    return ERROR_SUCCESS;
}

LONG openExisting(RegistryCall& call, const RegKeyRef& ref, const std::vector<std::string>& names, long long* key) {
    const LONG result = call.begin(ref.store, RegistryMode::Read);
    return result != ERROR_SUCCESS ? result : locate(call, ref, names, key);
}

LONG createOrOpen(RegistryCall& call, const RegKeyRef& ref, const std::vector<std::string>& names, long long* key,
                  bool* created) {
    LONG result = call.begin(ref.store, RegistryMode::Create);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    RegistryTree tree(*call.store());
    result = tree.checkKey(ref.keyId);
    if (result == ERROR_SUCCESS) {
        result = tree.findPath(ref.keyId, names, key);
    }
    if (result == ERROR_FILE_NOT_FOUND) {
        result = (ref.access & KEY_CREATE_SUB_KEY) == 0 ? ERROR_ACCESS_DENIED
                                                        : tree.createPath(ref.keyId, names, key, created);
    }
    return result != ERROR_SUCCESS ? result : call.commit();
}

}  // namespace

LONG regOpenKeyEx(HKey parent, const char* subKey, REGSAM access, HKey* result) {
    return regGuard([&]() -> LONG {
        if (result == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        *result = nullptr;
        std::vector<std::string> names;
        LONG status = regSplitSubKey(subKey, &names);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        RegistryCall call;
        RegKeyRef ref;
        status = regResolveHandle(parent, &ref);
        long long key = 0;
        if (status == ERROR_SUCCESS) {
            status = openExisting(call, ref, names, &key);
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if ((access & kWriteRights) != 0 && !regStoreWritable(ref.store)) {
            return ERROR_ACCESS_DENIED;
        }
        *result = regNewHandle(ref.store, key, access);
        return ERROR_SUCCESS;
    });
}

LONG regCreateKeyEx(HKey parent, const char* subKey, REGSAM access, HKey* result, bool* created) {
    return regGuard([&]() -> LONG {
        if (result == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        *result = nullptr;
        std::vector<std::string> names;
        LONG status = regSplitSubKey(subKey, &names);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        RegistryCall call;
        RegKeyRef ref;
        status = regResolveHandle(parent, &ref);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        long long key = 0;
        bool isNew = false;
        if (regStoreWritable(ref.store)) {
            status = createOrOpen(call, ref, names, &key, &isNew);
        } else if ((access & kWriteRights) != 0) {
            status = ERROR_ACCESS_DENIED;
        } else {
            // A reader may still open a key that exists; making one needs
            // write permission.
            status = openExisting(call, ref, names, &key);
            if (status == ERROR_FILE_NOT_FOUND) {
                status = ERROR_ACCESS_DENIED;
            }
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        *result = regNewHandle(ref.store, key, access);
        if (created != nullptr) {
            *created = isNew;
        }
        return ERROR_SUCCESS;
    });
}

LONG regCloseKey(HKey key) {
    return regGuard([&]() -> LONG {
        RegistryCall call;
        return regReleaseHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    });
}

LONG regQueryValueEx(HKey key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    return regGuard([&]() -> LONG {
        const std::string wanted = valueName(name);
        if ((data != nullptr && size == nullptr) || regCheckValueName(wanted) != ERROR_SUCCESS) {
            return ERROR_INVALID_PARAMETER;
        }
        RegistryCall call;
        long long id = 0;
        LONG status = beginAt(call, key, KEY_QUERY_VALUE, RegistryMode::Read, &id);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (call.store() == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        RegStoredValue value;
        status = RegistryTree(*call.store()).findValue(id, wanted, &value);
        return status != ERROR_SUCCESS ? status : copyData(value, type, data, size);
    });
}

LONG regSetValueEx(HKey key, const char* name, DWORD type, const BYTE* data, DWORD size) {
    return regGuard([&]() -> LONG {
        const std::string wanted = valueName(name);
        const bool validData = (type == REG_SZ && (data != nullptr || size == 0)) ||
                               (type == REG_DWORD && data != nullptr && size == sizeof(DWORD));
        if (!validData || regCheckValueName(wanted) != ERROR_SUCCESS) {
            return ERROR_INVALID_PARAMETER;
        }
        std::string bytes;
        if (data != nullptr) {
            bytes.assign(reinterpret_cast<const char*>(data), size);
        }
        if (type == REG_SZ) {
            regTerminateString(&bytes);
        }
        RegistryCall call;
        RegKeyRef ref;
        LONG status = beginOnKey(call, key, KEY_SET_VALUE, RegistryMode::Create, &ref);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        RegistryTree tree(*call.store());
        status = tree.checkKey(ref.keyId);
        if (status == ERROR_SUCCESS) {
            status = tree.setValue(ref.keyId, wanted, type, bytes);
        }
        return status != ERROR_SUCCESS ? status : call.commit();
    });
}

LONG regDeleteKey(HKey parent, const char* subKey) {
    return regGuard([&]() -> LONG {
        std::vector<std::string> names;
        LONG status = regSplitSubKey(subKey, &names);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        RegistryCall call;
        long long id = 0;
        status = beginAt(call, parent, kWriteRights, RegistryMode::Modify, &id, names);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (isRoot(id)) {
            return ERROR_ACCESS_DENIED;
        }
        RegistryTree tree(*call.store());
        DWORD subkeys = 0;
        status = tree.countSubkeys(id, &subkeys);
        if (status == ERROR_SUCCESS && subkeys != 0) {
            status = ERROR_ACCESS_DENIED;
        }
        if (status == ERROR_SUCCESS) {
            status = tree.deleteKey(id);
        }
        return status != ERROR_SUCCESS ? status : call.commit();
    });
}

LONG regDeleteTree(HKey parent, const char* subKey) {
    return regGuard([&]() -> LONG {
        std::vector<std::string> names;
        LONG status = regSplitSubKey(subKey, &names);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        RegistryCall call;
        long long id = 0;
        status = beginAt(call, parent, kWriteRights, RegistryMode::Modify, &id, names);
        if (status != ERROR_SUCCESS || call.store() == nullptr) {
            return status;
        }
        RegistryTree tree(*call.store());
        status = names.empty() ? tree.clearKey(id) : tree.deleteKey(id);
        return status != ERROR_SUCCESS ? status : call.commit();
    });
}

LONG regDeleteValue(HKey key, const char* name) {
    return regGuard([&]() -> LONG {
        const std::string wanted = valueName(name);
        if (regCheckValueName(wanted) != ERROR_SUCCESS) {
            return ERROR_INVALID_PARAMETER;
        }
        RegistryCall call;
        long long id = 0;
        LONG status = beginAt(call, key, KEY_SET_VALUE, RegistryMode::Modify, &id);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (call.store() == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        status = RegistryTree(*call.store()).deleteValue(id, wanted);
        return status != ERROR_SUCCESS ? status : call.commit();
    });
}

LONG regEnumKeyEx(HKey key, DWORD index, char* name, DWORD* nameLen) {
    return regGuard([&]() -> LONG {
        if (name == nullptr || nameLen == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        RegistryCall call;
        long long id = 0;
        LONG status = beginAt(call, key, KEY_ENUMERATE_SUB_KEYS, RegistryMode::Read, &id);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (call.store() == nullptr) {
            return ERROR_NO_MORE_ITEMS;
        }
        RegStoredKey subkey;
        status = RegistryTree(*call.store()).subkeyAt(id, index, &subkey);
        return status != ERROR_SUCCESS ? status : copyName(subkey.name, name, nameLen);
    });
}

LONG regEnumValue(HKey key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data, DWORD* dataLen) {
    return regGuard([&]() -> LONG {
        if (name == nullptr || nameLen == nullptr || (data != nullptr && dataLen == nullptr)) {
            return ERROR_INVALID_PARAMETER;
        }
        RegistryCall call;
        long long id = 0;
        LONG status = beginAt(call, key, KEY_QUERY_VALUE, RegistryMode::Read, &id);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (call.store() == nullptr) {
            return ERROR_NO_MORE_ITEMS;
        }
        RegStoredValue value;
        status = RegistryTree(*call.store()).valueAt(id, index, &value);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        // Both buffers are checked before either is written.
        const bool nameFits = *nameLen > value.name.size();
        const bool dataFits = data == nullptr || *dataLen >= value.data.size();
        if (!nameFits || !dataFits) {
            *nameLen = static_cast<DWORD>(value.name.size());
            copyData(value, type, nullptr, dataLen);
            return ERROR_MORE_DATA;
        }
        copyName(value.name, name, nameLen);
        return copyData(value, type, data, dataLen);
    });
}

LONG regQueryInfoKey(HKey key, DWORD* subKeys, DWORD* values) {
    return regGuard([&]() -> LONG {
        RegistryCall call;
        long long id = 0;
        LONG status = beginAt(call, key, KEY_QUERY_VALUE, RegistryMode::Read, &id);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        DWORD subkeyCount = 0;
        DWORD valueCount = 0;
        if (call.store() != nullptr) {
            RegistryTree tree(*call.store());
            status = tree.countSubkeys(id, &subkeyCount);
            if (status == ERROR_SUCCESS) {
                status = tree.countValues(id, &valueCount);
            }
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (subKeys != nullptr) {
            *subKeys = subkeyCount;
        }
        if (values != nullptr) {
            *values = valueCount;
        }
        return ERROR_SUCCESS;
    });
}

}  // namespace platform
