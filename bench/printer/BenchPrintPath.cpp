// The print path end to end, against a network virtual printer in this
// process:
// - a synchronous PrintNormal of the standard receipt: how long after its
//   last byte reached the printer the call returned (median, 95th
//   percentile, max);
// - asynchronous throughput: N jobs queued, then every OutputComplete
//   counted and checked in order (no event lost, none twice).
//
//   bench_print_path <shared bench folder> [receipts, default 200] [jobs, default 10000]
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchSetup.h"
#include "common/OposConstants.h"
#include "opos/ControlObject.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::LONG;

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::wstring readReceipt(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return std::wstring(bytes.begin(), bytes.end());
}

bool openReady(opos::PosPrinter& control) {
    return control.open("RX-A14") == 0 && control.claimDevice(1000) == 0 && control.setDeviceEnabled(true) == 0;
}

void measureSynchronous(emulator::VirtualPrinter& printer, const std::wstring& receipt, int receipts) {
    opos::PosPrinter control;
    if (!openReady(control)) {
        std::printf("cannot open, claim and enable the device\n");
        return;
    }
    // The receipt ends in its cut; the printer has all of it once the cut
    // arrived. (Status polling adds bytes of its own, so counting bytes
    // would not tell.)
    const auto cutArrived = [&printer](std::size_t from) {
        static const emulator::Bytes kCut{0x1D, 0x56};
        const emulator::Bytes bytes = printer.receivedBytes();
        return from < bytes.size() &&
               std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), kCut.begin(), kCut.end()) !=
                   bytes.end();
    };
    std::size_t before = printer.receivedBytes().size();
    control.printNormal(common::PTR_S_RECEIPT, receipt);
    while (!cutArrived(before)) {
        printer.waitForReceived(printer.receivedBytes().size() + 1, std::chrono::milliseconds(100));
    }
    const std::size_t perReceipt = printer.receivedBytes().size() - before;
    std::vector<double> afterArrival;
    std::vector<double> wholeCall;
    for (int i = 0; i < receipts; ++i) {
        before = printer.receivedBytes().size();
        Clock::time_point arrived;
        std::thread watcher([&] {
            const auto deadline = Clock::now() + std::chrono::seconds(10);
            while (!cutArrived(before) && Clock::now() < deadline) {
                printer.waitForReceived(printer.receivedBytes().size() + 1, std::chrono::milliseconds(1));
            }
            arrived = Clock::now();
        });
        const auto start = Clock::now();
        const LONG rc = control.printNormal(common::PTR_S_RECEIPT, receipt);
        const auto returned = Clock::now();
        watcher.join();
        if (rc != common::OPOS_SUCCESS) {
            std::printf("PrintNormal failed: %d\n", rc);
            return;
        }
        afterArrival.push_back(millisecondsBetween(arrived, returned));
        wholeCall.push_back(millisecondsBetween(start, returned));
    }
    std::sort(afterArrival.begin(), afterArrival.end());
    std::sort(wholeCall.begin(), wholeCall.end());
    const auto at = [](const std::vector<double>& v, std::size_t percent) { return v[v.size() * percent / 100]; };
    // Negative: the call returned before the printer had read the last byte.
    std::printf("synchronous PrintNormal, %zu-byte receipt, return minus the last byte's arrival: median %.3f ms, "
                "95th percentile %.3f ms, max %.3f ms over %d receipts\n",
                perReceipt, at(afterArrival, 50), at(afterArrival, 95), afterArrival.back(), receipts);
    std::printf("synchronous PrintNormal, whole call: median %.3f ms, 95th percentile %.3f ms\n", at(wholeCall, 50),
                at(wholeCall, 95));
    control.close();
}

void measureAsynchronous(const std::wstring& line, int jobs) {
    opos::PosPrinter control;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<LONG> ids;
    int errors = 0;
    std::string errorCodes;
    control.setEventHandler([&](opos::Event& event) {
        std::lock_guard lock(mutex);
        if (event.kind == opos::EventKind::OutputComplete) {
            ids.push_back(event.number);
        } else if (event.kind == opos::EventKind::Error) {
            ++errors;
            errorCodes += " " + std::to_string(event.resultCode) + "/" + std::to_string(event.resultCodeExtended);
        }
        changed.notify_all();
    });
    if (!openReady(control) || control.setNumber("AsyncMode", 1) != 0) {
        std::printf("cannot open, claim and enable the device\n");
        return;
    }
    const auto start = Clock::now();
    int refused = 0;
    for (int i = 0; i < jobs; ++i) {
        if (control.printNormal(common::PTR_S_RECEIPT, line) != common::OPOS_SUCCESS) {
            ++refused;
        }
    }
    const auto queued = Clock::now();
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(120),
                     [&] { return ids.size() >= static_cast<std::size_t>(jobs - refused); });
    const auto done = Clock::now();
    std::size_t outOfOrder = 0;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] != static_cast<LONG>(i % 4800 + 1)) {
            ++outOfOrder;
        }
    }
    std::printf("asynchronous: %d jobs queued in %.1f ms (%d refused), all complete after %.1f ms: %zu "
                "OutputComplete events, %zu out of order, %d error events%s, %d lost\n",
                jobs, millisecondsBetween(start, queued), refused, millisecondsBetween(start, done), ids.size(),
                outOfOrder, errors, errorCodes.c_str(), jobs - refused - static_cast<int>(ids.size()));
    lock.unlock();
    control.close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: bench_print_path <bench folder> [receipts] [jobs]\n");
        return 2;
    }
    const std::wstring receipt = readReceipt(std::string(argv[1]) + "/text_receipt.txt");
    if (receipt.empty()) {
        std::printf("cannot read text_receipt.txt in %s\n", argv[1]);
        return 1;
    }
    const int receipts = argc > 2 ? std::max(10, std::atoi(argv[2])) : 200;
    const int jobs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10000;
    const bench::PrivateRegistry registry;
    if (!registry.ready()) {
        std::printf("no temporary folder\n");
        return 1;
    }
    emulator::VirtualPrinter printer("A14");
    auto network = bench::openNetwork(printer);
    if (!network || !bench::writeDevice("RX-A14", "NET" + network->address())) {
        std::printf("cannot set up the virtual printer\n");
        return 1;
    }
    measureSynchronous(printer, receipt, receipts);
    measureAsynchronous(L"Item 01 ABCDEFG                  2 x 80.18\n", jobs);
    return 0;
}
