#pragma once
// The printer's 4-byte automatic status block read by model: each model
// family puts cover, paper and mechanism sensors in its own bits. Pure.
#include <array>
#include <cstdint>

namespace printer {

using StatusBlock = std::array<std::uint8_t, 4>;

struct StatusCodes {
    std::int32_t cover;       // PTR_SUE_COVER_OPEN / _OK
    std::int32_t receipt;     // PTR_SUE_REC_EMPTY / _NEAREMPTY / _PAPEROK by the model's receipt bits
    // F60 only (its own receipt slot, journal and slip); PAPEROK elsewhere.
    std::int32_t f60Receipt;
    std::int32_t journal;
    std::int32_t slip;
};

StatusCodes decodeStatus(std::int32_t model, const StatusBlock& block);

// The mechanism errors the block shows. A condition a model (or a parallel
// connection) does not report through these bits always reads false: motor
// errors come only from the impact printers and F60, resume errors never
// from E50 or over a parallel port, and B20's cutter bit means nothing.
struct MechanismErrors {
    bool cutter = false;
    bool motor = false;
    bool asbResume = false;
    bool resume = false;
};

MechanismErrors decodeErrors(std::int32_t model, const StatusBlock& block, bool parallelPort);

// F60's slip sensor: 2 no slip, 3 slip inserted, 4 slip out of the paper
// path. A block that shows none of the three keeps `previous`.
inline constexpr std::int32_t kSlipSensorNone = 2;
inline constexpr std::int32_t kSlipSensorInserted = 3;
inline constexpr std::int32_t kSlipSensorOutOfPath = 4;
std::int32_t slipSensorState(const StatusBlock& block, std::int32_t previous);

}  // namespace printer
