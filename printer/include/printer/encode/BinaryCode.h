#pragma once
// Undoing BinaryConversion on print data, and MapMode distances for the
// feed escape sequence.
#include <cstdint>

#include "printer/encode/EncodeLog.h"

namespace printer {

// Decodes `data` in place by `conversion` (0 none, 1 nibble pairs, 2
// decimal triples) and returns the new length. Characters are not
// validated. A length that is not a whole number of pairs or triples, or a
// negative one, leaves the data as it is and is returned unchanged.
std::int32_t TranslateBinaryCode(std::int32_t conversion, std::uint8_t* data, std::int32_t length);

// A feed distance in MapMode units to dots at the fixed 180 dots per inch
// the feed command counts in; an unknown MapMode leaves it unchanged.
void SetLinParInDot2(EncodeLog* log, std::int32_t* dots, std::int32_t mapMode, std::int32_t value);

}  // namespace printer
