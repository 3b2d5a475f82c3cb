#include "emulator/StatusLayout.h"

namespace emulator {

namespace {

std::uint8_t drawerBit(const PrinterState& state) {
    return state.drawerOpen == state.drawerOpenReadsHigh ? 0x04 : 0x00;
}

StatusBlock general(const PrinterState& state, bool hasNearEnd, bool hasCutterAndMotor) {
    StatusBlock block{0x10, 0x00, 0x00, 0x0F};
    block[0] |= drawerBit(state);
    if (state.coverOpen) block[0] |= 0x20;
    if (hasCutterAndMotor && state.motorError) block[1] |= 0x04;
    if (hasCutterAndMotor && state.cutterError) block[1] |= 0x08;
    if (state.resumeError) block[1] |= 0x20;
    if (state.autoStatusResumeError) block[1] |= 0x40;
    if (hasNearEnd && state.receiptNearEnd) block[2] |= 0x03;
    if (state.receiptEnd) block[2] |= 0x0C;
    return block;
}

StatusBlock e50(const PrinterState& state) {
    StatusBlock block{0x00, 0x00, 0x00, 0x0F};
    if (state.coverOpen) block[0] |= 0x02;
    if (state.cutterError) block[0] |= 0x10;
    if (state.receiptEnd) {
        block[0] |= 0x04;
        block[1] |= 0x06;
    }
    if (state.autoStatusResumeError) block[1] |= 0x40;
    return block;
}

StatusBlock f60(const PrinterState& state) {
    StatusBlock block = general(state, false, true);
    block[2] = 0x00;
    block[3] = 0x6D;
    if (state.receiptEnd) block[2] |= 0x08;
    if (state.receiptNearEnd) block[2] |= 0x02;
    if (state.journalEnd) block[2] |= 0x04;
    if (state.journalNearEnd) block[2] |= 0x01;
    // The three slip bits only make sense together: they form the sensor
    // states no slip, slip out of the path and slip inserted.
    const bool noSlip = state.slipEnd || (!state.slipInserted && !state.slipNearEnd);
    if (noSlip) {
        block[2] |= 0x60;
        block[3] |= 0x02;
    } else if (state.slipNearEnd) {
        block[2] |= 0x20;
        block[3] |= 0x02;
    } else {
        block[2] |= 0x40;
    }
    return block;
}

}  // namespace

StatusBlock encodeStatusBlock(StatusLayout layout, const PrinterState& state) {
    switch (layout) {
    case StatusLayout::E50:
        return e50(state);
    case StatusLayout::B20:
        return general(state, false, false);
    case StatusLayout::F60:
        return f60(state);
    case StatusLayout::General:
        break;
    }
    return general(state, true, true);
}

}  // namespace emulator
