#pragma once
// The Windows registry, as the suite uses it: two root keys, string and
// DWORD values, enumeration by index, .reg import and export.
//
// Windows behaviour kept exactly (callers depend on every point):
// - Key and value names are compared without regard to case (ASCII letters)
//   and stored as first written: a later write spelled in another case keeps
//   the original spelling. A path separates keys with '\'; one trailing '\'
//   is ignored. An empty key name inside a path, a key name longer than 255
//   characters, a value name longer than 16383 characters, or a name holding
//   a line break (which no .reg file could carry) is ERROR_INVALID_PARAMETER.
// - REG_SZ data is narrow text; its size counts the terminating NUL. A value
//   written without a NUL in its size is read back with one appended, so the
//   size a query reports always includes it.
// - REG_DWORD data is 4 bytes, little-endian.
// - regEnumKeyEx lists subkeys in case-insensitive sorted order (compared in
//   upper case, as Windows does: "AB" comes before "A_B"), regEnumValue lists
//   values in creation order (a rewrite keeps the position; a value deleted
//   and written again moves to the end).
// - A query whose buffer is too small fails with ERROR_MORE_DATA, copies
//   nothing and reports the needed size. A null data pointer asks for the
//   size only and succeeds.
// - regDeleteKey refuses a key that has subkeys (ERROR_ACCESS_DENIED, as
//   Windows answers); regDeleteTree removes a whole tree.
// - Access rights: reading values and regQueryInfoKey need KEY_QUERY_VALUE,
//   regEnumKeyEx needs KEY_ENUMERATE_SUB_KEYS, writing or deleting a value
//   needs KEY_SET_VALUE, creating a subkey needs KEY_CREATE_SUB_KEY on the
//   parent, deleting a key needs a write right on the parent; otherwise
//   ERROR_ACCESS_DENIED. Opening or creating a key with any write right, and
//   every write, fails with ERROR_ACCESS_DENIED when the caller may not write
//   the store (the file, its -wal and -shm companions, or the folder when the
//   file does not exist yet). The predefined root keys carry every right;
//   only the store's permissions limit them.
// - Handles: a handle belongs to the store it was opened in. Once its key is
//   deleted (by this or another process) every call on it fails with
//   ERROR_KEY_DELETED, even after a key of the same name is created again.
//   A null, closed or unknown handle is ERROR_INVALID_HANDLE.
//
// Store: one SQLite database file, $CVOPOS_REGISTRY or
// /var/lib/cvopos/registry.db, looked up at every call made through a root
// key. It is created (with its folder) on the first write; reading a store
// that does not exist yet finds no keys and creates nothing. Every call is
// one transaction, so processes (setup tool, cleaner, running service
// objects) see each other's changes at once and never lose a concurrent
// write; a busy store is waited for, not failed.
//
// Thread safety: every call may be made from any thread. A key handle may be
// shared between threads (but not closed while another thread uses it).
// Calls block only on the store's lock: the calls of one process take turns,
// and a call waits at most the store's busy time-out (10 s) for another
// process, after which it fails with ERROR_CANTWRITE/ERROR_CANTREAD.
// A damaged store file is ERROR_BADDB, one that cannot be opened
// ERROR_CANTOPEN.
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

// Opens an existing key below `parent` (subKey may be null or empty: a new
// handle to parent itself). ERROR_FILE_NOT_FOUND when it does not exist.
// *result is null after any failure.
LONG regOpenKeyEx(HKey parent, const char* subKey, REGSAM access, HKey* result);

// Opens or creates the key and any missing keys on its path. `created`, when
// given, tells whether the last key was new. Opening an existing key with
// read rights only needs no write permission on the store.
LONG regCreateKeyEx(HKey parent, const char* subKey, REGSAM access, HKey* result,
                    bool* created = nullptr);

// Closing a predefined root key succeeds and does nothing.
LONG regCloseKey(HKey key);

