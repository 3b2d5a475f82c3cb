#pragma once
// LoadLibraryA / GetProcAddress / FreeLibrary over dlopen.
//
// Names keep their Windows form in the callers and are mapped here to the
// file of the same stem: "imgproc.dll" and "imgproc" (LoadLibrary adds
// ".dll" to a name without an extension) load "libimgproc.so". The ".dll"
// is matched without regard to case, as Windows matches file names. A name
// with another extension (such as "libusblink.so" or "libm.so.6") is used as
// it is. A name with a directory ("/opt/cvopos/imgproc.dll") maps only its
// last component and loads exactly that file; a name without one is looked
// for on the standard search path (LD_LIBRARY_PATH, the cache, the system
// directories).
//
// Every symbol of the library is resolved at load, as Windows resolves a
// DLL's imports: a library that needs a missing symbol fails to load instead
// of failing at its first call.
//
// Thread-safe. Loading blocks while the library is read and its
// initialisers run. Loading a library already loaded returns the same
// handle and counts a reference; each load needs one freeLibrary.
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

struct ModuleObject;
using HModule = ModuleObject*;

// The GetLastError values a failed call reports.

// Why a call failed: the Win32 error code (for a caller's sysError) and the
// loader's own readable message.
struct ModuleError {
    LONG code = ERROR_SUCCESS;
    std::string message;
};

// The file name loadLibrary opens for `name` (the mapping above).
std::string libraryFileName(std::string_view name);

// Null on failure, with ERROR_MOD_NOT_FOUND and the loader's message in
// *error (when given).
HModule loadLibrary(std::string_view name, ModuleError* error = nullptr);

// The address of the export `name`, or null: ERROR_INVALID_HANDLE for a null
// module, ERROR_INVALID_PARAMETER for a null name, ERROR_PROC_NOT_FOUND for
// a missing export. Never blocks.
void* getProcAddress(HModule module, const char* name, ModuleError* error = nullptr);

// The export cast to the caller's function type (the cast every
// GetProcAddress caller writes).
template <typename Function>
Function getProcAddressAs(HModule module, const char* name, ModuleError* error = nullptr) {
    return reinterpret_cast<Function>(getProcAddress(module, name, error));
}

// Drops one reference; the library is unloaded with the last. False for a
// null handle or when the loader refuses. The handle is invalid afterwards.
bool freeLibrary(HModule module);

}  // namespace platform
