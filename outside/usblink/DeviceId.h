#pragma once
// What usblink learns from a printer's IEEE 1284 device ID, and which of the
// attached printers a caller asks for. No operating-system calls: both
// backends hand their raw answers here.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace usblink {

// The text of a device ID as the printer class drivers deliver it: two
// big-endian length bytes that count themselves, then the text. A length
// beyond the reply is cut to the reply; none when it is below 2.
std::optional<std::string> deviceIdFromReply(std::span<const std::uint8_t> reply);

// The printer's internal ID: key IID in decimal, else key SN when that is a
// decimal number; none when neither is.
std::optional<std::uint32_t> internalIdOf(std::string_view deviceId);

struct Attached {
    std::string path;
    std::uint32_t internalId = 0;
};

// The device ID of a node, or none when it cannot be had.
using DeviceIdReader = std::function<std::optional<std::string>(const std::string& path)>;

// The nodes that name an internal ID, in the order given; the others are
// not printers of the range.
std::vector<Attached> identifyPrinters(const std::vector<std::string>& paths, const DeviceIdReader& readDeviceId);

// The printer numbered `number` from 0, or null.
const Attached* printerNumbered(const std::vector<Attached>& printers, std::int32_t number);

// The first printer with `internalId`, or null.
const Attached* printerWithId(const std::vector<Attached>& printers, std::uint32_t internalId);

}  // namespace usblink
