// How soon a printer's change reaches the application: from the virtual
// printer changing its state to the control object's StatusUpdate handler.
// Cover open/close on a network, a serial and a USB printer, and drawer
// open/close through the drawer service object on a network printer. Each
// change comes at a random moment of the status thread's cycle. Last, the
// CPU an enabled idle printer and drawer take (whole process, virtual
// printers included).
//
//   bench_status_latency [changes per transport, default 100]
//
// Everything runs in this process; the registry is a file of its own in a
// private temporary folder.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "emulator/NetworkPort.h"
#include "emulator/PtyPort.h"
#include "emulator/UsbNode.h"
#include "emulator/VirtualPrinter.h"
#include "opos/ControlObject.h"
#include "platform/com.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/serial.h"
#include "schema/DeviceEntry.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::LONG;

constexpr std::uint32_t kInternalId = 14;

class PrivateFolder {
public:
    PrivateFolder() {
        std::string base;
        if (platform::tempDirectory(&base) != platform::ERROR_SUCCESS) {
            return;
        }
        std::string folder = base + "bench-status-XXXXXX";
        if (::mkdtemp(folder.data()) != nullptr) {
            m_path = folder;
        }
    }
    ~PrivateFolder() {
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

bool registerModule(const char* path) {
    auto registerServer = platform::getProcAddressAs<platform::DllRegisterServerFunction>(
        platform::loadLibrary(path), platform::kDllRegisterServerExport);
    return registerServer != nullptr && registerServer(path) == platform::S_OK;
}

bool writePrinter(const std::string& keyName, const schema::PortSettings& settings) {
    schema::RegKey key;
    if (key.create(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, keyName)) !=
        platform::ERROR_SUCCESS) {
        return false;
    }
    schema::PrinterValues values;
    values.settings = settings;
    values.logicalName = "bench";
    return schema::writePrinterValues(key, values) == platform::ERROR_SUCCESS;
}

bool writeDrawer(const std::string& keyName, const std::string& printerKey, const schema::PortSettings& settings) {
    schema::RegKey key;
    if (key.create(platform::HKLM, schema::deviceKeyPath(schema::kCashDrawerClass, keyName)) !=
        platform::ERROR_SUCCESS) {
        return false;
    }
    const schema::DrawerValues values =
        schema::drawerValuesFor(printerKey, settings, "bench", schema::OpenSignalLow, schema::DrawerPin2);
    return schema::writeDrawerValues(key, values) == platform::ERROR_SUCCESS;
}

// Stamps each StatusUpdate the handler gets.
class Stamps {
public:
    void arrived(LONG status) {
        std::lock_guard lock(m_mutex);
        m_status = status;
        m_at = Clock::now();
        ++m_count;
        m_changed.notify_all();
    }
    int count() {
        std::lock_guard lock(m_mutex);
        return m_count;
    }
    // The moment the update after `seen` ones carrying `status` arrived, or
    // nothing within 5 s.
    bool waitFor(int seen, LONG status, Clock::time_point* at) {
        std::unique_lock lock(m_mutex);
        const bool came = m_changed.wait_for(lock, std::chrono::seconds(5),
                                             [&] { return m_count > seen && m_status == status; });
        *at = m_at;
        return came;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    LONG m_status = -1;
    Clock::time_point m_at;
    int m_count = 0;
};

void report(const char* what, std::vector<double> times, int missed) {
    if (times.empty()) {
        std::printf("%-10s no update arrived\n", what);
        return;
    }
    std::sort(times.begin(), times.end());
    std::printf("%-10s median %7.2f ms   95th percentile %7.2f ms   max %7.2f ms   (%zu changes, %d missed)\n", what,
                times[times.size() / 2], times[times.size() * 95 / 100], times.back(), times.size(), missed);
}

// `changes` alternate changes of `printer`, each after a random pause of up
// to `spread`; `flip(state, on)` makes one, and `status(on)` is the update
// it must raise.
void measure(const char* what, opos::ControlObject& control, Stamps& stamps, emulator::VirtualPrinter& printer,
             int changes, std::chrono::milliseconds spread, const std::function<void(emulator::PrinterState&, bool)>& flip,
             const std::function<LONG(bool)>& status) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause(0, static_cast<int>(spread.count() * 1000));
    std::vector<double> times;
    int missed = 0;
    for (int i = 0; i < changes; ++i) {
        const bool on = i % 2 == 0;
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        const int seen = stamps.count();
        const auto changed = Clock::now();
        printer.changeState([&](emulator::PrinterState& state) { flip(state, on); });
        Clock::time_point at;
        if (!stamps.waitFor(seen, status(on), &at)) {
            ++missed;
            continue;
        }
        times.push_back(std::chrono::duration<double, std::milli>(at - changed).count());
    }
    report(what, times, missed);
    (void)control;
}

void cover(emulator::PrinterState& state, bool open) { state.coverOpen = open; }
LONG coverStatus(bool open) { return open ? 11 : 12; }

void measurePrinter(const char* what, const std::string& keyName, emulator::VirtualPrinter& printer, int changes) {
    opos::PosPrinter control;
    Stamps stamps;
    control.setEventHandler([&](opos::Event& event) {
        if (event.kind == opos::EventKind::StatusUpdate) {
            stamps.arrived(event.number);
        }
    });
    if (control.open(keyName) != 0 || control.claimDevice(1000) != 0 || control.setDeviceEnabled(true) != 0) {
        std::printf("%-10s cannot open, claim and enable the printer\n", what);
        return;
    }
    measure(what, control, stamps, printer, changes, std::chrono::milliseconds(250), cover, coverStatus);
    control.setEventHandler({});
    control.close();
}

void measureDrawer(const std::string& keyName, emulator::VirtualPrinter& printer, int changes) {
    opos::CashDrawer control;
    Stamps stamps;
    control.setEventHandler([&](opos::Event& event) {
        if (event.kind == opos::EventKind::StatusUpdate) {
            stamps.arrived(event.number);
        }
    });
    if (control.open(keyName) != 0 || control.claimDevice(1000) != 0 || control.setDeviceEnabled(true) != 0) {
        std::printf("drawer     cannot open, claim and enable the drawer\n");
        return;
    }
    // The drawer thread's cycle is a second long.
    measure("drawer", control, stamps, printer, changes, std::chrono::milliseconds(1100),
            [](emulator::PrinterState& state, bool open) { state.drawerOpen = open; },
            [](bool open) { return open ? LONG{1} : LONG{0}; });
    control.setEventHandler({});
    control.close();
}

void measureIdle(const std::string& printerKey, const std::string& drawerKey) {
    opos::PosPrinter printer;
    opos::CashDrawer drawer;
    if (printer.open(printerKey) != 0 || printer.claimDevice(1000) != 0 || printer.setDeviceEnabled(true) != 0 ||
        drawer.open(drawerKey) != 0 || drawer.claimDevice(1000) != 0 || drawer.setDeviceEnabled(true) != 0) {
        std::printf("idle: cannot enable the printer and the drawer\n");
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double wall = 5.0;
    const std::clock_t before = std::clock();
    std::this_thread::sleep_for(std::chrono::duration<double>(wall));
    const double cpu = static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    std::printf("enabled idle network printer and drawer (whole process): %.2f%% of one core over %.0f s\n",
                100.0 * cpu / wall, wall);
    drawer.close();
    printer.close();
}

}  // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::max(2, std::atoi(argv[1])) : 100;
    PrivateFolder folder;
    if (folder.path().empty()) {
        std::printf("no temporary folder\n");
        return 1;
    }
    setenv("CVOPOS_REGISTRY", (folder.path() + "/registry.db").c_str(), 1);
    setenv("CVOPOS_USB_DEVICES", (folder.path() + "/usb/lp*").c_str(), 1);
    if (!registerModule(RECEIPTSO_PATH) || !registerModule(DRAWERSO_PATH)) {
        std::printf("cannot register the service objects\n");
        return 1;
    }

