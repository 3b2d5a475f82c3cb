#include <cctype>

#include "platform/com.h"

namespace platform {

bool canonicalGuid(std::string_view text, std::string* canonical) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, 36);
    }
    if (text.size() != 36) {
        return false;
    }
    std::string result = "{";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool dashPosition = i == 8 || i == 13 || i == 18 || i == 23;
        if (dashPosition ? c != '-' : !std::isxdigit(c)) {
            return false;
        }
        result += static_cast<char>(std::toupper(c));
    }
    result += '}';
    if (canonical != nullptr) {
        *canonical = std::move(result);
    }
    return true;
}

bool sameGuid(std::string_view a, std::string_view b) {
    std::string left;
    std::string right;
    return canonicalGuid(a, &left) && canonicalGuid(b, &right) && left == right;
}

}  // namespace platform
