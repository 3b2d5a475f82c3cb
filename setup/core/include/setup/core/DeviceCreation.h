#pragma once
// Adding devices: a printer, the cash drawer driven through a printer, and
// a further logical device name for an existing device. Each call runs the
// add dialog's OK checks in their fixed order and stops at the first that
// fails, with its message. A failure after the device key was created
// leaves what was written in place (nothing is rolled back) and says so.
#include <string>

#include "setup/core/SchemaTerms.h"
#include "setup/core/Outcome.h"
#include "setup/core/PortSetup.h"

namespace setup {

// What the USB search found and confirmed (see UsbSearch).
struct UsbPrinter {
    std::string name;
    DWORD internalId = 0;
    bool ready = false;  // the confirmation found the printer attached
};

struct NewPrinter {
    std::string model;         // one of kPrinterModels
    std::string port = kNoPort;  // "NONE", COMn, LPTn, "USB" or "NET<address>"
    std::string logicalName;   // as typed; stored lower-cased
    DWORD baudrate = 9600;
    DWORD parity = ParityNone;
    DWORD handshake = HandshakeDtrDsr;
    UsbPrinter usb;            // for the port "USB"
};

struct CreatedDevice : Outcome {
    std::string deviceKeyName;  // "RX-K92_2", "RX-K92Drawer"
    std::string logicalName;    // lower-cased
    std::string port;           // as stored ("USB2" for the choice "USB")
};

CreatedDevice createPrinter(const NewPrinter& printer);

// A drawer about to be added: the printer chosen and the settings it takes
// over from that printer.
struct NewDrawer {
    std::string printerKeyName;  // empty: nothing chosen ("NONE")
    PortSettings settings;       // the printer's, flow control DTR/DSR
    DWORD openSingle = OpenSignalLow;
    DWORD pinSingle = DrawerPin2;
    std::string logicalName;
};

struct DrawerChoice : Outcome {
    NewDrawer drawer;
};

// Choosing a printer in drawer mode: refused with "%s already has a
// cashDrawer of %s" when the printer has one (the choice goes back to
// "NONE"); otherwise the printer's settings to show and copy.
DrawerChoice choosePrinterForDrawer(const std::string& printerKeyName);

CreatedDevice createDrawer(const NewDrawer& drawer);

// Adds `logicalName` to an existing own device of the class.
CreatedDevice addLogicalName(DeviceClass deviceClass, const std::string& deviceKeyName,
                             const std::string& logicalName);

// The same for a device named by its key alone, printer or drawer.
CreatedDevice addLogicalName(const std::string& deviceKeyName, const std::string& logicalName);

// "Please,add printer!" when no printer is defined: a drawer or a further
// name needs one.
Outcome checkPrinterDefined();

}  // namespace setup
