#pragma once
// GetTempPathA and GetTempFileNameA, made safe for a shared machine.
//
// Windows hands every user a temporary folder of their own. The nearest
// POSIX equivalent is $XDG_RUNTIME_DIR; without it the suite uses
// /tmp/cvopos-<uid>. The shared /tmp itself is never used: another user
// could read what we write there or plant a symbolic link in place of a
// file we are about to write (the bitmap pipeline writes fixed names).
//
// Every call checks the file system afresh (a cleaner may remove the folder
// at any time) and is thread-safe as long as no thread changes the
// environment meanwhile. Calls block only on the file system.
#include <string>

#include "platform/types.h"

namespace platform {


// GetTempPathA: the user's private temporary folder, with a trailing '/',
// so that callers append a file name as they did to the Windows path.
// $XDG_RUNTIME_DIR when it is set to an absolute path of a directory (not a
// symbolic link) owned by the user with mode 0700; otherwise
// privateDirectoryIn("/tmp"). Errors are those of privateDirectoryIn.
LONG tempDirectory(std::string* path);

// `parent`/cvopos-<uid> (uid: the effective user), created with mode 0700
// when missing. A folder of that name that already exists is used only if
// it is a directory (not a symbolic link) owned by the user with mode 0700;
// anything else may have been planted by another user and gives
// ERROR_ACCESS_DENIED. ERROR_PATH_NOT_FOUND when `parent` does not exist,
// ERROR_ACCESS_DENIED when it may not be written, ERROR_DISK_FULL or
// ERROR_WRITE_FAULT when the folder cannot be created for another reason,
// ERROR_INVALID_PARAMETER for a null `path`. `path` receives the folder's
// path without a trailing '/' and is left alone on failure.
LONG privateDirectoryIn(const std::string& parent, std::string* path);

// GetTempFileNameA with uUnique 0: creates a new, empty file of a unique
// name, "<directory>/<prefix><6 random characters>.tmp" with mode 0600, and
// returns its path; the caller removes it. An existing file is never opened.
// ERROR_INVALID_PARAMETER for a null `path`, an empty directory or a prefix
// containing '/';
// otherwise the errors of file creation as for privateDirectoryIn.
LONG tempFileName(const std::string& directory, const std::string& prefix, std::string* path);

}  // namespace platform
