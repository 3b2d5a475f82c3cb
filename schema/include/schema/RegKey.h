#pragma once
// The one small key wrapper through which the suite's own code reads and
// writes device entries. It owns at most one open key and closes it on
// destruction or when another key is opened.
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace schema {

using platform::DWORD;
using platform::HKey;
using platform::LONG;
using platform::REGSAM;

class RegKey {
public:
    // Read, create a subkey, set a value: what the setup tool needs to edit.
    static constexpr REGSAM kEditAccess =
        platform::KEY_READ | platform::KEY_CREATE_SUB_KEY | platform::KEY_SET_VALUE;

    RegKey() = default;
    ~RegKey();
    RegKey(RegKey&& other) noexcept;
    RegKey& operator=(RegKey&& other) noexcept;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Opens an existing key; any key held before is closed first, even when
    // the open fails.
    LONG open(HKey root, const std::string& path, REGSAM access = kEditAccess);
    // Opens or creates the key (and its missing parents) with full access.
    LONG create(HKey root, const std::string& path);
    void close();

    bool isOpen() const { return m_key != nullptr; }
    HKey handle() const { return m_key; }

    // Reads a REG_SZ value as a caller with a buffer of `bufferSize` bytes
    // would: ERROR_MORE_DATA when the text and its NUL do not fit (nothing
    // is returned), ERROR_INVALID_DATA when the value is not a string.
    LONG readString(const char* name, DWORD bufferSize, std::string* text) const;
    // ERROR_INVALID_DATA when the value is not a REG_DWORD.
    LONG readDword(const char* name, DWORD* number) const;

    LONG writeString(const char* name, std::string_view text);
    LONG writeDword(const char* name, DWORD number);
    LONG deleteValue(const char* name);
    // Deletes a subkey that has no subkeys of its own.
    LONG deleteSubKey(const char* name);

private:
    HKey m_key = nullptr;
};

}  // namespace schema
