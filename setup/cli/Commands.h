#pragma once
// Runs one tillsetup command: collects the choices from the command line,
// hands them to the setup core, and prints what the core reports.
#include <ostream>

#include "CommandLine.h"

namespace setup {

// Exit status: 0 done, 1 refused or failed, 2 usage error.
int runCommand(const Command& command, std::ostream& out, std::ostream& err);

}  // namespace setup
