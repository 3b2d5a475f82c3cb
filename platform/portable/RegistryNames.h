#pragma once
// Name and data rules shared by the registry calls and the .reg reader: how
// key paths split, how names compare, the limits on names, how strings are
// stored.
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

constexpr std::size_t kRegMaxKeyNameLength = 255;
constexpr std::size_t kRegMaxValueNameLength = 16383;

// The key under which names are compared and sorted. Windows compares names
// in upper case, which puts '_' and the other characters between 'Z' and 'a'
// after the letters; folding to lower case would sort them differently.
std::string regFoldName(const std::string& name);

// Splits a subkey path into its key names. Null or "" gives no names; one
// trailing '\' is ignored. ERROR_INVALID_PARAMETER for an empty, too long or
// otherwise invalid name.
LONG regSplitSubKey(const char* subKey, std::vector<std::string>* names);

// ERROR_INVALID_PARAMETER when a value name is too long or otherwise invalid.
// Windows takes a line break in a name, but no .reg file could carry it, so
// a store holding one could not be exported; it is refused instead.
LONG regCheckValueName(const std::string& name);

// Appends the terminating NUL that a REG_SZ written without one lacks.
void regTerminateString(std::string* data);

}  // namespace platform
