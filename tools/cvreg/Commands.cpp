#include "Commands.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace cvreg {

namespace {

using namespace platform;

// Value names and key names are bounded by the registry's own limits.
constexpr DWORD kNameBufferSize = 16384;

// The reason a registry call failed, as a short phrase.
std::string describeError(LONG code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return "the key or value does not exist";
        case ERROR_ACCESS_DENIED:
            return "access is denied";
        case ERROR_INVALID_PARAMETER:
            return "invalid key name, value name or data";
        case ERROR_NOT_ENOUGH_MEMORY:
            return "out of memory";
        case ERROR_BADDB:
            return "the registry store is damaged";
        case ERROR_CANTOPEN:
            return "the registry store cannot be opened";
        case ERROR_CANTREAD:
            return "the registry store cannot be read (busy or unreadable)";
        case ERROR_CANTWRITE:
            return "the registry store cannot be written (busy, full or unwritable)";
        case ERROR_KEY_DELETED:
            return "the key was deleted meanwhile";
        default:
            return "registry error";
    }
}

int failed(std::ostream& err, const std::string& what, LONG code) {
    err << "cvreg: ERROR: " << what << ": " << describeError(code) << " (error " << code << ")\n";
    return 1;
}

// Closes the key when the operation is done with it.
class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (m_key != nullptr) {
            regCloseKey(m_key);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKey* out() { return &m_key; }
    HKey get() const { return m_key; }

private:
    HKey m_key = nullptr;
};

std::string formatValue(DWORD type, const std::vector<BYTE>& data) {
    if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
        const DWORD number = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                             static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(number));
        return std::string("REG_DWORD    ") + text;
    }
    if (type == REG_SZ) {
        std::string text(data.begin(), data.end());
        return "REG_SZ    " + text.substr(0, text.find('\0'));
    }
    return "type " + std::to_string(type) + "    (" + std::to_string(data.size()) + " bytes)";
}

LONG readValue(HKey key, const std::string& name, DWORD* type, std::vector<BYTE>* data) {
    DWORD size = 0;
    LONG result = regQueryValueEx(key, name.c_str(), type, nullptr, &size);
    while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        // Another process may grow the value between the two calls.
        data->assign(size, 0);
        result = regQueryValueEx(key, name.c_str(), type, data->data(), &size);
        if (result == ERROR_SUCCESS) {
            data->resize(size);
            return result;
        }
    }
    return result;
}

std::string displayName(const std::string& valueName) {
    return valueName.empty() ? std::string("(Default)") : valueName;
}

std::string valueLine(const std::string& name, DWORD type, const std::vector<BYTE>& data) {
    return "    " + displayName(name) + "    " + formatValue(type, data) + "\n";
}

