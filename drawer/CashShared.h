#pragma once
// What the drawer's life cycle and its methods share beyond the class: the
// pulse write's bound and the trace lines' result suffix.
#include <cstdint>

#include "common/OposConstants.h"
#include "platform/types.h"

namespace drawer {

inline constexpr std::int32_t kWriteTimeoutMs = 10000;

inline const char* failedSuffix(platform::LONG code) { return code == common::OPOS_SUCCESS ? "" : " failed"; }

}  // namespace drawer
