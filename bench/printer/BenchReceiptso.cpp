// What the printer service object costs and how fast it answers:
// - fEventJob-queue-to-callback latency of the delivery thread (median and
//   95th percentile over many events, one at a time);
// - the same through the whole stack: FlagWhenIdle on an enabled device to
//   the control object's event handler;
// - the CPU an enabled, idle device takes (process CPU time over wall time);
// - open+claim+enable+release+close cycles per second;
// - how long ReleaseDevice and CloseService take when an event handler
//   calls them (on the delivery thread);
// - the Error events a 10 s paper-out episode raises while the handler
//   answers every one with RETRY.
//
//   bench_receiptso [events, default 2000] [cycles, default 50]
//
// Everything runs in this process against a network virtual printer; the
// registry is a file of its own in a private temporary folder.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchSetup.h"
#include "opos/ControlObject.h"
#include "platform/module.h"
#include "printer/WorkerShared.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::LONG;

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void report(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%s: median %.3f ms, 95th percentile %.3f ms, max %.3f ms over %zu events\n", what,
                times[times.size() / 2], times[times.size() * 95 / 100], times.back(), times.size());
}

// Stamps the arrival of each status update and wakes the producer.
class StampingControl : public platform::RefCountedDispatch {
public:
    platform::HRESULT GetIDsOfNames(std::wstring_view, platform::DISPID*) override {
        return platform::DISP_E_UNKNOWNNAME;
    }
    platform::HRESULT Invoke(platform::DISPID, platform::DispParams&, platform::Variant*) override {
        std::lock_guard lock(m_mutex);
        m_arrived = Clock::now();
        ++m_count;
        m_changed.notify_all();
        return platform::S_OK;
    }
    Clock::time_point waitFor(int count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_count >= count; });
        return m_arrived;
    }

private:
    ~StampingControl() override = default;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Clock::time_point m_arrived;
    int m_count = 0;
};

void measureQueueToCallback(int events) {
    auto shared = std::make_shared<printer::WorkerShared>(
        std::make_shared<common::ModuleLog>(common::LogModule::Printer), printer::CallbackIds{1, 2, 3});
    shared->eventQueue.reset();
    auto* control = new StampingControl;
    auto thread = platform::WorkerThread::create([shared] { printer::lpSendP(shared); },
                                                 platform::WorkerThread::Start::Suspended);
    platform::coInitialize();
    platform::MarshalStream* stream = nullptr;
    platform::marshalInterThreadInterface(control, &stream);
    shared->handOverStream(stream);
    platform::coUninitialize();
    thread->resume();
    shared->SynPrnEvent.wait(5000);
    shared->setDeviceEnabled(true);

    std::vector<double> times;
    for (int i = 1; i <= events; ++i) {
        // Let the thread go idle first, so each event measures a wake-up.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto queued = Clock::now();
        shared->fEventJob(2, i, 0);
        times.push_back(millisecondsBetween(queued, control->waitFor(i)));
    }
    report("fEventJob queue to callback", times);

    shared->setExit(true);
    shared->SndExitEvent.wait(5000);
    thread->join(5000);
    control->Release();
}

void measureFullStack(int events) {
    opos::PosPrinter control;
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    Clock::time_point arrived;
    control.setEventHandler([&](opos::Event&) {
        std::lock_guard lock(mutex);
        arrived = Clock::now();
        ++count;
        changed.notify_all();
    });
    if (control.open("RX-A14") != 0 || control.claimDevice(1000) != 0 || control.setDeviceEnabled(true) != 0) {
        std::printf("cannot open, claim and enable the device\n");
        return;
    }
    std::vector<double> times;
    for (int i = 1; i <= events; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto start = Clock::now();
        control.setNumber("FlagWhenIdle", 1);
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(5), [&] { return count >= i; });
        times.push_back(millisecondsBetween(start, arrived));
    }
    report("FlagWhenIdle to the control object's handler (full stack)", times);

    const double wall = 3.0;
    const std::clock_t cpuBefore = std::clock();
    std::this_thread::sleep_for(std::chrono::duration<double>(wall));
    const double cpu = static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    std::printf("enabled idle device (whole process, virtual printer included): %.2f%% of one core over %.0f s\n",
                100.0 * cpu / wall, wall);
    control.close();
}

