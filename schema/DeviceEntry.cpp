#include "schema/DeviceEntry.h"

#include "schema/PortName.h"

namespace schema {

namespace {

constexpr DWORD kPortBufferSize = 255;
constexpr DWORD kUsbPrintNameBufferSize = 20;

bool isUsbPort(const std::string& port) { return portNumber(port, "USB").has_value(); }

// The head shared by printers and drawers: LPTAddress (parallel only), Port,
// the USB identity, then the serial values, which are written for every
// port kind although only serial ports use them.
LONG writeConnectionHead(RegKey& key, const PortSettings& settings) {
    LONG result = platform::ERROR_SUCCESS;
    if (auto address = lptAddressFor(settings.port)) {
        if ((result = key.writeDword(value::LPTAddress, *address)) != platform::ERROR_SUCCESS) {
            return result;
        }
    }
    if ((result = key.writeString(value::Port, settings.port)) != platform::ERROR_SUCCESS) {
        return result;
    }
    if (isUsbPort(settings.port)) {
        if ((result = key.writeDword(value::InternalID, settings.internalId.value_or(0))) !=
                platform::ERROR_SUCCESS ||
            (result = key.writeString(value::USBPrintName, settings.usbPrintName.value_or(""))) !=
                platform::ERROR_SUCCESS) {
            return result;
        }
    }
    const std::pair<const char*, DWORD> numbers[] = {
        {value::Baudrate, settings.baudrate}, {value::StopBit, settings.stopBit},
        {value::Bitlength, settings.bitLength}, {value::Parity, settings.parity},
        {value::Handshake, settings.handshake}, {value::TimeOut, settings.timeOut},
    };
    for (const auto& [name, number] : numbers) {
        if ((result = key.writeDword(name, number)) != platform::ERROR_SUCCESS) {
            return result;
        }
    }
    return result;
}

}  // namespace

std::string drawerKeyName(const std::string& printerKeyName) { return printerKeyName + kDrawerKeySuffix; }

DrawerValues drawerValuesFor(const std::string& printerKeyName, const PortSettings& printer,
                             const std::string& logicalName, DWORD openSingle, DWORD pinSingle) {
    DrawerValues drawer;
    drawer.settings = printer;
    drawer.settings.handshake = HandshakeDtrDsr;
    drawer.openSingle = openSingle;
    drawer.pinSingle = pinSingle;
    drawer.logicalName = logicalName;
    drawer.printerKeyName = printerKeyName;
    return drawer;
}

LONG writePrinterValues(RegKey& key, const PrinterValues& values) {
    LONG result = writeConnectionHead(key, values.settings);
    if (result == platform::ERROR_SUCCESS) result = key.writeString(value::Description, values.description);
    if (result == platform::ERROR_SUCCESS) result = key.writeString(value::LDN, values.logicalName);
    if (result == platform::ERROR_SUCCESS) result = key.writeString(value::Default, kPrinterProgId);
    return result;
}

LONG writeDrawerValues(RegKey& key, const DrawerValues& values) {
    LONG result = writeConnectionHead(key, values.settings);
    if (result == platform::ERROR_SUCCESS) result = key.writeString(value::Description, values.description);
    if (result == platform::ERROR_SUCCESS) result = key.writeDword(value::OpenSingle, values.openSingle);
    if (result == platform::ERROR_SUCCESS) result = key.writeDword(value::PinSingle, values.pinSingle);
    if (result == platform::ERROR_SUCCESS) result = key.writeString(value::LDN, values.logicalName);
    if (result == platform::ERROR_SUCCESS) result = key.writeString(value::Name, values.printerKeyName);
    if (result == platform::ERROR_SUCCESS) result = key.writeString(value::Default, kDrawerProgId);
    return result;
}

LONG writePortSettings(RegKey& key, const PortSettings& settings) {
    LONG result = key.writeString(value::Port, settings.port);
    if (result != platform::ERROR_SUCCESS) {
        return result;
    }
    if (auto address = lptAddressFor(settings.port)) {
        result = key.writeDword(value::LPTAddress, *address);
    } else if (portKindByFirstLetter(settings.port) == PortKind::Serial) {
        result = key.deleteValue(value::LPTAddress);
        if (result == platform::ERROR_FILE_NOT_FOUND) {
            result = platform::ERROR_SUCCESS;  // a port that never was parallel has none
        }
    }
    const std::pair<const char*, DWORD> numbers[] = {
        {value::Baudrate, settings.baudrate}, {value::StopBit, settings.stopBit},
        {value::Bitlength, settings.bitLength}, {value::Parity, settings.parity},
        {value::TimeOut, settings.timeOut}, {value::Handshake, settings.handshake},
    };
    for (const auto& [name, number] : numbers) {
        if (result != platform::ERROR_SUCCESS) {
            break;
        }
        result = key.writeDword(name, number);
    }
    return result;
}

LONG writeDrawerSignals(RegKey& key, DWORD openSingle, DWORD pinSingle) {
    LONG result = key.writeDword(value::OpenSingle, openSingle);
    return result == platform::ERROR_SUCCESS ? key.writeDword(value::PinSingle, pinSingle) : result;
}

LONG readDrawerSignals(const RegKey& key, DWORD* openSingle, DWORD* pinSingle) {
    LONG result = key.readDword(value::OpenSingle, openSingle);
    return result == platform::ERROR_SUCCESS ? key.readDword(value::PinSingle, pinSingle) : result;
}

LONG readPortSettings(const RegKey& key, PortSettings* settings) {
    PortSettings read;
    LONG result = key.readString(value::Port, kPortBufferSize, &read.port);
    if (result != platform::ERROR_SUCCESS) {
        return result;
    }
    const std::pair<const char*, DWORD*> numbers[] = {
        {value::Baudrate, &read.baudrate}, {value::StopBit, &read.stopBit},
        {value::Bitlength, &read.bitLength}, {value::Parity, &read.parity},
        {value::Handshake, &read.handshake}, {value::TimeOut, &read.timeOut},
    };
    for (const auto& [name, number] : numbers) {
        DWORD stored = 0;
        if (key.readDword(name, &stored) == platform::ERROR_SUCCESS) {
            *number = stored;
        }
    }
    if (isUsbPort(read.port)) {
        DWORD id = 0;
        if (key.readDword(value::InternalID, &id) == platform::ERROR_SUCCESS) {
            read.internalId = id;
        }
        std::string name;
        if (key.readString(value::USBPrintName, kUsbPrintNameBufferSize, &name) == platform::ERROR_SUCCESS) {
            read.usbPrintName = name;
        }
    }
    *settings = std::move(read);
    return platform::ERROR_SUCCESS;
}

}  // namespace schema
