#pragma once
// The USB port names of the printers already defined.
#include <optional>

#include "setup/core/SchemaTerms.h"

namespace setup {

// Printers whose Port starts with "USB" (in any case).
int countUsbPrinters();

// The lowest n in 1-49 that no own printer uses as "USB<n>"; none when all
// are taken.
std::optional<int> nextUsbPortNumber();

}  // namespace setup