void measureCycles(int cycles) {
    const auto start = Clock::now();
    int done = 0;
    for (int i = 0; i < cycles; ++i) {
        opos::PosPrinter control;
        if (control.open("RX-A14") != 0 || control.claimDevice(1000) != 0 || control.setDeviceEnabled(true) != 0 ||
            control.releaseDevice() != 0 || control.close().rc != 0) {
            std::printf("cycle %d failed\n", i);
            break;
        }
        ++done;
    }
    const double seconds = millisecondsBetween(start, Clock::now()) / 1000.0;
    std::printf("open+claim+enable+release+close: %.1f cycles per second (%d cycles in %.2f s)\n", done / seconds,
                done, seconds);
}

// Opens, claims and enables RX-A14 and turns a cover-open into a call of
// `action` from the handler; returns how long the call took.
double handlerCall(emulator::VirtualPrinter& printer, bool close) {
    opos::PosPrinter control;
    std::mutex mutex;
    std::condition_variable changed;
    double took = -1;
    control.setEventHandler([&](opos::Event& event) {
        if (event.kind != opos::EventKind::StatusUpdate || event.number != 11) {
            return;
        }
        const auto start = Clock::now();
        if (close) {
            control.close();
        } else {
            control.releaseDevice();
        }
        std::lock_guard lock(mutex);
        took = millisecondsBetween(start, Clock::now());
        changed.notify_all();
    });
    if (control.open("RX-A14") != 0 || control.claimDevice(1000) != 0 || control.setDeviceEnabled(true) != 0) {
        std::printf("cannot open, claim and enable the device\n");
        return -1;
    }
    printer.changeState([](emulator::PrinterState& state) { state.coverOpen = true; });
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(60), [&] { return took >= 0; });
    }
    printer.changeState([](emulator::PrinterState& state) { state.coverOpen = false; });
    control.setEventHandler({});
    control.close();
    return took;
}

void measureHandlerCalls(emulator::VirtualPrinter& printer, int rounds) {
    for (const bool close : {false, true}) {
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) {
            times.push_back(handlerCall(printer, close));
        }
        report(close ? "CloseService called from a StatusUpdate handler"
                     : "ReleaseDevice called from a StatusUpdate handler",
               times);
    }
}

void measurePaperOutEpisode(emulator::VirtualPrinter& printer) {
    opos::PosPrinter control;
    std::mutex mutex;
    int errors = 0;
    control.setEventHandler([&](opos::Event& event) {
        std::lock_guard lock(mutex);
        if (event.kind == opos::EventKind::Error) {
            ++errors;
            event.errorResponse = 11;  // OPOS_ER_RETRY
        }
    });
    if (control.open("RX-A14") != 0 || control.claimDevice(1000) != 0 || control.setDeviceEnabled(true) != 0 ||
        control.setNumber("AsyncMode", 1) != 0) {
        std::printf("cannot open, claim and enable the device\n");
        return;
    }
    printer.changeState([](emulator::PrinterState& state) { state.receiptEnd = true; });
    const auto start = Clock::now();
    control.printNormal(2, L"held while the paper is out\n");
    std::this_thread::sleep_for(std::chrono::seconds(10));
    int seen = 0;
    {
        std::lock_guard lock(mutex);
        seen = errors;
    }
    printer.changeState([](emulator::PrinterState& state) { state.receiptEnd = false; });
    std::printf("paper out for %.1f s, every error answered RETRY: %d Error events\n",
                millisecondsBetween(start, Clock::now()) / 1000.0, seen);
    control.setEventHandler({});
    control.close();
}

}  // namespace

int main(int argc, char** argv) {
    const int events = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    const int cycles = argc > 2 ? std::max(1, std::atoi(argv[2])) : 50;
    const bench::PrivateRegistry registry;
    if (!registry.ready()) {
        std::printf("no temporary folder\n");
        return 1;
    }
    measureQueueToCallback(events);
    emulator::VirtualPrinter printer("A14");
    auto network = bench::openNetwork(printer);
    if (!network || !bench::writeDevice("RX-A14", "NET" + network->address())) {
        std::printf("cannot set up the virtual printer\n");
        return 1;
    }
    measureFullStack(std::min(events, 500));
    measureCycles(cycles);
    measureHandlerCalls(printer, 5);
    measurePaperOutEpisode(printer);
    return 0;
}
