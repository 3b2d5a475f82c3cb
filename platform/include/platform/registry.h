#pragma once
// The Windows registry, as the suite uses it: two root keys, string and
// DWORD values, enumeration by index, .reg import and export.
//
// Windows behaviour kept exactly (callers depend on every point):
// - Key and value names are compared without regard to case and stored as
//   first written. A path separates keys with '\'.
// - REG_SZ data is narrow text; its size counts the terminating NUL. A value
//   written without a NUL in its size is read back with one appended.
// - REG_DWORD data is 4 bytes, little-endian.
// - regEnumKey lists subkeys in case-insensitive sorted order, regEnumValue
//   lists values in creation order (a rewrite keeps the position).
// - A query whose buffer is too small fails with ERROR_MORE_DATA, copies
//   nothing and reports the needed size. A null data pointer asks for the
//   size only and succeeds.
// - regDeleteKey refuses a key that has subkeys (ERROR_ACCESS_DENIED, as
//   Windows answers).
// - Access rights: a key opened with KEY_READ cannot be written
//   (ERROR_ACCESS_DENIED). Opening for write access fails with
//   ERROR_ACCESS_DENIED when the caller may not write the store file.
//
// Store: one SQLite database file, $CVOPOS_REGISTRY or
// /var/lib/cvopos/registry.db, created on first write. Every call is one
// transaction, so processes (setup tool, cleaner, running service objects)
// see each other's changes at once and never lose a concurrent write; a busy
// store is waited for, not failed.
//
// Thread safety: every call may be made from any thread. A key handle may be
// shared between threads. Calls block only on the store's lock (bounded by
// its busy time-out, after which they fail with ERROR_CANTWRITE/CANTREAD).
#include <string>

#include "platform/types.h"

namespace platform {

struct RegKeyObject;
using HKey = RegKeyObject*;

// The two predefined root keys. They are never closed.
extern const HKey HKLM;  // HKEY_LOCAL_MACHINE
extern const HKey HKCR;  // HKEY_CLASSES_ROOT

using REGSAM = DWORD;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

// Opens an existing key below `parent` (subKey may be empty: a new handle to
// parent itself). ERROR_FILE_NOT_FOUND when it does not exist.
LONG regOpenKeyEx(HKey parent, const char* subKey, REGSAM access, HKey* result);

// Opens or creates the key and any missing keys on its path. `created`, when
// given, tells whether the last key was new.
LONG regCreateKeyEx(HKey parent, const char* subKey, REGSAM access, HKey* result,
                    bool* created = nullptr);

LONG regCloseKey(HKey key);

// name null or "" is the key's default value. `type`, `data` and `size` may
// each be null; on entry *size is the buffer size, on return the data size.
LONG regQueryValueEx(HKey key, const char* name, DWORD* type, BYTE* data, DWORD* size);

// Writes a value (REG_SZ or REG_DWORD; a REG_DWORD must be 4 bytes).
LONG regSetValueEx(HKey key, const char* name, DWORD type, const BYTE* data, DWORD size);

// Deletes the key `subKey` below `parent`; it must have no subkeys.
LONG regDeleteKey(HKey parent, const char* subKey);

LONG regDeleteValue(HKey key, const char* name);

// Subkey `index` in sorted order. On entry *nameLen is the buffer size in
// characters; on return the name's length without the NUL. ERROR_MORE_DATA
// when the buffer cannot hold the name and its NUL; ERROR_NO_MORE_ITEMS past
// the end.
LONG regEnumKeyEx(HKey key, DWORD index, char* name, DWORD* nameLen);

// Value `index` in creation order; name as for regEnumKeyEx, data as for
// regQueryValueEx. ERROR_MORE_DATA (nothing copied) when either buffer is
// too small.
LONG regEnumValue(HKey key, DWORD index, char* name, DWORD* nameLen, DWORD* type,
                  BYTE* data, DWORD* dataLen);

// Counts of subkeys and values; either pointer may be null.
LONG regQueryInfoKey(HKey key, DWORD* subKeys, DWORD* values);

// Reads a "Windows Registry Editor Version 5.00" file and applies it:
// [KEY] creates, [-KEY] deletes a whole tree, "name"="text", "name"=dword:
// 0000abcd, @= for the default value, "name"=- deletes. The whole file is
// one transaction; a syntax error applies nothing. `error` receives a
// message naming the line on failure.
LONG regImportFile(const std::string& path, std::string* error = nullptr);

// Writes `keyPath` (e.g. "HKEY_LOCAL_MACHINE\\SOFTWARE\\X") and all keys
// below it in .reg form: keys in enumeration order, values in creation
// order. Importing the text into an empty store and exporting again gives
// the same text.
LONG regExportKey(const std::string& keyPath, std::string* text);

// Splits "HKEY_LOCAL_MACHINE\\A\\B" (or HKLM\\A\\B, HKEY_CLASSES_ROOT,
// HKCR) into its root key and the rest. False for any other root.
bool regSplitRootPath(const std::string& keyPath, HKey* root, std::string* subKey);

}  // namespace platform
