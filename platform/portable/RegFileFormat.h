#pragma once
// The .reg text format, without any file or store access: text to a list of
// keys and values, and back.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

struct RegFileValue {
    std::string name;     // "" is the default value
    bool remove = false;  // "name"=-
    DWORD type = 0;
    std::string data;     // stored bytes; a REG_SZ includes its NUL
};

struct RegFileKey {
    std::size_t line = 0;  // where the key was named, for messages
    std::string path;      // as written, root included
    bool remove = false;   // [-path]
    std::vector<RegFileValue> values;
};

// Parses a whole file. On a syntax error returns ERROR_INVALID_DATA and a
// message that starts with "line N: ". Key paths and value names are checked
// against the store's rules here, so that applying the result cannot fail on
// them halfway.
LONG regParseFile(const std::string& text, std::vector<RegFileKey>* keys, std::string* error);

// Writes keys and values (none of them marked for removal) as a .reg file
// with LF line ends.
std::string regFormatFile(const std::vector<RegFileKey>& keys);

}  // namespace platform
