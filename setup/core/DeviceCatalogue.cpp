#include "setup/core/DeviceCatalogue.h"

#include <utility>

namespace setup {

namespace {

// Several models share a base: they report the same IDs, and only the model
// chosen by the installer tells them apart. RX-A14XX is named like RX-A14X.
constexpr std::pair<const char*, UsbIdBlock> kUsbBlocks[] = {
    {"RX-H81", {0, "USB_RX-H81_%d"}},      {"RX-K92", {88, "USB_RX-K92_%d"}},
    {"RX-G72", {224, "USB_RX-G72_%d"}},    {"RK-E50", {232, "USB_RK-E50_%d"}},
    {"RX-A11", {144, "USB_RX-A11_%d"}},    {"RX-A14", {352, "USB_RX-A14_%d"}},
    {"RX-A15", {352, "USB_RX-A15_%d"}},    {"RX-D40", {352, "USB_RX-D40_%d"}},
    {"RX-A12", {368, "USB_RX-A12_%d"}},    {"RX-K91", {392, "USB_RX-K91_%d"}},
    {"RX-C30", {400, "USB_RX-C30_%d"}},    {"RX-K90", {440, "USB_RX-K90_%d"}},
    {"RX-G71", {496, "USB_RX-G71_%d"}},    {"RX-G70", {496, "USB_RX-G70_%d"}},
    {"RX-A18", {496, "USB_RX-A18_%d"}},    {"RX-A14X", {584, "USB_RX-A14X_%d"}},
    {"RX-A14XX", {584, "USB_RX-A14X_%d"}}, {"RX-A17", {600, "USB_RX-A17_%d"}},
};

}  // namespace

bool isPrinterModel(std::string_view model) {
    for (const char* known : kPrinterModels) {
        if (model == known) {
            return true;
        }
    }
    return false;
}

std::optional<UsbIdBlock> usbIdBlockFor(std::string_view model) {
    for (const auto& [name, block] : kUsbBlocks) {
        if (model == name) {
            return block;
        }
    }
    return std::nullopt;
}

bool isDrawerKeyName(std::string_view deviceKeyName) {
    const std::string_view suffix = kDrawerKeySuffix;
    return deviceKeyName.size() >= suffix.size() && deviceKeyName.substr(deviceKeyName.size() - suffix.size()) == suffix;
}

}  // namespace setup
