#include "printer/StatusBits.h"

#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"

namespace printer {

StatusCodes decodeStatus(std::int32_t model, const StatusBlock& block) {
    using namespace common;
    const std::uint8_t b0 = block[0], b1 = block[1], b2 = block[2], b3 = block[3];
    StatusCodes codes{PTR_SUE_COVER_OK, PTR_SUE_REC_PAPEROK, PTR_SUE_REC_PAPEROK, PTR_SUE_JRN_PAPEROK,
                      PTR_SUE_SLP_PAPEROK};
    if (model == model::E50) {
        codes.cover = (b0 & 0x02) != 0 ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK;
        codes.receipt = (b0 & 0x04) != 0 || (b1 & 0x06) != 0 ? PTR_SUE_REC_EMPTY : PTR_SUE_REC_PAPEROK;
        return codes;
    }
    codes.cover = (b0 & 0x20) != 0 ? PTR_SUE_COVER_OPEN : PTR_SUE_COVER_OK;
    if ((b2 & 0x0C) != 0) {
        codes.receipt = PTR_SUE_REC_EMPTY;
    } else if (model != model::B20 && (b2 & 0x03) != 0) {
        codes.receipt = PTR_SUE_REC_NEAREMPTY;
    }
    if (model == model::F60) {
        codes.f60Receipt = (b2 & 0x08) != 0   ? PTR_SUE_REC_EMPTY
                           : (b2 & 0x02) != 0 ? PTR_SUE_REC_NEAREMPTY
                                              : PTR_SUE_REC_PAPEROK;
        codes.journal = (b2 & 0x04) != 0   ? PTR_SUE_JRN_EMPTY
                        : (b2 & 0x01) != 0 ? PTR_SUE_JRN_NEAREMPTY
                                           : PTR_SUE_JRN_PAPEROK;
        const bool top = (b2 & 0x20) != 0, bottom = (b2 & 0x40) != 0, near = (b3 & 0x02) != 0;
        codes.slip = top && bottom           ? PTR_SUE_SLP_EMPTY
                     : top && !bottom && near ? PTR_SUE_SLP_NEAREMPTY
                                              : PTR_SUE_SLP_PAPEROK;
    }
    return codes;
}

MechanismErrors decodeErrors(std::int32_t model, const StatusBlock& block, bool parallelPort) {
    const std::uint8_t b0 = block[0], b1 = block[1];
    MechanismErrors errors;
    errors.asbResume = (b1 & 0x40) != 0;
    if (model == model::E50) {
        errors.cutter = (b0 & 0x10) != 0;
        return errors;
    }
    if (model != model::B20) {
        errors.cutter = (b1 & 0x08) != 0 || (b1 & 0x20) != 0;
    }
    const bool impact = model == model::K92 || model == model::K91 || model == model::K90;
    if (impact || model == model::F60) {
        errors.motor = (b1 & 0x04) != 0;
    }
    if (!parallelPort) {
        errors.resume = (b1 & 0x20) != 0;
    }
    return errors;
}

std::int32_t slipSensorState(const StatusBlock& block, std::int32_t previous) {
    const bool top = (block[2] & 0x20) != 0, bottom = (block[2] & 0x40) != 0, near = (block[3] & 0x02) != 0;
    if (top && bottom && near) {
        return kSlipSensorNone;
    }
    if (bottom && !top && !near) {
        return kSlipSensorInserted;
    }
    if (top && near && !bottom) {
        return kSlipSensorOutOfPath;
    }
    return previous;
}

}  // namespace printer
