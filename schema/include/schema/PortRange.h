#pragma once
// The highest COM and LPT numbers the setup tool lists.
#include "platform/types.h"

namespace schema {

struct PortRange {
    platform::DWORD comMax;
    platform::DWORD lptMax;
};

// Without the port range key the defaults (4, 2) apply. When the key exists
// but a value is missing, that kind lists no port at all (0). Stored values
// above the highest port number are capped to it.
PortRange readPortRange();

// Creates the key when missing and writes both values.
platform::LONG writePortRange(const PortRange& range);

}  // namespace schema
