#include "Commands.h"

#include <charconv>
#include <optional>
#include <string>

#include "platform/threads.h"
#include "setup/core/SchemaTerms.h"
#include "setup/core/DeviceCatalogue.h"
#include "setup/core/DeviceCreation.h"
#include "setup/core/DeviceDeletion.h"
#include "setup/core/ControlObjectHost.h"
#include "setup/core/DeviceTest.h"
#include "setup/core/DeviceTree.h"
#include "setup/core/DriverService.h"
#include "setup/core/PortRangeDialog.h"
#include "setup/core/PortSetup.h"
#include "setup/core/UsbSearch.h"

namespace setup {

namespace {

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kUsageError = 2;

class Session {
public:
    Session(const Command& command, std::ostream& out, std::ostream& err)
        : m_command(command), m_out(out), m_err(err) {}

    int run();

private:
    int list();
    int show();
    int models();
    int ports();
    int addPrinter();
    int addDrawer();
    int addName();
    int remove();
    int setPort();
    int setSignals();
    int portRange();
    int usbSearch();
    int test();
    int startUp();

    // Prints the outcome's message: on standard output when the action was
    // done, on standard error when it was refused.
    bool report(const Outcome& outcome);
    int finish(const Outcome& outcome) { return report(outcome) ? kDone : kRefused; }
    int usageError(const std::string& message);

    std::optional<std::string> option(const char* name) const;
    // Reads the line-setting options over `settings`; false after a usage
    // error was printed.
    bool lineSettings(PortSettings* settings);
    bool drawerSignals(DWORD* openSingle, DWORD* pinSingle);
    std::string usbLibrary() const;

