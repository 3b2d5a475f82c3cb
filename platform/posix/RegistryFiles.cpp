#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "RegFileFormat.h"
#include "RegistryAccess.h"
#include "RegistryHandles.h"
#include "RegistryNames.h"
#include "RegistryStore.h"
#include "RegistryTree.h"
#include "platform/registry.h"

namespace platform {

namespace {

void setError(std::string* error, const std::string& message) {
    if (error != nullptr) {
        *error = message;
    }
}

LONG readWholeFile(const std::string& path, std::string* text, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int reason = errno;
        setError(error, "cannot open " + path + ": " + std::strerror(reason));
        return reason == EACCES || reason == EPERM ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    }
    text->clear();
    char buffer[16384];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const int reason = errno;
            ::close(fd);
            setError(error, "cannot read " + path + ": " + std::strerror(reason));
            return ERROR_CANTREAD;
        }
        text->append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ERROR_SUCCESS;
}

long long rootId(HKey root) {
    return root == HKCR ? kRegClassesRootId : kRegLocalMachineId;
}

// Splits a checked "ROOT\A\B" path into the root's row id and key names.
LONG splitKeyPath(const std::string& keyPath, long long* root, std::vector<std::string>* names) {
    HKey rootKey = nullptr;
    std::string subKey;
    if (!regSplitRootPath(keyPath, &rootKey, &subKey)) {
        return ERROR_INVALID_PARAMETER;
    }
    *root = rootId(rootKey);
    return regSplitSubKey(subKey.c_str(), names);
}

LONG applyKey(RegistryTree& tree, const RegFileKey& key) {
    long long root = 0;
    std::vector<std::string> names;
    LONG result = splitKeyPath(key.path, &root, &names);
    long long id = 0;
    if (result == ERROR_SUCCESS && key.remove) {
        result = tree.findPath(root, names, &id);
        return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result != ERROR_SUCCESS ? result : tree.deleteKey(id);
    }
    bool created = false;
    if (result == ERROR_SUCCESS) {
        result = tree.createPath(root, names, &id, &created);
    }
    for (std::size_t i = 0; i < key.values.size() && result == ERROR_SUCCESS; ++i) {
        const RegFileValue& value = key.values[i];
        if (value.remove) {
            result = tree.deleteValue(id, value.name);
            result = result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
        } else {
            result = tree.setValue(id, value.name, value.type, value.data);
        }
    }
    return result;
}

// Appends the key and, depth first in enumeration order, every key below it.
LONG collect(RegistryTree& tree, long long id, const std::string& path, std::vector<RegFileKey>* keys) {
    keys->emplace_back();
    keys->back().path = path;
    std::vector<RegStoredValue> values;
    LONG result = tree.values(id, &values);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    for (RegStoredValue& stored : values) {
        RegFileValue value;
        value.name = std::move(stored.name);
        value.type = stored.type;
        value.data = std::move(stored.data);
        keys->back().values.push_back(std::move(value));
    }
    std::vector<RegStoredKey> subkeys;
    result = tree.subkeys(id, &subkeys);
    for (std::size_t i = 0; i < subkeys.size() && result == ERROR_SUCCESS; ++i) {
        result = collect(tree, subkeys[i].id, path + "\\" + subkeys[i].name, keys);
    }
    return result;
}

}  // namespace

LONG regImportFile(const std::string& path, std::string* error) {
    return regGuard([&]() -> LONG {
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
        const std::string store = regStorePath();
        if (!regStoreWritable(store)) {
            setError(error, "no permission to write the registry store " + store);
            return ERROR_ACCESS_DENIED;
        }
        RegistryCall call;
        result = call.begin(store, RegistryMode::Create);
        if (result != ERROR_SUCCESS) {
            setError(error, "cannot open the registry store " + store + " (error " + std::to_string(result) + ")");
            return result;
        }
        RegistryTree tree(*call.store());
        for (const RegFileKey& key : keys) {
            result = applyKey(tree, key);
            if (result != ERROR_SUCCESS) {
                setError(error, "line " + std::to_string(key.line) + ": cannot apply [" + key.path + "] (error " +
                                    std::to_string(result) + "); nothing was imported");
                return result;
            }
        }
        result = call.commit();
        if (result != ERROR_SUCCESS) {
            setError(error, "cannot commit the import (error " + std::to_string(result) + "); nothing was imported");
        }
        return result;
    });
}

LONG regExportKey(const std::string& keyPath, std::string* text) {
    return regGuard([&]() -> LONG {
        if (text == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        long long root = 0;
        std::vector<std::string> names;
        LONG result = splitKeyPath(keyPath, &root, &names);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        RegistryCall call;
        result = call.begin(regStorePath(), RegistryMode::Read);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        std::vector<RegFileKey> keys;
        if (call.store() == nullptr) {
            if (!names.empty()) {
                return ERROR_FILE_NOT_FOUND;
            }
            keys.emplace_back();
            keys.back().path = regRootName(root);
        } else {
            RegistryTree tree(*call.store());
            long long id = 0;
            std::string storedPath;
            result = tree.findPath(root, names, &id);
            if (result == ERROR_SUCCESS) {
                result = tree.keyPath(id, &storedPath);
            }
            if (result == ERROR_SUCCESS) {
                result = collect(tree, id, storedPath, &keys);
            }
            if (result != ERROR_SUCCESS) {
                return result;
            }
        }
        *text = regFormatFile(keys);
        return ERROR_SUCCESS;
    });
}

}  // namespace platform
