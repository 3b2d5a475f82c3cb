#pragma once
// A new, empty folder of a random name in the system's temporary folder,
// for a test's files: only its owner may enter it.
#include <string>

namespace testsupport {

// Throws std::runtime_error when no folder can be made.
std::string makeTempFolder(const std::string& prefix);

}  // namespace testsupport
