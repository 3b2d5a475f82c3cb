#pragma once
// The values of a printer's and a drawer's device key, and the orders in
// which they are written. The order is visible to anyone who lists the key
// (values enumerate in creation order), so it is part of the format.
#include <optional>
#include <string>

#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace schema {

// What a device key says about its connection. A drawer carries its
// printer's settings, because it is driven through the printer's port.
struct PortSettings {
    std::string port;
    DWORD baudrate = 9600;
    DWORD stopBit = kStopBit;
    DWORD bitLength = kBitLength;
    DWORD parity = ParityNone;
    DWORD handshake = HandshakeDtrDsr;
    DWORD timeOut = kTimeOutMs;
    // Only for USB ports: the identity the USB search found.
    std::optional<DWORD> internalId;
    std::optional<std::string> usbPrintName;
};

struct PrinterValues {
    PortSettings settings;
    std::string description = kPrinterDescription;
    std::string logicalName;
};

struct DrawerValues {
    PortSettings settings;
    std::string description = kDrawerDescription;
    DWORD openSingle = OpenSignalLow;
    DWORD pinSingle = DrawerPin2;
    std::string logicalName;
    std::string printerKeyName;
};

// "<printer key name>Drawer"
std::string drawerKeyName(const std::string& printerKeyName);

// A new drawer's values: its printer's settings, except that flow control is
// always DTR/DSR (0) whatever the printer uses.
DrawerValues drawerValuesFor(const std::string& printerKeyName, const PortSettings& printer,
                             const std::string& logicalName, DWORD openSingle, DWORD pinSingle);

// Write every value of a new device key in creation order. The first failing
// write stops the sequence and is returned; earlier values stay written.
LONG writePrinterValues(RegKey& deviceKey, const PrinterValues& values);
LONG writeDrawerValues(RegKey& deviceKey, const DrawerValues& values);

// Rewrites the connection of an existing device key (printer or drawer):
// Port, LPTAddress (written for LPT1-LPT4, deleted for a COM port, left alone
// otherwise), Baudrate, StopBit, Bitlength, Parity, TimeOut, Handshake.
LONG writePortSettings(RegKey& deviceKey, const PortSettings& settings);

// A drawer's own signal settings.
LONG writeDrawerSignals(RegKey& drawerKey, DWORD openSingle, DWORD pinSingle);
LONG readDrawerSignals(const RegKey& drawerKey, DWORD* openSingle, DWORD* pinSingle);

// Reads the connection values the setup tool shows. A missing Port is an
// error; missing numbers keep the defaults of PortSettings; the USB values
// are read only for a USB port (USBPrintName through its 20-byte buffer).
LONG readPortSettings(const RegKey& deviceKey, PortSettings* settings);

}  // namespace schema
