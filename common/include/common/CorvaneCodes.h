#pragma once
// Extended result codes of this suite's own, reported beside OPOS_E_EXTENDED
// for printer faults that the OPOS standard has no code for.
#include <cstdint>

namespace common {

inline constexpr std::int32_t CV_ECUTTER_ERROR = 100020;
inline constexpr std::int32_t CV_EMOTOR_ERROR = 100021;
inline constexpr std::int32_t CV_EAUTOSTATUS_RESUME_ERROR = 100022;
inline constexpr std::int32_t CV_ERESUME_ERROR = 100023;

}  // namespace common
