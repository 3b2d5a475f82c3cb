#include "RegistryNames.h"
#include "platform/registry.h"

namespace platform {

namespace {

bool equalsIgnoringCase(const std::string& text, const char* word) {
    return regFoldName(text) == regFoldName(word);
}

bool hasLineBreak(const std::string& name) {
    return name.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::string regFoldName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return folded;
}

LONG regSplitSubKey(const char* subKey, std::vector<std::string>* names) {
    names->clear();
    if (subKey == nullptr || *subKey == '\0') {
        return ERROR_SUCCESS;
    }
    std::string path = subKey;
    if (path.back() == '\\') {
        path.pop_back();
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        std::string name = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (name.empty() || name.size() > kRegMaxKeyNameLength || hasLineBreak(name)) {
            names->clear();
            return ERROR_INVALID_PARAMETER;
        }
        names->push_back(std::move(name));
        if (end == std::string::npos) {
            return ERROR_SUCCESS;
        }
        start = end + 1;
    }
}

LONG regCheckValueName(const std::string& name) {
    return name.size() > kRegMaxValueNameLength || hasLineBreak(name) ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

void regTerminateString(std::string* data) {
    if (data->empty() || data->back() != '\0') {
        data->push_back('\0');
    }
}

bool regSplitRootPath(const std::string& keyPath, HKey* root, std::string* subKey) {
    const std::size_t separator = keyPath.find('\\');
    const std::string rootName = keyPath.substr(0, separator);
    HKey found = nullptr;
    if (equalsIgnoringCase(rootName, "HKEY_LOCAL_MACHINE") || equalsIgnoringCase(rootName, "HKLM")) {
        found = HKLM;
    } else if (equalsIgnoringCase(rootName, "HKEY_CLASSES_ROOT") || equalsIgnoringCase(rootName, "HKCR")) {
        found = HKCR;
    } else {
        return false;
    }
    if (root != nullptr) {
        *root = found;
    }
    if (subKey != nullptr) {
        *subKey = separator == std::string::npos ? std::string() : keyPath.substr(separator + 1);
    }
    return true;
}

}  // namespace platform
