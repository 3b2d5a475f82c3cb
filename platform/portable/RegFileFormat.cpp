#include "RegFileFormat.h"

#include <algorithm>
#include <cstdio>

#include "RegistryNames.h"
#include "platform/registry.h"

namespace platform {

namespace {

const char* const kHeader = "Windows Registry Editor Version 5.00";
const char* const kByteOrderMark = "\xEF\xBB\xBF";

// ---- writing ----

std::string quote(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + '"';
}

// A string a quoted form can carry: one NUL, at the end, and no line break.
bool quotable(const std::string& data) {
    return !data.empty() && data.back() == '\0' && data.find_first_of(std::string("\r\n\0", 3)) == data.size() - 1;
}

std::string hexBytes(DWORD type, const std::string& data) {
    char text[16];
    std::snprintf(text, sizeof text, "hex(%x):", static_cast<unsigned>(type));
    std::string out = text;
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(text, sizeof text, i == 0 ? "%02x" : ",%02x", static_cast<unsigned>(static_cast<BYTE>(data[i])));
        out += text;
    }
    return out;
}

std::string formatData(const RegFileValue& value) {
    if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        for (std::size_t i = 0; i < sizeof(DWORD); ++i) {
            number |= static_cast<DWORD>(static_cast<BYTE>(value.data[i])) << (8 * i);
        }
        char text[24];
        std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(number));
        return text;
    }
    if (value.type == REG_SZ && quotable(value.data)) {
        return quote(value.data.substr(0, value.data.size() - 1));
    }
    return hexBytes(value.type, value.data);
}

// ---- reading ----

std::string trim(const std::string& line) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return std::string();
    }
    const std::size_t last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

// Reads a quoted string starting at text[*pos] == '"'; *pos ends past the
// closing quote.
bool readQuoted(const std::string& text, std::size_t* pos, std::string* out, std::string* reason) {
    out->clear();
    for (std::size_t i = *pos + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) {
                *reason = "a backslash in a quoted string must be written \\\\ (or \\\" for a quote)";
                return false;
            }
            ++i;
        }
        *out += text[i];
    }
    *reason = "a quoted string is not closed";
    return false;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool readDword(const std::string& digits, std::string* data, std::string* reason) {
    if (digits.empty() || digits.size() > 8) {
        *reason = "a dword needs 1 to 8 hexadecimal digits";
        return false;
    }
    DWORD number = 0;
    for (char c : digits) {
        const int digit = hexDigit(c);
        if (digit < 0) {
            *reason = "a dword needs 1 to 8 hexadecimal digits";
            return false;
        }
        number = (number << 4) | static_cast<DWORD>(digit);
    }
    data->clear();
    for (std::size_t i = 0; i < sizeof(DWORD); ++i) {
        data->push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
    }
    return true;
}

bool readHexBytes(const std::string& list, std::string* data, std::string* reason) {
    data->clear();
    std::size_t i = 0;
    while (i < list.size()) {
        const int high = i + 1 < list.size() ? hexDigit(list[i]) : -1;
        const int low = high >= 0 ? hexDigit(list[i + 1]) : -1;
        const bool separated = i + 2 == list.size() || (i + 3 < list.size() && list[i + 2] == ',');
        if (low < 0 || !separated) {
            *reason = "hex data must be two-digit bytes separated by commas";
            return false;
        }
        data->push_back(static_cast<char>(high * 16 + low));
        i += 3;
    }
    return true;
}

