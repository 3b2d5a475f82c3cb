#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com.h"

namespace platform {

// Layout as on Windows: a 32-bit byte count just before the characters,
// then the characters and a terminating NUL. The caller sees only the
// pointer to the characters.
namespace {

using Prefix = std::uint32_t;
static_assert(alignof(wchar_t) <= sizeof(Prefix), "characters must stay aligned after the prefix");

char* blockOf(BSTR text) {
    return reinterpret_cast<char*>(text) - sizeof(Prefix);
}

}  // namespace

BSTR sysAllocString(std::wstring_view text) {
    constexpr std::size_t maxCharacters = std::numeric_limits<Prefix>::max() / sizeof(wchar_t) - 1;
    if (text.size() > maxCharacters) {
        return nullptr;
    }
    const std::size_t bytes = text.size() * sizeof(wchar_t);
    char* block = static_cast<char*>(std::malloc(sizeof(Prefix) + bytes + sizeof(wchar_t)));
    if (block == nullptr) {
        return nullptr;
    }
    const Prefix length = static_cast<Prefix>(bytes);
    std::memcpy(block, &length, sizeof(length));
    BSTR characters = reinterpret_cast<BSTR>(block + sizeof(Prefix));
    if (bytes > 0) {
        std::memcpy(characters, text.data(), bytes);
    }
    characters[text.size()] = L'\0';
    return characters;
}

void sysFreeString(BSTR text) {
    if (text != nullptr) {
        std::free(blockOf(text));
    }
}

UINT sysStringLen(BSTR text) {
    if (text == nullptr) {
        return 0;
    }
    Prefix bytes = 0;
    std::memcpy(&bytes, blockOf(text), sizeof(bytes));
    return bytes / sizeof(wchar_t);
}

}  // namespace platform
