#pragma once
// The forms of the `Port` value: "COM%d", "LPT%d", "USB%d" and
// "NET%d.%d.%d.%d", and the two ways the port library classifies a name.
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace schema {

using platform::DWORD;

enum class PortKind : int { None = 0, Serial = 1, Parallel = 2, Usb = 3, Network = 4 };

std::string comPortName(int number);
std::string lptPortName(int number);
std::string usbPortName(int number);
// "NET" followed directly by the dotted address text.
std::string netPortName(std::string_view dottedAddress);

// The I/O base address stored as LPTAddress for LPT1-LPT4; none otherwise.
std::optional<DWORD> lptAddressFor(std::string_view portName);

// How the port library opens a device: 'N'/'n' network, 'U'/'u' USB, else the
// upper-cased name must be exactly one of COM1-COM40 or LPT1-LPT4.
PortKind portKindForOpen(std::string_view portName);

// How the port library reports a device's port kind: 'C'/'c' serial,
// 'L'/'l' parallel, 'U'/'u' USB, anything else network.
PortKind portKindByFirstLetter(std::string_view portName);

// The number in "COM%d"/"LPT%d"/"USB%d" (prefix compared without case), or
// none when the rest is not a plain decimal number.
std::optional<int> portNumber(std::string_view portName, std::string_view prefix);

// The dotted IPv4 address after "NET", when it is one (four numbers 0-255).
std::optional<std::string> netAddress(std::string_view portName);

}  // namespace schema
