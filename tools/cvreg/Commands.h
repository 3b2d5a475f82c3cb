#pragma once
// What each cvreg operation does, apart from the command line and the
// process around it.
#include <ostream>

#include "CommandLine.h"

namespace cvreg {

// Runs a parsed command against the registry store. Results go to `out`,
// failures to `err` as one line that names the key, value or file and the
// reason. Returns the exit status: 0 done, 1 failed.
int runCommand(const Command& command, std::ostream& out, std::ostream& err);

}  // namespace cvreg
