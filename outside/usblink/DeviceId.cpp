#include "DeviceId.h"

#include <algorithm>
#include <charconv>

namespace usblink {

namespace {

// The decimal number of `key` in a device ID ("KEY:value;KEY:value;").
std::optional<std::uint32_t> decimalField(std::string_view deviceId, std::string_view key) {
    while (!deviceId.empty()) {
        const std::size_t end = std::min(deviceId.find(';'), deviceId.size());
        std::string_view field = deviceId.substr(0, end);
        deviceId.remove_prefix(std::min(end + 1, deviceId.size()));
        while (!field.empty() && field.front() == ' ') {
            field.remove_prefix(1);
        }
        const std::size_t colon = field.find(':');
        if (colon == std::string_view::npos || field.substr(0, colon) != key) {
            continue;
        }
        const std::string_view digits = field.substr(colon + 1);
        std::uint32_t value = 0;
        auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (error == std::errc() && last == digits.data() + digits.size() && !digits.empty()) {
            return value;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> deviceIdFromReply(std::span<const std::uint8_t> reply) {
    if (reply.size() < 2) {
        return std::nullopt;
    }
    const std::size_t length = std::min<std::size_t>((std::size_t{reply[0]} << 8) | reply[1], reply.size());
    if (length < 2) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(reply.data() + 2), length - 2);
}

std::optional<std::uint32_t> internalIdOf(std::string_view deviceId) {
    if (const auto id = decimalField(deviceId, "IID")) {
        return id;
    }
    return decimalField(deviceId, "SN");
}

std::vector<Attached> identifyPrinters(const std::vector<std::string>& paths, const DeviceIdReader& readDeviceId) {
    std::vector<Attached> printers;
    for (const std::string& path : paths) {
        const auto deviceId = readDeviceId(path);
        if (!deviceId) {
            continue;
        }
        if (const auto id = internalIdOf(*deviceId)) {
            printers.push_back({path, *id});
        }
    }
    return printers;
}

const Attached* printerNumbered(const std::vector<Attached>& printers, std::int32_t number) {
    if (number < 0 || static_cast<std::size_t>(number) >= printers.size()) {
        return nullptr;
    }
    return &printers[static_cast<std::size_t>(number)];
}

const Attached* printerWithId(const std::vector<Attached>& printers, std::uint32_t internalId) {
    const auto found = std::find_if(printers.begin(), printers.end(),
                                    [&](const Attached& printer) { return printer.internalId == internalId; });
    return found == printers.end() ? nullptr : &*found;
}

}  // namespace usblink
