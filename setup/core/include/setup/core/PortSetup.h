#pragma once
// Ports and line settings: the lists the tool offers, the checks that keep
// two printers off one port, and rewriting an existing device's settings.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/core/SchemaTerms.h"
#include "setup/core/Outcome.h"

namespace setup {

// The add dialog's choices besides the numbered ports.
inline constexpr const char* kNoPort = "NONE";
inline constexpr const char* kUsbChoice = "USB";
inline constexpr const char* kNetChoice = "NET";

// Entry texts of the setting lists. Flow control and parity are stored as
// the entry's index; baud rate, data bits and stop bits as the number.
inline constexpr std::array<const char*, 3> kFlowControlEntries = {"DTR/DSR", "RTS/CTS", "XON/XOFF"};
inline constexpr std::array<const char*, 3> kParityEntries = {"None", "Odd", "Even"};

// The index of an entry typed in any case; none when it is not one.
std::optional<DWORD> flowControlIndex(std::string_view entry);
std::optional<DWORD> parityIndex(std::string_view entry);
bool isOfferedBaudrate(DWORD baudrate);

// The main window's "Port:" list: COM1 up to the COM maximum, then LPT1 up
// to the LPT maximum.
std::vector<std::string> mainPortList();

// The add dialog's list: "NONE", the COM and LPT ports, then "NET" and
// "USB" as the dialog opens, "USB" and "NET" once a model was chosen.
enum class AddPortOrder { Opening, AfterModelChoice };
std::vector<std::string> addPortList(AddPortOrder order);

// "NET" followed by the dotted address, from the four fields of an IPv4
// address control.
std::string networkPortText(int a, int b, int c, int d);
// The same text for an address typed as one string; none unless it is four
// numbers 0-255 separated by dots (leading zeros are dropped).
std::optional<std::string> networkPortText(std::string_view dottedAddress);

// A COM or LPT port chosen for a new printer: refused with "%s already
// occupy by %s" when another printer uses it. Other choices pass.
Outcome checkPortForNewPrinter(const std::string& port);

// A network port for a new printer: refused (error icon, the network
// dialog stays open) when another printer has that address.
Outcome checkNetworkPortForNewPrinter(const std::string& portText);

// A printer's port changed to another COM or LPT port in the main window:
// refused when any printer uses it, the selected one included (the front
// end puts the previous choice back).
Outcome checkPortChange(const std::string& port);

// The new address of a network printer, before it is written: another
// printer with that address is a conflict; the printer's own stored port
// is not.
Outcome checkNetworkPortChange(const std::string& storedPort, const std::string& portText);

// "Validate the Port Setting" for a printer: writes Port, LPTAddress (kept,
// written or removed by port kind), the line settings and TimeOut to the
// printer's key and then to its drawer's key. A network port is checked
// first. Only the port, baud rate, parity and flow control of `settings`
// are taken; data bits, stop bits and TimeOut are the fixed values.
Outcome modifyPrinterPort(const std::string& printerKeyName, const PortSettings& settings);

// "Validate the Port Setting" for a drawer: only its two signal settings.
Outcome modifyDrawerSignals(const std::string& drawerKeyName, DWORD openSingle, DWORD pinSingle);

// The highest COM and LPT numbers used by RX- printers (0 for none); other
// families never hold a port range back.
struct HighestPorts {
    DWORD com = 0;
    DWORD lpt = 0;
};
HighestPorts highestPortsInUse();

}  // namespace setup
