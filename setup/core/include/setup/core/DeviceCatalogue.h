#pragma once
// The printer models the tool offers and the USB identity blocks that tell
// which model an attached USB printer is.
#include <array>
#include <optional>
#include <string_view>

#include "setup/core/SchemaTerms.h"

namespace setup {

// In the order the model list shows them; the list is never sorted.
inline constexpr std::array<const char*, 23> kPrinterModels = {
    "RX-H81", "RX-G72", "RX-H80", "RX-K92", "RX-K91",  "RX-K93",   "RX-K90", "RX-A14",
    "RX-C30", "RX-G71", "RX-A12", "RX-A11", "RT-B21",  "RK-E50",   "RX-G70", "RX-A17",
    "RX-A14X", "RX-A14XX", "RX-A15", "RT-B20", "RX-A10X", "RX-A18", "RX-D40"};

bool isPrinterModel(std::string_view model);

// Every USB printer reports an internal ID; a model owns the eight IDs from
// its base on, and a printer found by the search is named by the model
// chosen and its place in the block ("USB_RX-K92_3" for ID 90).
struct UsbIdBlock {
    DWORD base;
    const char* nameFormat;  // one "%d": the place in the block, from 1
};
inline constexpr DWORD kUsbIdBlockSize = 8;

// None for the models that have no USB interface of their own.
std::optional<UsbIdBlock> usbIdBlockFor(std::string_view model);

// A cash drawer's key is its printer's key name followed by "Drawer".
bool isDrawerKeyName(std::string_view deviceKeyName);

}  // namespace setup
