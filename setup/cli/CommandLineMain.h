#pragma once
// tillsetup run from its arguments alone: parse, run, print. Both programs
// (the one that may open the window and the console-only one) end here.
#include <string>
#include <vector>

namespace setup {

// Exit status as runCommand gives it; 2 with the usage on a usage error.
int commandLineMain(const std::vector<std::string>& args);

}  // namespace setup