    {
        emulator::VirtualPrinter printer("A14");
        std::unique_ptr<emulator::NetworkPort> network;
        std::random_device seed;
        std::uniform_int_distribution<int> part(1, 254);
        for (int attempt = 0; attempt < 50 && !network; ++attempt) {
            emulator::NetworkPort::Options options;
            options.address = "127." + std::to_string(part(seed)) + "." + std::to_string(part(seed)) + ".1";
            network = emulator::NetworkPort::open(printer, options);
        }
        schema::PortSettings settings;
        settings.port = network ? "NET" + network->address() : "";
        if (!network || !writePrinter("RX-A14", settings) || !writeDrawer("RX-A14Drawer", "RX-A14", settings)) {
            std::printf("cannot set up the network printer\n");
            return 1;
        }
        measurePrinter("network", "RX-A14", printer, changes);
        measureDrawer("RX-A14Drawer", printer, changes);
        measureIdle("RX-A14", "RX-A14Drawer");
    }
    {
        emulator::VirtualPrinter printer("A14");
        std::string error;
        auto line = emulator::PtyPort::open(printer, {folder.path() + "/com3", {}}, &error);
        schema::RegKey key;
        schema::PortSettings settings;
        settings.port = "COM3";
        if (!line || key.create(platform::HKLM, platform::kPortMapKeyPath) != platform::ERROR_SUCCESS ||
            key.writeString("COM3", line->linkPath()) != platform::ERROR_SUCCESS ||
            !writePrinter("RX-A14S", settings)) {
            std::printf("cannot set up the serial printer: %s\n", error.c_str());
            return 1;
        }
        measurePrinter("serial", "RX-A14S", printer, changes);
    }
    {
        emulator::VirtualPrinter printer("A14", kInternalId);
        std::string error;
        auto node = emulator::UsbNode::open(printer, {folder.path() + "/usb", -1, {}}, &error);
        schema::PortSettings settings;
        settings.port = "USB1";
        settings.internalId = kInternalId;
        settings.usbPrintName = "USB_RX-A14_1";
        if (!node || !writePrinter("RX-A14U", settings)) {
            std::printf("cannot set up the USB printer: %s\n", error.c_str());
            return 1;
        }
        measurePrinter("USB", "RX-A14U", printer, changes);
    }
    return 0;
}
