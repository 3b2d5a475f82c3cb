#pragma once
// A new, empty folder of a random name in the user's private temporary
// folder, for a test's files.
#include <string>

namespace testsupport {

// Throws std::runtime_error when no folder can be made.
std::string makeTempFolder(const std::string& prefix);

}  // namespace testsupport