LONG listValue(HKey key, DWORD index, std::string* listing) {
    std::vector<char> name(kNameBufferSize);
    DWORD nameLen = kNameBufferSize;
    LONG result = regEnumValue(key, index, name.data(), &nameLen, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    const std::string valueName(name.data(), nameLen);
    DWORD type = 0;
    std::vector<BYTE> data;
    result = readValue(key, valueName, &type, &data);
    if (result == ERROR_SUCCESS) {
        *listing += valueLine(valueName, type, data);
    }
    return result;
}

LONG listSubkey(HKey key, const std::string& path, DWORD index, std::string* listing) {
    std::vector<char> name(kNameBufferSize);
    DWORD nameLen = kNameBufferSize;
    const LONG result = regEnumKeyEx(key, index, name.data(), &nameLen);
    if (result == ERROR_SUCCESS) {
        *listing += path + "\\" + std::string(name.data(), nameLen) + "\n";
    }
    return result;
}

int query(const Command& command, HKey root, const std::string& subKey, std::ostream& out, std::ostream& err) {
    OpenKey key;
    LONG result = regOpenKeyEx(root, subKey.c_str(), KEY_READ, key.out());
    if (result != ERROR_SUCCESS) {
        return failed(err, "cannot open " + command.key, result);
    }
    std::string listing = command.key + "\n";
    if (command.hasValue) {
        DWORD type = 0;
        std::vector<BYTE> data;
        result = readValue(key.get(), command.valueName, &type, &data);
        if (result != ERROR_SUCCESS) {
            return failed(err, "cannot read " + displayName(command.valueName) + " in " + command.key, result);
        }
        out << listing << valueLine(command.valueName, type, data);
        return 0;
    }
    DWORD index = 0;
    while ((result = listValue(key.get(), index, &listing)) == ERROR_SUCCESS) {
        ++index;
    }
    if (result == ERROR_NO_MORE_ITEMS) {
        listing += "\n";
        index = 0;
        while ((result = listSubkey(key.get(), command.key, index, &listing)) == ERROR_SUCCESS) {
            ++index;
        }
    }
    if (result != ERROR_NO_MORE_ITEMS) {
        return failed(err, "cannot list " + command.key, result);
    }
    out << listing;
    return 0;
}

int add(const Command& command, HKey root, const std::string& subKey, std::ostream& out, std::ostream& err) {
    OpenKey key;
    LONG result = regCreateKeyEx(root, subKey.c_str(), KEY_WRITE, key.out());
    if (result != ERROR_SUCCESS) {
        return failed(err, "cannot create " + command.key, result);
    }
    if (command.hasValue) {
        const BYTE number[4] = {static_cast<BYTE>(command.number), static_cast<BYTE>(command.number >> 8),
                                static_cast<BYTE>(command.number >> 16), static_cast<BYTE>(command.number >> 24)};
        result = command.type == REG_DWORD
                     ? regSetValueEx(key.get(), command.valueName.c_str(), REG_DWORD, number, sizeof number)
                     : regSetValueEx(key.get(), command.valueName.c_str(), REG_SZ,
                                     reinterpret_cast<const BYTE*>(command.text.c_str()),
                                     static_cast<DWORD>(command.text.size() + 1));
    }
    if (result != ERROR_SUCCESS) {
        return failed(err, "cannot write " + displayName(command.valueName) + " in " + command.key, result);
    }
    out << "The operation completed successfully.\n";
    return 0;
}

int deleteKeyOrValue(const Command& command, HKey root, const std::string& subKey, std::ostream& out, std::ostream& err) {
    if (command.hasValue) {
        OpenKey key;
        LONG result = regOpenKeyEx(root, subKey.c_str(), KEY_SET_VALUE, key.out());
        if (result != ERROR_SUCCESS) {
            return failed(err, "cannot open " + command.key, result);
        }
        result = regDeleteValue(key.get(), command.valueName.c_str());
        if (result != ERROR_SUCCESS) {
            return failed(err, "cannot delete " + displayName(command.valueName) + " in " + command.key, result);
        }
    } else {
        if (subKey.empty()) {
            err << "cvreg: ERROR: a root key cannot be deleted\n";
            return 1;
        }
        const LONG result = regDeleteTree(root, subKey.c_str());
        if (result != ERROR_SUCCESS) {
            return failed(err, "cannot delete " + command.key, result);
        }
    }
    out << "The operation completed successfully.\n";
    return 0;
}

int exportKey(const Command& command, std::ostream& out, std::ostream& err) {
    std::string text;
    const LONG result = regExportKey(command.key, &text);
    if (result != ERROR_SUCCESS) {
        return failed(err, "cannot export " + command.key, result);
    }
    if (command.file.empty()) {
        out << text;
        return 0;
    }
    std::ofstream file(command.file, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        err << "cvreg: ERROR: cannot write " << command.file << "\n";
        return 1;
    }
    out << "The operation completed successfully.\n";
    return 0;
}

int importFile(const Command& command, std::ostream& out, std::ostream& err) {
    std::string message;
    const LONG result = regImportFile(command.file, &message);
    if (result != ERROR_SUCCESS) {
        err << "cvreg: ERROR: cannot import " << command.file << ": " << message << " (error " << result << ")\n";
        return 1;
    }
    out << "The operation completed successfully.\n";
    return 0;
}

}  // namespace

int runCommand(const Command& command, std::ostream& out, std::ostream& err) {
    if (command.operation == Operation::Help) {
        out << usageText();
        return 0;
    }
    if (command.operation == Operation::Import) {
        return importFile(command, out, err);
    }
    if (command.operation == Operation::Export) {
        return exportKey(command, out, err);
    }
    HKey root = nullptr;
    std::string subKey;
    if (!regSplitRootPath(command.key, &root, &subKey)) {
        err << "cvreg: ERROR: unknown root key in " << command.key << "\n";
        return 1;
    }
    switch (command.operation) {
        case Operation::Query:
            return query(command, root, subKey, out, err);
        case Operation::Add:
            return add(command, root, subKey, out, err);
        default:
            return deleteKeyOrValue(command, root, subKey, out, err);
    }
}

}  // namespace cvreg
