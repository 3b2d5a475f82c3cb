#pragma once
// The ANSI code page as the converters need it: the iconv name of the code
// page in force.
#include <string>

namespace platform::detail {

// The iconv charset name of the ANSI code page ("CP1252", "CP932", ...).
// Always one that iconv_open accepts. Thread-safe.
std::string ansiCharset();

}  // namespace platform::detail
