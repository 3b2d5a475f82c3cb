#pragma once
#include "ProgramOptions.h"

namespace emulator {

// Runs the printers until a signal or the control command "quit"; returns
// the process exit code.
int runProgram(const ProgramOptions& options);

}  // namespace emulator
