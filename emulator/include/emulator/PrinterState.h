#pragma once
// What a printer's physical condition is made of, apart from the printer
// that keeps it: shared by the emulator and by test programs that drive an
// emulator in another process, so it holds nothing platform-bound.
#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

namespace emulator {

using Bytes = std::vector<std::uint8_t>;
using StatusBlock = std::array<std::uint8_t, 4>;

// The printer's physical condition. Everything here can change at any time.
struct PrinterState {
    bool powerOn = true;
    bool coverOpen = false;
    bool receiptNearEnd = false;
    bool receiptEnd = false;
    bool journalNearEnd = false;
    bool journalEnd = false;
    bool slipNearEnd = false;  // no paper at the slip's bottom sensor
    bool slipEnd = false;      // no paper at the slip's top sensor
    bool slipInserted = false;
    bool cutterError = false;
    bool motorError = false;
    bool resumeError = false;
    bool autoStatusResumeError = false;
    bool drawerOpen = false;
    // How the drawer's sensor is wired: false (the usual "Low" phase) sets
    // the sensor bit while the drawer is closed and clears it while open;
    // true reports the opposite.
    bool drawerOpenReadsHigh = false;
    // The drawer shuts by itself this long after a pulse opened it; zero
    // keeps it open until the state says otherwise.
    std::chrono::milliseconds drawerClosesAfter{0};
    bool networkLinkDown = false;
    // Status requests (network status port, USB) are answered late or never.
    std::chrono::milliseconds statusReplyDelay{0};
    bool statusSilent = false;
    // The F60's answer to the character-mode query: Asian (non-zero) or US.
    bool asianCharacterMode = false;

    bool operator==(const PrinterState&) const = default;
};

}  // namespace emulator
