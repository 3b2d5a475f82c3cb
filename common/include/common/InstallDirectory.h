#pragma once
// The install directory: where the installer put the service objects, the
// image libraries, "OPOSLog.ini" and the log folders. The installer records
// only its uninstaller's path, so the directory is derived from that.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace common {

// The registry's REG_SZ buffer for "UninstallString", terminator included.
inline constexpr std::size_t kUninstallStringSize = 260;

// The separator the suite puts between the folders and files it appends to
// the install directory.
inline constexpr char kPathSeparator = '/';

// What separates folders in "UninstallString": either slash, as the
// system's own path splitting takes them.
inline constexpr const char* kUninstallStringSeparators = "/\\";

// Strips quote characters from the end of `uninstallString`, then from its
// start, and keeps everything up to and including the last separator.
// A value without a separator gives "".
std::string directoryOfUninstallString(std::string_view uninstallString);

// Reads "UninstallString" of the uninstall entry (HKLM, KEY_READ) and returns
// its directory. Empty when the key or value is missing, the value is not
// REG_SZ or does not fit its 260-byte buffer.
std::optional<std::string> readInstallDirectory();

}  // namespace common