bool readData(const std::string& text, RegFileValue* value, std::string* reason) {
    if (text == "-") {
        value->remove = true;
        return true;
    }
    if (!text.empty() && text[0] == '"') {
        std::size_t end = 0;
        if (!readQuoted(text, &end, &value->data, reason)) {
            return false;
        }
        if (end != text.size()) {
            *reason = "unexpected text after the closing quote";
            return false;
        }
        value->type = REG_SZ;
        value->data += '\0';
        return true;
    }
    if (text.rfind("dword:", 0) == 0) {
        value->type = REG_DWORD;
        return readDword(text.substr(6), &value->data, reason);
    }
    if (text.rfind("hex(1):", 0) == 0) {
        value->type = REG_SZ;
        if (!readHexBytes(text.substr(7), &value->data, reason)) {
            return false;
        }
        regTerminateString(&value->data);
        return true;
    }
    if (text.rfind("hex(4):", 0) == 0) {
        value->type = REG_DWORD;
        if (!readHexBytes(text.substr(7), &value->data, reason)) {
            return false;
        }
        if (value->data.size() != sizeof(DWORD)) {
            *reason = "hex(4) data must be 4 bytes";
            return false;
        }
        return true;
    }
    *reason = "unsupported value data (expected \"text\", dword:, hex(1):, hex(4): or -)";
    return false;
}

bool readValueLine(const std::string& line, RegFileValue* value, std::string* reason) {
    std::size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else if (!readQuoted(line, &pos, &value->name, reason)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') {
        *reason = "expected '=' after the value name";
        return false;
    }
    if (regCheckValueName(value->name) != ERROR_SUCCESS) {
        *reason = "invalid value name";
        return false;
    }
    return readData(line.substr(pos + 1), value, reason);
}

bool readKeyLine(const std::string& line, RegFileKey* key, std::string* reason) {
    if (line.back() != ']') {
        *reason = "a key line must end with ']'";
        return false;
    }
    key->path = line.substr(1, line.size() - 2);
    if (!key->path.empty() && key->path[0] == '-') {
        key->remove = true;
        key->path.erase(0, 1);
    }
    std::string subKey;
    std::vector<std::string> names;
    if (!regSplitRootPath(key->path, nullptr, &subKey)) {
        *reason = "unknown root key (expected HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT)";
        return false;
    }
    if (regSplitSubKey(subKey.c_str(), &names) != ERROR_SUCCESS) {
        *reason = "invalid key name";
        return false;
    }
    if (key->remove && names.empty()) {
        *reason = "a root key cannot be deleted";
        return false;
    }
    return true;
}

}  // namespace

LONG regParseFile(const std::string& text, std::vector<RegFileKey>* keys, std::string* error) {
    keys->clear();
    const std::size_t start = text.rfind(kByteOrderMark, 0) == 0 ? 3 : 0;
    bool headerSeen = false;
    std::size_t lineNumber = 0;
    std::string reason;
    for (std::size_t begin = start; begin <= text.size() && reason.empty();) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        const std::string line = trim(text.substr(begin, end - begin));
        begin = end + 1;
        ++lineNumber;
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (!headerSeen) {
            headerSeen = line == kHeader;
            if (!headerSeen) {
                reason = std::string("expected \"") + kHeader + "\"";
            }
        } else if (line[0] == '[') {
            keys->emplace_back();
            keys->back().line = lineNumber;
            readKeyLine(line, &keys->back(), &reason);
        } else if (line[0] == '"' || line[0] == '@') {
            if (keys->empty()) {
                reason = "a value before the first key";
            } else if (keys->back().remove) {
                reason = "a value under a key being deleted";
            } else {
                keys->back().values.emplace_back();
                readValueLine(line, &keys->back().values.back(), &reason);
            }
        } else {
            reason = "not a key, value or comment line";
        }
    }
    if (reason.empty() && !headerSeen) {
        lineNumber = 1;
        reason = std::string("empty file; expected \"") + kHeader + "\"";
    }
    if (!reason.empty()) {
        keys->clear();
        if (error != nullptr) {
            *error = "line " + std::to_string(lineNumber) + ": " + reason;
        }
        return ERROR_INVALID_DATA;
    }
    return ERROR_SUCCESS;
}

std::string regFormatFile(const std::vector<RegFileKey>& keys) {
    std::string text = std::string(kHeader) + "\n\n";
    for (const RegFileKey& key : keys) {
        text += "[" + key.path + "]\n";
        for (const RegFileValue& value : key.values) {
            text += (value.name.empty() ? std::string("@") : quote(value.name)) + "=" + formatData(value) + "\n";
        }
        text += "\n";
    }
    return text;
}

}  // namespace platform
