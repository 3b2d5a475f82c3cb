#pragma once
// What the port library's integration tests share: the printer under test
// placed on a port and named in the port map, and the checks every
// transport goes through alike.
#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "PortTestFixture.h"
#include "portlink/portlink.h"
#include "support/PrinterUnderTest.h"

namespace porttest {

using namespace std::chrono_literals;
using emulator::PrinterState;
using testsupport::PrinterUnderTest;

// Retries `attempt` until it returns true or the deadline passes: for
// conditions the test can only observe by asking again (a printer that is
// coming back, a status block on its way).
template <typename Attempt>
bool eventually(Attempt attempt, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = Clock::now() + timeout;
    while (!attempt()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

inline Block blockOf(const emulator::StatusBlock& status) { return {status[0], status[1], status[2], status[3]}; }

// A small receipt: initialise, a line of text, a full cut.
inline Bytes receipt() {
    Bytes bytes = {0x1B, 0x40};
    const Bytes text = bytesOf("Corvane OPOS\n");
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.insert(bytes.end(), {0x1D, 0x56, 0x00});
    return bytes;
}

template <typename Printer>
void setPower(Printer& printer, bool on) {
    printer.changeState([on](PrinterState& state) { state.powerOn = on; });
}

class PortIntegrationTest : public PortTest {
protected:
    // A printer of `model` on the network, or on serial port `port` when one
    // is given, with the port map naming its device; null (and the test
    // failed) when it cannot start.
    std::unique_ptr<PrinterUnderTest> printerOn(const std::string& model, const std::string& port = {}) {
        auto printer = testsupport::makePrinterUnderTest(model, folder());
        std::string error;
        const bool started = port.empty() ? printer->startNetwork(&error) : printer->startSerial(port, &error);
        EXPECT_TRUE(started) << error;
        if (!started) {
            return nullptr;
        }
        if (!printer->portDevice().empty()) {
            mapPort(port, printer->portDevice());
        }
        return printer;
    }

    // Two status readers on one open port (a printer and its drawer) both wake
    // when the printer sends its status by itself, whichever of them watched
    // the line; a wake-up ends a reader's wait at once, also one given just
    // before it began to wait.
    template <typename Printer>
    void expectStatusReadersWake(Printer& printer, int32_t index) {
        ASSERT_GE(index, 0);
        ASSERT_EQ(write(index, {0x1D, 0x61, 0xFF}).value, 1);
        ASSERT_TRUE(eventually([&] { return printer.automaticStatusEnabled(); }));
        Block block{};
        read(index, &block);

        std::uint64_t marks[2] = {};
        for (std::uint64_t& mark : marks) {
            WaitPortStatus(index, &mark, 0);
        }
        std::future<int32_t> readers[2];
        std::atomic<Clock::time_point> woke[2];
        for (int reader = 0; reader < 2; ++reader) {
            readers[reader] = std::async(std::launch::async, [&, reader] {
                const int32_t arrived = WaitPortStatus(index, &marks[reader], 5000);
                woke[reader] = Clock::now();
                return arrived;
            });
        }
        const auto changed = Clock::now();
        printer.changeState([](PrinterState& state) { state.coverOpen = !state.coverOpen; });
        for (int reader = 0; reader < 2; ++reader) {
            EXPECT_EQ(readers[reader].get(), 1) << "reader " << reader;
            EXPECT_LT(woke[reader].load() - changed, 150ms) << "reader " << reader;
        }
        EXPECT_TRUE(eventually([&] { return read(index, &block).value == 1 && block == blockOf(printer.statusBlock()); }));

        WaitPortStatus(index, &marks[0], 0);
        WakePortStatus(index);
        const auto woken = Clock::now();
        EXPECT_EQ(WaitPortStatus(index, &marks[0], 5000), 0);
        EXPECT_LT(Clock::now() - woken, 150ms);
    }
};

}  // namespace porttest
