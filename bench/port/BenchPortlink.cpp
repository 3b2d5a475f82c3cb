// WritePort throughput to a network virtual printer on the loopback
// interface, in 1 KB and 64 KB blocks, and how long ReadPort takes to fetch
// the status block over the status connection.
//
//   bench_portlink [megabytes per block size, default 32]
//
// The device entry lives in a registry file of its own, in a private
// temporary folder that is removed at the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "emulator/NetworkPort.h"
#include "emulator/VirtualPrinter.h"
#include "platform/paths.h"
#include "portlink/portlink.h"
#include "schema/DeviceEntry.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Receipt-like text: 48-column lines, as a receipt printer gets them.
Bytes textBlock(std::size_t size) {
    Bytes block(size);
    for (std::size_t i = 0; i < size; ++i) {
        block[i] = (i % 48 == 47) ? '\n' : static_cast<std::uint8_t>('A' + i % 26);
    }
    return block;
}

std::unique_ptr<emulator::NetworkPort> openPrinter(emulator::VirtualPrinter& printer) {
    std::random_device seed;
    std::uniform_int_distribution<int> part(1, 254);
    for (int attempt = 0; attempt < 50; ++attempt) {
        emulator::NetworkPort::Options options;
        options.address = "127." + std::to_string(part(seed)) + "." + std::to_string(part(seed)) + ".1";
        if (auto port = emulator::NetworkPort::open(printer, options)) {
            return port;
        }
    }
    return nullptr;
}

bool writeDevice(const std::string& portValue) {
    schema::RegKey key;
    if (key.create(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, "RX-K92")) != 0) {
        return false;
    }
    schema::PrinterValues values;
    values.settings.port = portValue;
    values.logicalName = "bench";
    return schema::writePrinterValues(key, values) == 0;
}

void measureWrites(int32_t index, emulator::VirtualPrinter& printer, std::size_t blockSize, std::size_t megabytes) {
    const Bytes block = textBlock(blockSize);
    const std::size_t blocks = megabytes * 1024 * 1024 / blockSize;
    printer.clearOutput();
    int32_t step = 0;
    int32_t sysError = 0;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < blocks; ++i) {
        if (WritePort(index, 1, block.data(), static_cast<int32_t>(block.size()), 0, 0, &step, &sysError) != 1) {
            std::printf("WritePort failed: %d %d\n", step, sysError);
            return;
        }
    }
    const double sent = secondsSince(start);
    const std::size_t total = blocks * blockSize;
    if (!printer.waitForReceived(total, std::chrono::seconds(120))) {
        std::printf("the printer did not receive everything\n");
        return;
    }
    const double received = secondsSince(start);
    std::printf("WritePort %6zu-byte blocks: %8zu calls, %7.1f MB/s handed over (%.1f us a call), "
                "%7.1f MB/s printed by the virtual printer\n",
                blockSize, blocks, total / sent / 1e6, sent / blocks * 1e6, total / received / 1e6);
}

void measureReads(int32_t index) {
    constexpr int kReads = 200;
    std::vector<double> times;
    std::uint8_t block[4];
    int32_t step = 0;
    int32_t sysError = 0;
    for (int i = 0; i < kReads; ++i) {
        const auto start = Clock::now();
        if (ReadPort(index, 1, block, 4, 100, 0, &step, &sysError) != 1) {
            std::printf("ReadPort failed: %d %d\n", step, sysError);
            return;
        }
        times.push_back(secondsSince(start) * 1e3);
    }
    std::sort(times.begin(), times.end());
    std::printf("ReadPort (network status block): median %.3f ms, 95th percentile %.3f ms, max %.3f ms over %d calls\n",
                times[kReads / 2], times[kReads * 95 / 100], times.back(), kReads);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 32;
    std::string base;
    platform::tempDirectory(&base);
    std::string folder = base + "bench-portlink-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        std::printf("no temporary folder\n");
        return 1;
    }
    setenv("CVOPOS_REGISTRY", (folder + "/registry.db").c_str(), 1);

    int result = 1;
    {
        emulator::VirtualPrinter printer("K92");
        auto network = openPrinter(printer);
        int32_t kind = 0, index = 0, step = 0, sysError = 0;
        if (!network || !writeDevice("NET" + network->address())) {
            std::printf("cannot set up the virtual printer\n");
        } else if (OpenPort("POSPrinter", "RX-K92", &kind, &index, 0, &step, &sysError) == -1) {
            std::printf("OpenPort failed: %d %d\n", step, sysError);
        } else {
            measureWrites(index, printer, 1024, megabytes);
            measureWrites(index, printer, 64 * 1024, megabytes);
            measureReads(index);
            ClosePort(index, 1, 0, &step, &sysError);
            result = 0;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
