#include "schema/PortName.h"

#include <cctype>
#include <charconv>

#include "schema/RegistrySchema.h"

namespace schema {

namespace {

std::string numbered(const char* prefix, int number) { return prefix + std::to_string(number); }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<int> plainDecimal(std::string_view digits, int highest) {
    if (digits.empty() || digits.size() > 3) {
        return std::nullopt;
    }
    int number = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || number > highest) {
        return std::nullopt;
    }
    return number;
}

}  // namespace

std::string comPortName(int number) { return numbered("COM", number); }
std::string lptPortName(int number) { return numbered("LPT", number); }
std::string usbPortName(int number) { return numbered("USB", number); }

std::string netPortName(std::string_view dottedAddress) {
    std::string name = "NET";
    name += dottedAddress;
    return name;
}

std::optional<DWORD> lptAddressFor(std::string_view portName) {
    // Legacy ISA base addresses of the four parallel ports.
    static constexpr DWORD kAddresses[] = {888, 632, 39936, 46080};
    for (int number = 1; number <= 4; ++number) {
        if (portName == lptPortName(number)) {
            return kAddresses[number - 1];
        }
    }
    return std::nullopt;
}

std::optional<int> portNumber(std::string_view portName, std::string_view prefix) {
    if (portName.size() <= prefix.size() || !equalsIgnoringCase(portName.substr(0, prefix.size()), prefix)) {
        return std::nullopt;
    }
    return plainDecimal(portName.substr(prefix.size()), 999);
}

PortKind portKindForOpen(std::string_view portName) {
    if (portName.empty()) {
        return PortKind::None;
    }
    switch (portName.front()) {
    case 'N':
    case 'n':
        return PortKind::Network;
    case 'U':
    case 'u':
        return PortKind::Usb;
    default:
        break;
    }
    for (DWORD number = 1; number <= kHighestComPort; ++number) {
        if (equalsIgnoringCase(portName, comPortName(static_cast<int>(number)))) {
            return PortKind::Serial;
        }
    }
    for (DWORD number = 1; number <= kHighestLptPort; ++number) {
        if (equalsIgnoringCase(portName, lptPortName(static_cast<int>(number)))) {
            return PortKind::Parallel;
        }
    }
    return PortKind::None;
}

PortKind portKindByFirstLetter(std::string_view portName) {
    switch (portName.empty() ? '\0' : portName.front()) {
    case 'C':
    case 'c':
        return PortKind::Serial;
    case 'L':
    case 'l':
        return PortKind::Parallel;
    case 'U':
    case 'u':
        return PortKind::Usb;
    default:
        return PortKind::Network;
    }
}

std::optional<std::string> netAddress(std::string_view portName) {
    if (portName.size() < 3 || !equalsIgnoringCase(portName.substr(0, 3), "NET")) {
        return std::nullopt;
    }
    std::string_view rest = portName.substr(3);
    std::string_view remaining = rest;
    for (int part = 0; part < 4; ++part) {
        std::size_t dot = remaining.find('.');
        std::string_view field = part < 3 ? remaining.substr(0, dot) : remaining;
        if ((part < 3 && dot == std::string_view::npos) || !plainDecimal(field, 255)) {
            return std::nullopt;
        }
        remaining = part < 3 ? remaining.substr(dot + 1) : std::string_view();
    }
    return std::string(rest);
}

}  // namespace schema
