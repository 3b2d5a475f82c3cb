#pragma once
// Where the suite keeps its configuration in the registry, and under which
// names. Every deliverable reads and writes by these definitions; none spells
// a key path or value name of its own.
#include <array>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace schema {

using platform::DWORD;

// The OPOS service registry: one class key per device class, holding one
// device key per device and one LDN value per logical device name.
inline constexpr const char* kServiceOposPath = "SOFTWARE\\OLEforRetail\\ServiceOPOS";
inline constexpr const char* kPosPrinterClass = "POSPrinter";
inline constexpr const char* kCashDrawerClass = "CashDrawer";

enum class DeviceClass { PosPrinter, CashDrawer };

const char* deviceClassName(DeviceClass deviceClass);

// "SOFTWARE\OLEforRetail\ServiceOPOS\<class>"
std::string classKeyPath(std::string_view className);
std::string classKeyPath(DeviceClass deviceClass);
// "SOFTWARE\OLEforRetail\ServiceOPOS\<class>\<device key name>"
std::string deviceKeyPath(std::string_view className, std::string_view deviceName);

// Value names of a device key. The port library asks for "BitLength" and
// "HandShake" while the setup tool writes "Bitlength" and "Handshake"; the
// registry compares names without regard to case, so both meet.
namespace value {
inline constexpr const char* Port = "Port";
inline constexpr const char* Baudrate = "Baudrate";
inline constexpr const char* StopBit = "StopBit";
inline constexpr const char* Bitlength = "Bitlength";
inline constexpr const char* BitLengthAsRead = "BitLength";
inline constexpr const char* Parity = "Parity";
inline constexpr const char* Handshake = "Handshake";
inline constexpr const char* HandShakeAsRead = "HandShake";
inline constexpr const char* TimeOut = "TimeOut";
inline constexpr const char* LPTAddress = "LPTAddress";
inline constexpr const char* InternalID = "InternalID";
inline constexpr const char* USBPrintName = "USBPrintName";
inline constexpr const char* Description = "Description";
inline constexpr const char* LDN = "LDN";
inline constexpr const char* OpenSingle = "OpenSingle";
inline constexpr const char* PinSingle = "PinSingle";
inline constexpr const char* Name = "Name";
inline constexpr const char* Default = "";  // the key's (default) value
}  // namespace value

inline constexpr const char* kPrinterProgId = "SOCorvane.posprinter.1";
inline constexpr const char* kDrawerProgId = "SOCorvaneCash.SOCvCash.1";
inline constexpr const char* kPrinterDescription = "Corvane OPOS POSPrinter Service Object";
inline constexpr const char* kDrawerDescription = "Corvane OPOS CashDrawer Service Object";
// A drawer's device key is its printer's key name with this suffix.
inline constexpr const char* kDrawerKeySuffix = "Drawer";

// Values the setup tool offers; the port library reads what is stored.
inline constexpr std::array<DWORD, 8> kBaudRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
inline constexpr DWORD kStopBit = 1;
inline constexpr DWORD kBitLength = 8;
inline constexpr DWORD kTimeOutMs = 5000;
enum Parity : DWORD { ParityNone = 0, ParityOdd = 1, ParityEven = 2 };
enum Handshake : DWORD { HandshakeDtrDsr = 0, HandshakeRtsCts = 1, HandshakeXonXoff = 2 };
enum DrawerOpenSignal : DWORD { OpenSignalLow = 0, OpenSignalHigh = 1 };
enum DrawerPin : DWORD { DrawerPin2 = 0, DrawerPin5 = 1 };

// Logical device names are stored lower-cased and are at most this long.
inline constexpr std::size_t kMaxLogicalNameLength = 15;

// The OPOS service-information key, parent of the port range key.
inline constexpr const char* kServiceInfoPath = "SOFTWARE\\OLEforRetail\\ServiceInfo";

// Port range key: the highest COM and LPT numbers the setup tool offers.
inline constexpr const char* kPortRangePath = "SOFTWARE\\OLEforRetail\\ServiceInfo\\Corvane OPOS ADK";
inline constexpr const char* kComMaxValue = "COMMAX";
inline constexpr const char* kLptMaxValue = "LPTMAX";
inline constexpr DWORD kDefaultComMax = 4;
inline constexpr DWORD kDefaultLptMax = 2;
inline constexpr DWORD kHighestComPort = 40;
inline constexpr DWORD kHighestLptPort = 4;

// Written by the installer; only the cleaner removes the product key.
inline constexpr const char* kVendorKeyPath = "SOFTWARE\\Tessel";
inline constexpr const char* kProductKeyName = "CVOPOS";
inline constexpr const char* kProductKeyPath = "SOFTWARE\\Tessel\\CVOPOS";
inline constexpr const char* kProductVersion = "2.30.000";
inline constexpr const char* kUninstallKeyPath =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\CVOPOS_is1";
inline constexpr const char* kUninstallStringValue = "UninstallString";

// Model family prefixes; a device key is one of the suite's own only when it
// begins with the first two characters of one of them. Other makers' devices
// share the class keys and must never be touched.
inline constexpr std::array<const char*, 3> kModelFamilyPrefixes = {"RX-", "RT-", "RK-"};
bool isOwnDeviceName(std::string_view deviceKeyName);

}  // namespace schema
