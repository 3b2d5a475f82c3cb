#pragma once
// The paper as text, in the form VirtualPrinter::transcript() documents.
#include <string>

#include "Paper.h"

namespace emulator {

std::string writeTranscript(const Paper& paper);

}  // namespace emulator
