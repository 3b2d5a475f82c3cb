// Whether every byte WritePort accepted reaches a slow printer:
// - network: a printer that reads 4 KB every 20 ms, sends automatic status
//   on the data connection and answers status requests 300 ms late, while
//   a status reader polls it during the job; then ClosePort;
// - USB: a printer that takes 1 KB every 20 ms and pauses 800 ms after
//   40 KB, written to after it was pulled, plugged back and reopened.
// For each: bytes accepted by WritePort, bytes received at the printer, in
// order or not, and how long the job and the close took.
//
//   bench_slow_peers [network kilobytes, default 400] [USB kilobytes, default 96]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/module.h"
#include "platform/paths.h"
#include "portlink/portlink.h"
#include "schema/DeviceEntry.h"
#include "support/FakeNetPrinter.h"
#include "support/FakePtyPrinter.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Bytes numberedJob(std::size_t size) {
    Bytes job(size);
    for (std::size_t i = 0; i < size; ++i) {
        job[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return job;
}

bool writeDevice(const std::string& name, const std::string& port, std::uint32_t internalId = 0) {
    schema::RegKey key;
    if (key.create(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, name)) != 0) {
        return false;
    }
    schema::PrinterValues values;
    values.settings.port = port;
    values.settings.timeOut = 5000;
    values.settings.internalId = internalId;
    values.logicalName = "bench";
    return schema::writePrinterValues(key, values) == 0;
}

void report(const char* peer, std::size_t accepted, const Bytes& received, const Bytes& job, double writeMs,
            double closeMs) {
    // The USB printer also received the status requests sent before the job.
    const bool inOrder = received.size() >= job.size() &&
                         std::equal(job.begin(), job.end(), received.end() - static_cast<std::ptrdiff_t>(job.size()));
    std::printf("%s: WritePort accepted %zu bytes, the printer received %zu job bytes (%s); write %.0f ms, "
                "close %.0f ms\n",
                peer, accepted, inOrder ? job.size() : std::min(received.size(), job.size()),
                inOrder ? "all, in order" : "NOT all in order", writeMs, closeMs);
}

void measureNetwork(std::size_t kilobytes) {
    testsupport::FakeNetPrinter printer;
    printer.setPace(4096, 20ms);
    printer.setAnswerDelay(300ms);
    int32_t kind = 0, index = -1, step = 0, sysError = 0;
    if (!writeDevice("RX-A14Net", printer.portValue()) ||
        OpenPort("POSPrinter", "RX-A14Net", &kind, &index, 0, &step, &sysError) == -1) {
        std::printf("network: cannot open the port (%d %d)\n", step, sysError);
        return;
    }
    const Bytes job = numberedJob(kilobytes * 1024);
    std::atomic<bool> writing{true};
    // The status thread: polls every 100 ms and gets no answer in time.
    std::thread status([&] {
        while (writing) {
            printer.sendAutomaticStatus();
            std::uint8_t block[4];
            int32_t readStep = 0, readError = 0;
            ReadPort(index, 1, block, 4, 100, 0, &readStep, &readError);
            std::this_thread::sleep_for(100ms);
        }
    });
    const auto start = Clock::now();
    const int32_t written =
        WritePort(index, 1, job.data(), static_cast<int32_t>(job.size()), 0, 0, &step, &sysError);
    const double writeMs = millisecondsSince(start);
    writing = false;
    status.join();
    const auto closing = Clock::now();
    ClosePort(index, 1, 0, &step, &sysError);
    const double closeMs = millisecondsSince(closing);
    printer.waitForReceived(job.size(), 10s);
    report("network", written == 1 ? job.size() : 0, printer.received(), job, writeMs, closeMs);
}

void measureUsb(std::size_t kilobytes, const std::string& folder) {
    if (platform::loadLibrary(CVOPOS_USBLINK_PATH) == nullptr) {
        std::printf("USB: cannot load usblink\n");
        return;
    }
    setenv("CVOPOS_USB_DEVICES", (folder + "/lp*").c_str(), 1);
    testsupport::FakePtyPrinter::Options options;
    options.linkPath = folder + "/lp0";
    options.deviceId = "MFG:Corvane;MDL:RX-A14;CMD:ESC/POS;CLS:PRINTER;IID:90;";
    options.paceBytes = 1024;
    options.paceInterval = 20ms;
    options.pauseAfter = 40 * 1024;
    options.pauseFor = 800ms;
    testsupport::FakePtyPrinter printer(options);
    int32_t kind = 0, index = -1, step = 0, sysError = 0;
    if (!writeDevice("RX-A14Usb", "USB1", 90) ||
        OpenPort("POSPrinter", "RX-A14Usb", &kind, &index, 0, &step, &sysError) == -1) {
        std::printf("USB: cannot open the port (%d %d)\n", step, sysError);
        return;
    }
    std::uint8_t block[4];
    printer.unplug();
    ReadPort(index, 1, block, 4, 100, 0, &step, &sysError);
    printer.plug();
    if (ReadPort(index, 1, block, 4, 100, 0, &step, &sysError) != 1) {
        std::printf("USB: the device was not reopened (%d %d)\n", step, sysError);
    }
    const Bytes job = numberedJob(kilobytes * 1024);
    const auto start = Clock::now();
    const int32_t written =
        WritePort(index, 1, job.data(), static_cast<int32_t>(job.size()), 0, 0, &step, &sysError);
    const double writeMs = millisecondsSince(start);
    const auto closing = Clock::now();
    ClosePort(index, 1, 0, &step, &sysError);
    const double closeMs = millisecondsSince(closing);
    printer.waitForReceived(job.size(), 10s);
    report("USB after a reopen", written == 1 ? job.size() : 0, printer.received(), job, writeMs, closeMs);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t networkKilobytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 400;
    const std::size_t usbKilobytes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 96;
    std::string base;
    if (platform::tempDirectory(&base) != platform::ERROR_SUCCESS) {
        std::printf("no temporary folder\n");
        return 1;
    }
    std::string folder = base + "bench-slow-peers-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        std::printf("no temporary folder\n");
        return 1;
    }
    setenv("CVOPOS_REGISTRY", (folder + "/registry.db").c_str(), 1);
    measureNetwork(networkKilobytes);
    measureUsb(usbKilobytes, folder);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
