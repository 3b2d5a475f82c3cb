#include "setup/core/PortSetup.h"

#include <algorithm>
#include <charconv>

#include "MessageTexts.h"
#include "RegistryLists.h"
#include "Text.h"
#include "setup/core/SchemaTerms.h"
#include "setup/core/DeviceTree.h"

namespace setup {

namespace {

constexpr DWORD kHighestPortsNameChars = 30;

template <std::size_t N>
std::optional<DWORD> entryIndex(const std::array<const char*, N>& entries, std::string_view entry) {
    for (std::size_t index = 0; index < N; ++index) {
        if (equalsIgnoringCase(entry, entries[index])) {
            return static_cast<DWORD>(index);
        }
    }
    return std::nullopt;
}

bool isComOrLpt(std::string_view port) { return port.rfind("COM", 0) == 0 || port.rfind("LPT", 0) == 0; }

void appendNumberedPorts(std::vector<std::string>* list) {
    const PortRange range = readPortRange();
    for (DWORD number = 1; number <= range.comMax; ++number) {
        list->push_back(comPortName(static_cast<int>(number)));
    }
    for (DWORD number = 1; number <= range.lptMax; ++number) {
        list->push_back(lptPortName(static_cast<int>(number)));
    }
}

// All the digits after the prefix, as the port range check reads them.
DWORD digitsAfter(std::string_view port, std::string_view prefix) {
    if (port.rfind(prefix, 0) != 0) {
        return 0;
    }
    DWORD number = 0;
    for (char c : port.substr(prefix.size())) {
        if (c < '0' || c > '9') {
            break;
        }
        number = std::min<DWORD>(number * 10 + static_cast<DWORD>(c - '0'), 1000000);
    }
    return number;
}

// The own printers, each with its port read through `portChars`; a printer
// whose key cannot be opened is reported with no port.
struct PrinterPort {
    std::string keyName;
    bool opened = false;
    std::optional<std::string> port;
};

std::optional<std::vector<PrinterPort>> printerPorts(DWORD portChars) {
    RegKey classKey;
    if (!openClassKey(DeviceClass::PosPrinter, &classKey)) {
        return std::nullopt;
    }
    std::vector<PrinterPort> printers;
    for (std::string& name : ownDeviceKeysIn(classKey)) {
        PrinterPort printer{std::move(name), false, std::nullopt};
        RegKey key;
        if (openOwnDeviceKey(DeviceClass::PosPrinter, printer.keyName, &key, platform::KEY_READ)) {
            printer.opened = true;
            printer.port = readPortFor(key, portChars);
        }
        printers.push_back(std::move(printer));
    }
    return printers;
}

Outcome networkConflict(const std::string& deviceKeyName, const std::string& port) {
    return Outcome::refused(fillIn(text::NetworkConflict, {deviceKeyName, port}), MessageIcon::Error);
}

}  // namespace

std::optional<DWORD> flowControlIndex(std::string_view entry) { return entryIndex(kFlowControlEntries, entry); }
std::optional<DWORD> parityIndex(std::string_view entry) { return entryIndex(kParityEntries, entry); }

bool isOfferedBaudrate(DWORD baudrate) {
    return std::find(kBaudRates.begin(), kBaudRates.end(), baudrate) != kBaudRates.end();
}

std::vector<std::string> mainPortList() {
    std::vector<std::string> list;
    appendNumberedPorts(&list);
    return list;
}

std::vector<std::string> addPortList(AddPortOrder order) {
    std::vector<std::string> list{kNoPort};
    appendNumberedPorts(&list);
    if (order == AddPortOrder::Opening) {
        list.insert(list.end(), {kNetChoice, kUsbChoice});
    } else {
        list.insert(list.end(), {kUsbChoice, kNetChoice});
    }
    return list;
}

std::string networkPortText(int a, int b, int c, int d) {
    return "NET" + std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." + std::to_string(d);
}

std::optional<std::string> networkPortText(std::string_view dottedAddress) {
    int parts[4] = {};
    std::string_view rest = dottedAddress;
    for (int index = 0; index < 4; ++index) {
        const std::size_t dot = rest.find('.');
        const std::string_view field = index < 3 ? rest.substr(0, dot) : rest;
        if ((index < 3 && dot == std::string_view::npos) || field.empty() || field.size() > 3) {
            return std::nullopt;
        }
        auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), parts[index]);
        if (error != std::errc() || end != field.data() + field.size() || parts[index] > 255) {
            return std::nullopt;
        }
        rest = index < 3 ? rest.substr(dot + 1) : std::string_view();
    }
    return networkPortText(parts[0], parts[1], parts[2], parts[3]);
}

Outcome checkPortForNewPrinter(const std::string& port) {
    if (!isComOrLpt(port)) {
        return Outcome::done();
    }
    const auto printers = printerPorts(kShortPortChars);
    for (const PrinterPort& printer : printers.value_or(std::vector<PrinterPort>{})) {
        if (!printer.opened) {
            break;  // the original check ends here without a word
        }
        if (printer.port == port) {
            return Outcome::refused(fillIn(text::PortOccupied, {port, printer.keyName}));
        }
    }
    return Outcome::done();
}

Outcome checkNetworkPortForNewPrinter(const std::string& portText) {
    const auto printers = printerPorts(kNetworkPortChars);
    for (const PrinterPort& printer : printers.value_or(std::vector<PrinterPort>{})) {
        if (!printer.opened) {
            return Outcome::refused(text::CannotOpenRegistry, MessageIcon::Error);
        }
        const std::string stored = toUpperAscii(printer.port.value_or(""));
        if (stored.rfind("NET", 0) == 0 && stored == portText) {
            return networkConflict(printer.keyName, stored);
        }
    }
    return Outcome::done();
}

