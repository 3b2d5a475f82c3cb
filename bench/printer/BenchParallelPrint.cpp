// How long a synchronous PrintNormal takes on a parallel printer while the
// service object's status thread polls it: a virtual printer on a
// pseudo-terminal mapped as LPT1, one short line per call, calls spread
// over several status cycles (median, 95th percentile, max).
//
//   bench_parallel_print [calls, default 40]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "BenchSetup.h"
#include "common/OposConstants.h"
#include "emulator/PtyPort.h"
#include "opos/ControlObject.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "schema/RegKey.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool mapPort(const std::string& portName, const std::string& devicePath) {
    schema::RegKey key;
    return key.create(platform::HKLM, platform::kPortMapKeyPath) == platform::ERROR_SUCCESS &&
           key.writeString(portName.c_str(), devicePath) == platform::ERROR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(5, std::atoi(argv[1])) : 40;
    const bench::PrivateRegistry registry;
    std::string base;
    if (!registry.ready() || platform::tempDirectory(&base) != platform::ERROR_SUCCESS) {
        std::printf("no temporary folder\n");
        return 1;
    }
    std::string folder = base + "bench-parallel-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        std::printf("no temporary folder\n");
        return 1;
    }
    emulator::VirtualPrinter printer("A14");
    auto line = emulator::PtyPort::open(printer, {folder + "/LPT1", {}});
    if (!line || !mapPort("LPT1", line->linkPath()) || !bench::writeDevice("RX-A14", "LPT1")) {
        std::printf("cannot set up the virtual printer\n");
        return 1;
    }
    {
        opos::PosPrinter control;
        if (control.open("RX-A14") != 0 || control.claimDevice(1000) != 0 || control.setDeviceEnabled(true) != 0) {
            std::printf("cannot open, claim and enable the device\n");
            return 1;
        }
        std::vector<double> durations;
        for (int i = 0; i < calls; ++i) {
            // Spread over the status thread's cycle (a status read waits up
            // to 3 s for the printer's block).
            std::this_thread::sleep_for(std::chrono::milliseconds(97));
            const auto start = Clock::now();
            const auto rc = control.printNormal(common::PTR_S_RECEIPT, L"Item 01 ABCDEFG                  2 x 80.18\n");
            durations.push_back(millisecondsSince(start));
            if (rc != common::OPOS_SUCCESS) {
                std::printf("PrintNormal failed: %d\n", rc);
                return 1;
            }
        }
        std::sort(durations.begin(), durations.end());
        std::printf("synchronous PrintNormal on a polled parallel printer: median %.1f ms, 95th percentile %.1f ms, "
                    "max %.1f ms over %d calls\n",
                    durations[durations.size() / 2], durations[durations.size() * 95 / 100], durations.back(), calls);
        control.close();
    }
    line.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
