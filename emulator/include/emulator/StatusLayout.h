#pragma once
// The 4-byte status block a printer sends back (automatic status, and the
// answer to ESC v). The family uses four bit layouts; the block carries
// every condition of the printer's state that its layout can express and
// leaves the rest out, as the real printer would.
//
//   general  b0: 0x10 always set, 0x20 cover open, 0x04 drawer sensor
//            b1: 0x04 motor error, 0x08 cutter error, 0x20 resume error,
//                0x40 automatic-status resume error
//            b2: 0x03 receipt near end, 0x0C receipt end
//            b3: 0x0F always
//   E50      b0: 0x02 cover open, 0x10 cutter error, 0x04 receipt end
//            b1: 0x06 receipt end, 0x40 automatic-status resume error
//            b3: 0x0F always. No near-end sensor, no motor or resume bits,
//            and no drawer sensor: the bit other models use for it means
//            paper end here.
//   B20      as general, without near end, cutter and motor bits.
//   F60      b0 and b1 as general
//            b2: 0x08 receipt end, 0x02 receipt near end, 0x04 journal end,
//                0x01 journal near end, 0x20 and 0x40 slip sensors
//            b3: 0x6D always, 0x02 slip sensor
//            The slip sensors read: all three set - no slip (slip end);
//            b2 0x20 with b3 0x02 - slip out of the path (near end);
//            b2 0x40 alone - slip inserted (paper ok).
#include <cstdint>

#include "emulator/VirtualPrinter.h"

namespace emulator {

enum class StatusLayout : std::uint8_t { General, E50, B20, F60 };

StatusBlock encodeStatusBlock(StatusLayout layout, const PrinterState& state);

}  // namespace emulator