    const Command& m_command;
    std::ostream& m_out;
    std::ostream& m_err;
};

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

std::optional<DWORD> parseNumber(const std::string& text) {
    DWORD number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return number;
}

int Session::run() {
    if (m_command.help) {
        m_out << usageText();
        return kDone;
    }
    if (m_command.name.empty()) {
        return startUp();
    }
    const std::string& name = m_command.name;
    if (name == "list") return list();
    if (name == "show") return show();
    if (name == "models") return models();
    if (name == "ports") return ports();
    if (name == "add-printer") return addPrinter();
    if (name == "add-drawer") return addDrawer();
    if (name == "add-name") return addName();
    if (name == "delete") return remove();
    if (name == "set-port") return setPort();
    if (name == "set-signals") return setSignals();
    if (name == "port-range") return portRange();
    if (name == "usb-search") return usbSearch();
    if (name == "test") return test();
    return usageError("unknown command '" + name + "'");
}

bool Session::report(const Outcome& outcome) {
    if (outcome.hasMessage()) {
        (outcome.success ? m_out : m_err) << outcome.message.text << "\n";
    }
    return outcome.success;
}

int Session::usageError(const std::string& message) {
    m_err << "tillsetup: " << message << "\n";
    return kUsageError;
}

std::optional<std::string> Session::option(const char* name) const {
    const auto found = m_command.options.find(name);
    return found == m_command.options.end() ? std::nullopt : std::optional<std::string>(found->second);
}

bool Session::lineSettings(PortSettings* settings) {
    if (auto baud = option("baud")) {
        const std::optional<DWORD> number = parseNumber(*baud);
        if (!number || !isOfferedBaudrate(*number)) {
            usageError("--baud must be one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200");
            return false;
        }
        settings->baudrate = *number;
    }
    if (auto parity = option("parity")) {
        const std::optional<DWORD> index = parityIndex(*parity);
        if (!index) {
            usageError("--parity must be None, Odd or Even");
            return false;
        }
        settings->parity = *index;
    }
    if (auto flow = option("flow")) {
        const std::optional<DWORD> index = flowControlIndex(*flow);
        if (!index) {
            usageError("--flow must be DTR/DSR, RTS/CTS or XON/XOFF");
            return false;
        }
        settings->handshake = *index;
    }
    return true;
}

bool Session::drawerSignals(DWORD* openSingle, DWORD* pinSingle) {
    if (auto phase = option("open-phase")) {
        if (*phase != "low" && *phase != "Low" && *phase != "high" && *phase != "High") {
            usageError("--open-phase must be low or high");
            return false;
        }
        *openSingle = (*phase == "high" || *phase == "High") ? OpenSignalHigh : OpenSignalLow;
    }
    if (auto pin = option("pin")) {
        if (*pin != "2" && *pin != "5") {
            usageError("--pin must be 2 or 5");
            return false;
        }
        *pinSingle = *pin == "2" ? DrawerPin2 : DrawerPin5;
    }
    return true;
}

std::string Session::usbLibrary() const {
    const std::optional<std::string> directory = option("usblink");
    return directory ? usbLinkLibraryIn(*directory) : std::string(kUsbLinkLibrary);
}

const char* flowControlText(DWORD index) { return index < kFlowControlEntries.size() ? kFlowControlEntries[index] : "?"; }
const char* parityText(DWORD index) { return index < kParityEntries.size() ? kParityEntries[index] : "?"; }

int Session::list() {
    m_out << "Device\n";
    for (DeviceClass deviceClass : {DeviceClass::PosPrinter, DeviceClass::CashDrawer}) {
        m_out << "  " << (deviceClass == DeviceClass::PosPrinter ? "PosPrinter" : "CashDrawer") << "\n";
        for (const std::string& key : ownDeviceKeys(deviceClass)) {
            const std::optional<DeviceView> view = viewDevice(key);
            m_out << "    " << key;
            if (view && view->portRead) {
                m_out << "  " << view->settings.port;
            }
            if (view) {
                m_out << "  (" << joined(view->logicalNames, ", ") << ")";
            }
            m_out << "\n";
        }
    }
    return kDone;
}

int Session::show() {
    const std::optional<DeviceView> view = viewDevice(m_command.argument);
    if (!view) {
        m_err << "'" << m_command.argument << "' is not a device of this setup!\n";
        return kRefused;
    }
    const PortSettings& settings = view->settings;
    m_out << "Device: " << view->keyName << " (" << deviceClassName(view->deviceClass) << ")\n";
    m_out << "LDN: " << joined(view->logicalNames, ", ") << "\n";
    m_out << "Port: " << (view->portRead ? settings.port : "") << "\n";
    m_out << "Bits Per Second: " << settings.baudrate << "\n";
    m_out << "Data Bits: " << settings.bitLength << "\n";
    m_out << "Stop Bits: " << settings.stopBit << "\n";
    m_out << "Flow Control: " << flowControlText(settings.handshake) << "\n";
    m_out << "Parity: " << parityText(settings.parity) << "\n";
    if (settings.internalId) {
        m_out << "InternalID: " << *settings.internalId << "\n";
    }
    if (settings.usbPrintName) {
        m_out << "USBPrintName: " << *settings.usbPrintName << "\n";
    }
    if (view->deviceClass == DeviceClass::CashDrawer) {
        m_out << "Open Status Phase: " << (view->openSingle == OpenSignalHigh ? "High" : "Low") << "\n";
        m_out << "Connector Pin: " << (view->pinSingle == DrawerPin5 ? "5" : "2") << "\n";
    }
    return kDone;
}

int Session::models() {
    for (const char* model : kPrinterModels) {
        m_out << model << "\n";
    }
    return kDone;
}

int Session::ports() {
    m_out << "Port: " << joined(mainPortList(), " ") << "\n";
    m_out << "Selected port: " << joined(addPortList(AddPortOrder::AfterModelChoice), " ") << "\n";
    return kDone;
}

int Session::addPrinter() {
    if (!report(checkAdministrator())) {
        return kRefused;
    }
    NewPrinter printer;
    printer.model = m_command.argument;
    printer.port = option("port").value_or(kNoPort);
    printer.logicalName = option("ldn").value_or("");
    PortSettings line;
    if (!lineSettings(&line)) {
        return kUsageError;
    }
    printer.baudrate = line.baudrate;
    printer.parity = line.parity;
    printer.handshake = line.handshake;
    if (printer.port == kUsbChoice && isPrinterModel(printer.model)) {
        UsbSearch search(printer.model, usbLibrary());
        if (!report(search.open()) || !report(search.search())) {
            return kRefused;
        }
        m_out << "Found " << search.foundName() << "\n";
        if (!report(search.confirm())) {
            return kRefused;
        }
        printer.usb = search.printer();
    }
    const CreatedDevice created = createPrinter(printer);
    if (!report(created)) {
        return kRefused;
    }
    m_out << "Added " << created.deviceKeyName << " on " << created.port << " as '" << created.logicalName << "'\n";
    return kDone;
}

int Session::addDrawer() {
    if (!report(checkAdministrator()) || !report(checkPrinterDefined())) {
        return kRefused;
    }
    DrawerChoice choice = choosePrinterForDrawer(m_command.argument);
    if (!report(choice)) {
        return kRefused;
    }
    NewDrawer drawer = choice.drawer;
    drawer.logicalName = option("ldn").value_or("");
    if (!drawerSignals(&drawer.openSingle, &drawer.pinSingle)) {
        return kUsageError;
    }
    const CreatedDevice created = createDrawer(drawer);
    if (!report(created)) {
        return kRefused;
    }
    m_out << "Added " << created.deviceKeyName << " on " << created.port << " as '" << created.logicalName << "'\n";
    return kDone;
}

int Session::addName() {
    if (!report(checkAdministrator()) || !report(checkPrinterDefined())) {
        return kRefused;
    }
    const CreatedDevice created = addLogicalName(m_command.argument, option("ldn").value_or(""));
    if (!report(created)) {
        return kRefused;
    }
    m_out << "Added '" << created.logicalName << "' to " << created.deviceKeyName << "\n";
    return kDone;
}

int Session::remove() {
    if (!report(checkAdministrator())) {
        return kRefused;
    }
    std::string selected = option("ldn").value_or("");
    if (selected.empty()) {
        if (auto deviceClass = deviceClassOf(m_command.argument)) {
            const std::vector<std::string> names = logicalNames(*deviceClass, m_command.argument);
            selected = names.empty() ? "" : names.front();
        }
    }
    const bool yes = m_command.yes;
    const Outcome outcome = deleteDevice(m_command.argument, selected, [&](const Message& question) {
        m_out << question.text << "\n" << (yes ? "OK" : "Cancel") << "\n";
        return yes;
    });
    if (!outcome.success && !outcome.hasMessage()) {
        m_err << "Nothing deleted.\n";
        return kRefused;
    }
    return finish(outcome);
}

int Session::setPort() {
    if (!report(checkAdministrator())) {
        return kRefused;
    }
    const std::optional<DeviceView> view = viewDevice(m_command.argument);
    PortSettings settings = view && view->portRead ? view->settings : PortSettings{};
    settings.port = option("port").value_or(settings.port);
    if (!lineSettings(&settings)) {
        return kUsageError;
    }
    return finish(modifyPrinterPort(m_command.argument, settings));
}

int Session::setSignals() {
    const std::optional<DeviceView> view = viewDevice(m_command.argument);
    DWORD openSingle = view ? view->openSingle : OpenSignalLow;
    DWORD pinSingle = view ? view->pinSingle : DrawerPin2;
    if (!drawerSignals(&openSingle, &pinSingle)) {
        return kUsageError;
    }
    return finish(modifyDrawerSignals(m_command.argument, openSingle, pinSingle));
}

int Session::portRange() {
    PortRangeDialog dialog;
    const std::optional<std::string> com = option("com");
    const std::optional<std::string> lpt = option("lpt");
    if (!com && !lpt) {
        const HighestPorts inUse = highestPortsInUse();
        m_out << "Maximum COM Ports: " << dialog.comField() << "\n";
        m_out << "Maximum LPT Ports: " << dialog.lptField() << "\n";
        m_out << "Highest COM port in use: " << inUse.com << "\n";
        m_out << "Highest LPT port in use: " << inUse.lpt << "\n";
        return kDone;
    }
    if (!report(checkAdministrator())) {
        return kRefused;
    }
    struct Field {
        const std::optional<std::string>& typed;
        const char* option;
        Outcome (PortRangeDialog::*setDefault)();
        Outcome (PortRangeDialog::*type)(DWORD);
    };
    const Field fields[] = {{com, "--com", &PortRangeDialog::comDefault, &PortRangeDialog::typeCom},
                            {lpt, "--lpt", &PortRangeDialog::lptDefault, &PortRangeDialog::typeLpt}};
    for (const Field& field : fields) {
        if (!field.typed) {
            continue;
        }
        if (*field.typed == "default") {
            if (!report((dialog.*field.setDefault)())) {
                return kRefused;
            }
            continue;
        }
        const std::optional<DWORD> number = parseNumber(*field.typed);
        if (!number) {
            return usageError(std::string(field.option) + " must be a number or 'default'");
        }
        if (!report((dialog.*field.type)(*number))) {
            return kRefused;
        }
    }
    if (!report(dialog.ok())) {
        return kRefused;
    }
    m_out << "Maximum COM Ports: " << dialog.comField() << "\nMaximum LPT Ports: " << dialog.lptField() << "\n";
    return kDone;
}

int Session::usbSearch() {
    UsbSearch search(m_command.argument, usbLibrary());
    if (!report(search.open()) || !report(search.search())) {
        return kRefused;
    }
    m_out << search.foundName() << "\n";
    return kDone;
}

int Session::test() {
    std::string logicalName = option("ldn").value_or("");
    if (logicalName.empty()) {
        if (auto deviceClass = deviceClassOf(m_command.argument)) {
            const std::vector<std::string> names = logicalNames(*deviceClass, m_command.argument);
            logicalName = names.empty() ? "" : names.front();
        }
    }
    ControlObjectHost host;
    return finish(runDeviceTest(host, m_command.argument, logicalName));
}

int Session::startUp() {
    PlatformServiceControl services;
    if (!report(prepareDriverService(services, joined(m_command.raw, " "), platform::sleepMs))) {
        return kRefused;
    }
    // Without a display there is no window to start: show how to use the
    // command line instead.
    m_out << usageText();
    return kDone;
}

}  // namespace

int runCommand(const Command& command, std::ostream& out, std::ostream& err) {
    return Session(command, out, err).run();
}

}  // namespace setup
