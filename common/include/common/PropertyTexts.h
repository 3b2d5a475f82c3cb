#pragma once
// Fixed texts the service objects report and log: the ErrorString text of an
// error code, and the property trace line that records a property's state.
#include <cstdint>
#include <string>
#include <string_view>

namespace common {

// The ErrorString text for `code`: "Idle" for 0, the OPOS names of the
// listed codes, and "Unknowen Error" (the suite's spelling) for the rest.
const char* errorStringText(std::int32_t code);

// The trace line for a property, without its leading '>'. `item` is the
// property's index (PIDX_ResultCode, PIDX_CheckHealthText, PIDXPtr_CoverOpen,
// ...). Numeric properties render `number`; CheckHealthText and ErrorString
// render `text`. An item without a trace line gives "Code 0x<item> not exist".
std::string propertyTraceText(std::int32_t item, std::int32_t number, std::string_view text = {});

}  // namespace common
