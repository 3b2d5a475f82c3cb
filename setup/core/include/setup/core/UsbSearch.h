#pragma once
// Finding the one USB printer attached, through the maker's USB interface
// library, when a printer is added on the port "USB". The library is
// loaded for each search and each confirmation and unloaded right after;
// it is never kept between operations.
//
// The library's entry points as this search calls them (32-bit handles,
// -1 for none):
//   int OpenDeviceX(int number)            the n-th attached printer (0, 1)
//   unsigned GetPrinterInternalID(int handle)
//   int CloseDevice(int handle)
// OpenDevice, OpenDeviceByName, OpenDeviceByInternalID and uWrite are not
// called but must be exported: a library without them is refused.
#include <string>

#include "setup/core/DeviceCreation.h"
#include "setup/core/Outcome.h"

namespace setup {

// The library as loadLibrary names it: from the standard search path.
inline constexpr const char* kUsbLinkLibrary = "usblink.dll";

// The same library taken from one directory only (tests, a private install).
std::string usbLinkLibraryIn(const std::string& directory);

class UsbSearch {
public:
    // `model`: the printer model chosen in the add dialog; its ID block
    // decides which printer is accepted and how it is named.
    explicit UsbSearch(std::string model, std::string library = kUsbLinkLibrary);

    // Opening the "Add USB Device" dialog: refused with the 8-printer
    // message when eight USB printers are defined already.
    Outcome open();

    // "Search": looks for the printer and, when it belongs to the model,
    // names it (foundName). Refused with the loading, "only one printer" or
    // "not found" message otherwise; the name is then empty.
    Outcome search();
    const std::string& foundName() const { return m_foundName; }

    // "OK": keeps the name and ID found and checks that the printer is still
    // attached; if it is, the "Please Power off and power on the printer"
    // warning and the printer is ready to be written. Without a found name
    // nothing is kept. The dialog closes on success whatever was found.
    Outcome confirm();

    // What the add dialog writes for the port "USB".
    const UsbPrinter& printer() const { return m_printer; }

private:
    std::string m_model;
    std::string m_library;
    std::string m_foundName;
    DWORD m_foundId = 0;
    UsbPrinter m_printer;
};

}  // namespace setup