Outcome checkPortChange(const std::string& port) {
    const auto printers = printerPorts(kShortPortChars);
    if (!printers) {
        return Outcome::refused(text::CouldNotModify);
    }
    for (const PrinterPort& printer : *printers) {
        if (printer.port == port) {
            return Outcome::refused(fillIn(text::PortOccupied, {port, printer.keyName}));
        }
    }
    return Outcome::done();
}

Outcome checkNetworkPortChange(const std::string& storedPort, const std::string& portText) {
    const auto printers = printerPorts(kNetworkPortChars);
    for (const PrinterPort& printer : printers.value_or(std::vector<PrinterPort>{})) {
        if (!printer.opened) {
            return Outcome::refused(text::CannotOpenRegistry, MessageIcon::Error);
        }
        const std::string stored = toUpperAscii(printer.port.value_or(""));
        if (stored.rfind("NET", 0) == 0 && !equalsIgnoringCase(stored, storedPort) && stored == portText) {
            return networkConflict(printer.keyName, portText);
        }
    }
    return Outcome::done();
}

Outcome modifyPrinterPort(const std::string& printerKeyName, const PortSettings& settings) {
    PortSettings stored;
    {
        RegKey readKey;
        if (deviceClassOf(printerKeyName) != DeviceClass::PosPrinter ||
            !openOwnDeviceKey(DeviceClass::PosPrinter, printerKeyName, &readKey, platform::KEY_READ) ||
            readPortSettings(readKey, &stored) != platform::ERROR_SUCCESS) {
            return Outcome::refused(fillIn(text::UnknownPrinter, {printerKeyName}));
        }
    }
    if (portKindByFirstLetter(stored.port) == PortKind::Usb) {
        return Outcome::refused(fillIn(text::UsbPortFixed, {printerKeyName}));
    }

    PortSettings written = settings;
    written.stopBit = kStopBit;
    written.bitLength = kBitLength;
    written.timeOut = kTimeOutMs;
    // A network printer is edited through its address field and stays on the
    // network; the others choose from the COM and LPT list.
    if (portKindByFirstLetter(stored.port) == PortKind::Network) {
        const auto address = netAddress(written.port);
        const auto portText = address ? networkPortText(*address) : std::nullopt;
        if (!portText) {
            return Outcome::refused(fillIn(text::PortNotOffered, {written.port}));
        }
        written.port = *portText;
        if (Outcome check = checkNetworkPortChange(stored.port, written.port); !check.success) {
            return check;
        }
    } else if (written.port != stored.port) {
        const std::vector<std::string> offered = mainPortList();
        if (std::find(offered.begin(), offered.end(), written.port) == offered.end()) {
            return Outcome::refused(fillIn(text::PortNotOffered, {written.port}));
        }
        if (Outcome check = checkPortChange(written.port); !check.success) {
            return check;
        }
    }

    const std::optional<std::string> drawer = findDrawerOf(printerKeyName);
    RegKey printerKey;
    if (!openOwnDeviceKey(DeviceClass::PosPrinter, printerKeyName, &printerKey) ||
        writePortSettings(printerKey, written) != platform::ERROR_SUCCESS) {
        return Outcome::refused(text::CouldNotModify);
    }
    if (drawer) {
        RegKey drawerKey;
        if (!openOwnDeviceKey(DeviceClass::CashDrawer, *drawer, &drawerKey) ||
            writePortSettings(drawerKey, written) != platform::ERROR_SUCCESS) {
            return Outcome::refused(text::CouldNotModify);
        }
    }
    return Outcome::done(text::ModifySuccess);
}

Outcome modifyDrawerSignals(const std::string& drawerKeyName, DWORD openSingle, DWORD pinSingle) {
    if (deviceClassOf(drawerKeyName) != DeviceClass::CashDrawer) {
        return Outcome::refused(fillIn(text::UnknownDrawer, {drawerKeyName}));
    }
    const DWORD open = openSingle == OpenSignalHigh ? OpenSignalHigh : OpenSignalLow;
    const DWORD pin = pinSingle == DrawerPin2 ? DrawerPin2 : DrawerPin5;
    RegKey drawerKey;
    if (!openOwnDeviceKey(DeviceClass::CashDrawer, drawerKeyName, &drawerKey) ||
        writeDrawerSignals(drawerKey, open, pin) != platform::ERROR_SUCCESS) {
        return Outcome::refused(text::CouldNotModify);
    }
    return Outcome::done(text::ModifySuccess);
}

HighestPorts highestPortsInUse() {
    HighestPorts highest;
    RegKey classKey;
    if (!openClassKey(DeviceClass::PosPrinter, &classKey)) {
        return highest;
    }
    for (const std::string& name : subkeyNames(classKey, kHighestPortsNameChars)) {
        RegKey key;
        if (name.rfind("RX-", 0) != 0 ||
            key.open(platform::HKLM, deviceKeyPath(kPosPrinterClass, name), platform::KEY_READ) !=
                platform::ERROR_SUCCESS) {
            continue;
        }
        const std::string port = readPortFor(key, kShortPortChars).value_or("");
        highest.com = std::max(highest.com, digitsAfter(port, "COM"));
        highest.lpt = std::max(highest.lpt, digitsAfter(port, "LPT"));
    }
    return highest;
}

}  // namespace setup
