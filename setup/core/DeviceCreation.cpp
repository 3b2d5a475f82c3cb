#include "setup/core/DeviceCreation.h"

#include <algorithm>
#include <functional>

#include "MessageTexts.h"
#include "RegistryLists.h"
#include "Text.h"
#include "UsbPorts.h"
#include "setup/core/SchemaTerms.h"
#include "setup/core/DeviceCatalogue.h"
#include "setup/core/DeviceTree.h"

namespace setup {

namespace {

CreatedDevice refusedWith(std::string text, MessageIcon icon = MessageIcon::None) {
    CreatedDevice created;
    static_cast<Outcome&>(created) = Outcome::refused(std::move(text), icon);
    return created;
}

// The name checks every mode makes first, in the dialog's order.
std::optional<CreatedDevice> checkTypedName(const std::string& logicalName) {
    if (logicalName.empty()) {
        return refusedWith(text::InputName);
    }
    if (logicalName.size() > kMaxLogicalNameLength) {
        return refusedWith(fillIn(text::NameTooLong, {logicalName}));
    }
    return std::nullopt;
}

// The key name for a new printer of the model: the model itself, or the
// first free "<model>_<n>" from 2 on. Registry names ignore case, so a key
// differing only in case is taken as well.
std::string freeDeviceKeyName(const RegKey& classKey, const std::string& model) {
    const std::vector<std::string> existing = subkeyNames(classKey);
    std::string candidate = model;
    for (int counter = 2;; ++counter) {
        const bool taken = std::any_of(existing.begin(), existing.end(),
                                       [&](const std::string& name) { return equalsIgnoringCase(name, candidate); });
        if (!taken) {
            return candidate;
        }
        candidate = model + "_" + std::to_string(counter);
    }
}

// The port as it will be stored, when the choice is one the add dialog
// offers: a listed COM or LPT port, "USB", or a network address.
std::optional<std::string> offeredPort(const std::string& port) {
    if (port == kUsbChoice) {
        return port;
    }
    if (auto address = netAddress(port)) {
        return networkPortText(*address);
    }
    const std::vector<std::string> offered = addPortList(AddPortOrder::AfterModelChoice);
    if (port != kNetChoice && std::find(offered.begin(), offered.end(), port) != offered.end()) {
        return port;
    }
    return std::nullopt;
}

bool keyExists(const RegKey& classKey, const std::string& name) {
    const std::vector<std::string> existing = subkeyNames(classKey);
    return std::any_of(existing.begin(), existing.end(),
                       [&](const std::string& key) { return equalsIgnoringCase(key, name); });
}

// Steps shared by printers and drawers once the checks of their own have
// passed: class key, name, device key, LDN value. On success `deviceKey`
// is open on the new key, ready for its values.
struct Registration {
    const char* failText;
    DeviceClass deviceClass;
    std::string lowerName;
    std::function<std::string(const RegKey& classKey)> keyNameFor;
};

std::optional<CreatedDevice> registerDevice(const Registration& how, std::string* deviceKeyName,
                                            RegKey* deviceKey) {
    RegKey classKey;
    if (classKey.create(platform::HKLM, classKeyPath(how.deviceClass)) != platform::ERROR_SUCCESS) {
        return refusedWith(how.failText);
    }
    if (logicalNameTaken(classKey, how.lowerName)) {
        return refusedWith(fillIn(text::NameOccupied, {how.lowerName}));
    }
    *deviceKeyName = how.keyNameFor(classKey);
    const std::string path = deviceKeyPath(deviceClassName(how.deviceClass), *deviceKeyName);
    RegKey created;
    if (created.create(platform::HKLM, path) != platform::ERROR_SUCCESS) {
        return refusedWith(how.failText);
    }
    created.close();
    if (classKey.writeString(how.lowerName.c_str(), *deviceKeyName) != platform::ERROR_SUCCESS) {
        return refusedWith(how.failText);
    }
    if (deviceKey->open(platform::HKLM, path) != platform::ERROR_SUCCESS) {
        return refusedWith(text::WriteInformationFail);
    }
    return std::nullopt;
}

CreatedDevice createdDevice(std::string keyName, std::string logicalName, std::string port) {
    CreatedDevice created;
    created.success = true;
    created.deviceKeyName = std::move(keyName);
    created.logicalName = std::move(logicalName);
    created.port = std::move(port);
    return created;
}

}  // namespace

CreatedDevice createPrinter(const NewPrinter& printer) {
    if (!isPrinterModel(printer.model)) {
        return refusedWith(fillIn(text::UnknownModel, {printer.model}));
    }
    if (printer.port.empty() || printer.port == kNoPort) {
        return refusedWith(text::SelectPort);
    }
    std::optional<std::string> port = offeredPort(printer.port);
    if (!port) {
        return refusedWith(fillIn(text::PortNotOffered, {printer.port}));
    }
    // The window checks the port when it is chosen, before OK; a command
    // line chooses it together with everything else.
    const Outcome portCheck = port->rfind("NET", 0) == 0 ? checkNetworkPortForNewPrinter(*port)
                                                         : checkPortForNewPrinter(*port);
    if (!portCheck.success) {
        CreatedDevice refused;
        static_cast<Outcome&>(refused) = portCheck;
        return refused;
    }
    if (auto refused = checkTypedName(printer.logicalName)) {
        return *refused;
    }
    if (*port == kUsbChoice) {
        const std::optional<int> number = printer.usb.ready ? nextUsbPortNumber() : std::nullopt;
        if (!number) {
            return refusedWith(text::InstallPrinterFail);
        }
        port = usbPortName(*number);
    }

    const Registration how{text::InstallPrinterFail, DeviceClass::PosPrinter, toLowerAscii(printer.logicalName),
                           [&](const RegKey& classKey) { return freeDeviceKeyName(classKey, printer.model); }};
    std::string keyName;
    RegKey deviceKey;
    if (auto refused = registerDevice(how, &keyName, &deviceKey)) {
        return *refused;
    }

    PrinterValues values;
    values.settings.port = *port;
    values.settings.baudrate = printer.baudrate;
    values.settings.parity = printer.parity;
    values.settings.handshake = printer.handshake;
    if (portKindByFirstLetter(*port) == PortKind::Usb) {
        values.settings.internalId = printer.usb.internalId;
        values.settings.usbPrintName = printer.usb.name;
    }
    values.logicalName = how.lowerName;
    if (writePrinterValues(deviceKey, values) != platform::ERROR_SUCCESS) {
        return refusedWith(text::WriteInformationFail);
    }
    return createdDevice(keyName, how.lowerName, *port);
}

DrawerChoice choosePrinterForDrawer(const std::string& printerKeyName) {
    DrawerChoice choice;
    if (printerKeyName.empty() || printerKeyName == kNoPort) {
        static_cast<Outcome&>(choice) = Outcome::refused(text::SelectPrinter);
        return choice;
    }
    if (deviceClassOf(printerKeyName) != DeviceClass::PosPrinter) {
        static_cast<Outcome&>(choice) = Outcome::refused(fillIn(text::UnknownPrinter, {printerKeyName}));
        return choice;
    }
    const std::string drawerName = drawerKeyName(printerKeyName);
    RegKey drawerClass;
    if (drawerClass.create(platform::HKLM, classKeyPath(DeviceClass::CashDrawer)) != platform::ERROR_SUCCESS) {
        openClassKey(DeviceClass::CashDrawer, &drawerClass);
    }
    if (drawerClass.isOpen() && keyExists(drawerClass, drawerName)) {
        static_cast<Outcome&>(choice) =
            Outcome::refused(fillIn(text::HasDrawer, {printerKeyName, drawerName}));
        return choice;
    }
    RegKey printerKey;
    PortSettings printer;
    if (!openOwnDeviceKey(DeviceClass::PosPrinter, printerKeyName, &printerKey, platform::KEY_READ) ||
        readPortSettings(printerKey, &printer) != platform::ERROR_SUCCESS) {
        static_cast<Outcome&>(choice) = Outcome::refused(text::InstallDrawerFail);
        return choice;
    }
    // The drawer is driven through the printer's connection: same port and
    // line, but the first entries of data bits, stop bits and flow control.
    NewDrawer& drawer = choice.drawer;
    drawer.printerKeyName = printerKeyName;
    drawer.settings = printer;
    drawer.settings.bitLength = kBitLength;
    drawer.settings.stopBit = kStopBit;
    drawer.settings.handshake = HandshakeDtrDsr;
    drawer.settings.timeOut = kTimeOutMs;
    DWORD stored = 0;
    if (printerKey.readDword(value::OpenSingle, &stored) == platform::ERROR_SUCCESS) {
        drawer.openSingle = stored == OpenSignalHigh ? OpenSignalHigh : OpenSignalLow;
    }
    if (printerKey.readDword(value::PinSingle, &stored) == platform::ERROR_SUCCESS) {
        drawer.pinSingle = stored == DrawerPin5 ? DrawerPin5 : DrawerPin2;
    }
    choice.success = true;
    return choice;
}

CreatedDevice createDrawer(const NewDrawer& drawer) {
    if (drawer.printerKeyName.empty() || drawer.printerKeyName == kNoPort) {
        return refusedWith(text::SelectPrinter);
    }
    if (auto refused = checkTypedName(drawer.logicalName)) {
        return *refused;
    }
    std::string keyName = drawerKeyName(drawer.printerKeyName);
    {
        // Checked when the printer was chosen; checked again because a drawer
        // written over an existing one would leave two sets of names on it.
        RegKey drawerClass;
        if (openClassKey(DeviceClass::CashDrawer, &drawerClass) && keyExists(drawerClass, keyName)) {
            return refusedWith(fillIn(text::HasDrawer, {drawer.printerKeyName, keyName}));
        }
    }
    const Registration how{text::InstallDrawerFail, DeviceClass::CashDrawer, toLowerAscii(drawer.logicalName),
                           [&](const RegKey&) { return keyName; }};
    RegKey deviceKey;
    if (auto refused = registerDevice(how, &keyName, &deviceKey)) {
        return *refused;
    }
    const DWORD openSingle = drawer.openSingle == OpenSignalHigh ? OpenSignalHigh : OpenSignalLow;
    const DWORD pinSingle = drawer.pinSingle == DrawerPin2 ? DrawerPin2 : DrawerPin5;
    const DrawerValues values =
        drawerValuesFor(drawer.printerKeyName, drawer.settings, how.lowerName, openSingle, pinSingle);
    if (writeDrawerValues(deviceKey, values) != platform::ERROR_SUCCESS) {
        return refusedWith(text::WriteInformationFail);
    }
    return createdDevice(keyName, how.lowerName, drawer.settings.port);
}

CreatedDevice addLogicalName(DeviceClass deviceClass, const std::string& deviceKeyName,
                             const std::string& logicalName) {
    if (deviceKeyName.empty() || deviceKeyName == kNoPort) {
        return refusedWith(text::SelectPrinter);
    }
    if (auto refused = checkTypedName(logicalName)) {
        return *refused;
    }
    const std::string lowerName = toLowerAscii(logicalName);
    RegKey classKey;
    if (classKey.create(platform::HKLM, classKeyPath(deviceClass)) != platform::ERROR_SUCCESS) {
        return refusedWith(text::InstallDrawerFail);
    }
    if (logicalNameTaken(classKey, lowerName)) {
        return refusedWith(fillIn(text::NameOccupied, {lowerName}));
    }
    RegKey deviceKey;
    if (!openOwnDeviceKey(deviceClass, deviceKeyName, &deviceKey, platform::KEY_READ)) {
        return refusedWith(text::InstallDeviceFail);
    }
    if (classKey.writeString(lowerName.c_str(), deviceKeyName) != platform::ERROR_SUCCESS) {
        return refusedWith(text::InstallDeviceFail);
    }
    return createdDevice(deviceKeyName, lowerName, {});
}

CreatedDevice addLogicalName(const std::string& deviceKeyName, const std::string& logicalName) {
    if (deviceKeyName.empty() || deviceKeyName == kNoPort) {
        return refusedWith(text::SelectPrinter);
    }
    const std::optional<DeviceClass> deviceClass = deviceClassOf(deviceKeyName);
    if (!deviceClass) {
        return refusedWith(fillIn(text::UnknownDevice, {deviceKeyName}));
    }
    return addLogicalName(*deviceClass, deviceKeyName, logicalName);
}

Outcome checkPrinterDefined() {
    return ownDeviceKeys(DeviceClass::PosPrinter).empty() ? Outcome::refused(text::AddPrinterFirst)
                                                          : Outcome::done();
}

}  // namespace setup
