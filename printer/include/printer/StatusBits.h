#pragma once
// The printer's 4-byte automatic status block read as OPOS status codes,
// by model: each model family puts cover and paper sensors in its own bits.
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

}  // namespace printer
