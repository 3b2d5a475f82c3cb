#pragma once
// What the service object knows of its printer's sensors and power: the
// status slots the status monitor keeps (what the printer reports now, and
// what the application was last told), PowerState and ErrorLevel.
//
// One per service object, from construction to destruction: the property
// getters read it whether or not the device is claimed, enabling writes the
// initial report into it, and each claim's threads share it. Every value is
// a single atomic 32-bit integer, written by one thread at a time (the
// application thread while disabled, the status monitor while enabled) and
// read from any thread.
#include <atomic>
#include <cstdint>

#include "common/OposConstants.h"

namespace printer {

struct PrinterStatus {
    // What the printer reported last. Nothing has been read before the
    // first status read; until then the printer counts as ready.
    std::atomic<std::int32_t> cover{common::PTR_SUE_COVER_OK};
    std::atomic<std::int32_t> receipt{common::PTR_SUE_REC_PAPEROK};
    // F60 only: its own receipt sensor, the journal and the slip.
    std::atomic<std::int32_t> f60Receipt{common::PTR_SUE_REC_PAPEROK};
    std::atomic<std::int32_t> journal{common::PTR_SUE_JRN_PAPEROK};
    std::atomic<std::int32_t> slip{common::PTR_SUE_SLP_PAPEROK};

    // What the application was told last: a status update goes out when
    // the printer's value differs from these.
    std::atomic<std::int32_t> lastCover{common::PTR_SUE_COVER_OK};
    std::atomic<std::int32_t> lastReceipt{common::PTR_SUE_REC_PAPEROK};
    std::atomic<std::int32_t> lastF60Receipt{common::PTR_SUE_REC_PAPEROK};
    std::atomic<std::int32_t> lastJournal{common::PTR_SUE_JRN_PAPEROK};
    std::atomic<std::int32_t> lastSlip{common::PTR_SUE_SLP_EMPTY};

    std::atomic<std::int32_t> powerState{common::OPOS_PS_UNKNOWN};
    std::atomic<std::int32_t> errorLevel{common::PTR_EL_NONE};
};

}  // namespace printer
