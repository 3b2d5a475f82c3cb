#pragma once
// Keys and values as rows of the store, inside the caller's transaction.
// Every call returns a Win32 code; names are matched case-insensitively.
#include <string>
#include <vector>

#include "RegistryStore.h"
#include "platform/types.h"

namespace platform {

struct RegStoredKey {
    long long id = 0;
    std::string name;
};

struct RegStoredValue {
    std::string name;
    DWORD type = 0;
    std::string data;
};

class RegistryTree {
public:
    explicit RegistryTree(RegistryStore& store) : m_store(store) {}

    // ERROR_KEY_DELETED when the key is gone.
    LONG checkKey(long long key);
    // ERROR_FILE_NOT_FOUND when a key on the path is missing.
    LONG findPath(long long from, const std::vector<std::string>& names, long long* key);
    // Creates the missing keys on the path; `created` tells whether the last
    // one was new.
    LONG createPath(long long from, const std::vector<std::string>& names, long long* key, bool* created);
    // "HKEY_LOCAL_MACHINE\A\B" in the stored spelling.
    LONG keyPath(long long key, std::string* path);

    // ERROR_NO_MORE_ITEMS past the end.
    LONG subkeyAt(long long key, DWORD index, RegStoredKey* subkey);
    LONG subkeys(long long key, std::vector<RegStoredKey>* subkeys);
    LONG countSubkeys(long long key, DWORD* count);

    // ERROR_FILE_NOT_FOUND when there is no such value.
    LONG findValue(long long key, const std::string& name, RegStoredValue* value);
    // ERROR_NO_MORE_ITEMS past the end.
    LONG valueAt(long long key, DWORD index, RegStoredValue* value);
    LONG values(long long key, std::vector<RegStoredValue>* values);
    LONG countValues(long long key, DWORD* count);

    // A rewrite keeps the value's name and place; a new value goes last.
    LONG setValue(long long key, const std::string& name, DWORD type, const std::string& data);
    // ERROR_FILE_NOT_FOUND when there is no such value.
    LONG deleteValue(long long key, const std::string& name);
    // Deletes the key with its subkeys and values.
    LONG deleteKey(long long key);
    // Deletes the subkeys and values of the key, keeping the key.
    LONG clearKey(long long key);

private:
    LONG findChild(long long parent, const std::string& name, long long* child);
    LONG count(const char* sql, long long key, DWORD* count);
    LONG run(RegistryStatement& statement);
    LONG deleteRows(const char* sql, long long key);
    static void readValue(const RegistryStatement& statement, RegStoredValue* value);

    RegistryStore& m_store;
};

}  // namespace platform