// name null or "" is the key's default value. `type`, `data` and `size` may
// each be null (data without size is ERROR_INVALID_PARAMETER); on entry
// *size is the buffer size, on return the data size. ERROR_FILE_NOT_FOUND
// when the value does not exist.
LONG regQueryValueEx(HKey key, const char* name, DWORD* type, BYTE* data, DWORD* size);

// Writes a value (REG_SZ or REG_DWORD; a REG_DWORD must be 4 bytes; any other
// type or size is ERROR_INVALID_PARAMETER).
LONG regSetValueEx(HKey key, const char* name, DWORD type, const BYTE* data, DWORD size);

// Deletes the key `subKey` below `parent` (null or empty: parent itself); it
// must have no subkeys. Its values go with it. A root key cannot be deleted
// (ERROR_ACCESS_DENIED).
LONG regDeleteKey(HKey parent, const char* subKey);

// Deletes the key `subKey` below `parent` with all its subkeys and values.
// With a null or empty subKey, deletes everything below `parent` (subkeys
// and values) and keeps `parent` itself.
LONG regDeleteTree(HKey parent, const char* subKey);

// ERROR_FILE_NOT_FOUND when the value does not exist.
LONG regDeleteValue(HKey key, const char* name);

// Subkey `index` in sorted order. On entry *nameLen is the buffer size in
// characters; on return the name's length without the NUL. ERROR_MORE_DATA
// when the buffer cannot hold the name and its NUL (nothing copied, *nameLen
// set to the name's length without the NUL); ERROR_NO_MORE_ITEMS past the
// end.
LONG regEnumKeyEx(HKey key, DWORD index, char* name, DWORD* nameLen);

// Value `index` in creation order; name as for regEnumKeyEx, data as for
// regQueryValueEx. ERROR_MORE_DATA (nothing copied; *nameLen and *dataLen
// set to what is needed) when either buffer is too small.
LONG regEnumValue(HKey key, DWORD index, char* name, DWORD* nameLen, DWORD* type,
                  BYTE* data, DWORD* dataLen);

// Counts of subkeys and values; either pointer may be null.
LONG regQueryInfoKey(HKey key, DWORD* subKeys, DWORD* values);

// Reads a "Windows Registry Editor Version 5.00" file and applies it:
// [KEY] creates, [-KEY] deletes a whole tree, "name"="text" (\\ and \"
// escaped), "name"=dword:0000abcd, "name"=hex(1):61,62,00 (string bytes, for
// text a quoted string cannot carry), @= for the default value, "name"=-
// deletes. Lines may end in CRLF or LF; lines starting with ';' are
// comments. The whole file is one transaction; a syntax error applies
// nothing (ERROR_INVALID_DATA). `error` receives a message naming the line
// on failure. A file that cannot be read is ERROR_FILE_NOT_FOUND or
// ERROR_ACCESS_DENIED.
LONG regImportFile(const std::string& path, std::string* error = nullptr);

// Writes `keyPath` (e.g. "HKEY_LOCAL_MACHINE\\SOFTWARE\\X") and all keys
// below it in .reg form with LF line ends: the header, a blank line, then
// each key depth first in enumeration order, its values in creation order,
// followed by a blank line. Key names keep their stored spelling; the root
// is always written in full. Importing the text into an empty store and
// exporting again gives the same text. ERROR_FILE_NOT_FOUND when the key does
// not exist, ERROR_INVALID_PARAMETER for an unknown root.
LONG regExportKey(const std::string& keyPath, std::string* text);

// Whether this process may change the store it would use now: the stand-in
// for membership of the Administrators group, which guards the machine-wide
// configuration on Windows. Checks file permissions only (effective user);
// never blocks beyond the file system.
bool regStoreWritable();

// Splits "HKEY_LOCAL_MACHINE\\A\\B" (or HKLM\\A\\B, HKEY_CLASSES_ROOT,
// HKCR; any case) into its root key and the rest. False for any other root.
bool regSplitRootPath(const std::string& keyPath, HKey* root, std::string* subKey);

}  // namespace platform
