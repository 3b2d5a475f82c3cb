// Writes, status reads and wake-ups on one port from several threads at
// once, and a printer and its drawer opened and closed from two threads.
// Meant to run under ThreadSanitizer as well.
#include <atomic>
#include <thread>

#include "PortTestFixture.h"
#include "platform/socket.h"
#include "portlink/portlink.h"
#include "support/FakeNetPrinter.h"
#if CVOPOS_PSEUDO_TERMINALS
#include "support/FakePtyPrinter.h"
#endif

namespace porttest {
namespace {

using namespace std::chrono_literals;

class ConcurrencyTest : public PortTest {
protected:
    struct Counts {
        std::size_t written = 0;  // bytes of writes that succeeded
        int reads = 0;            // status reads that succeeded
    };

    // Runs a writer, a status reader and a waker on `index` for `duration`.
    // A network status read may miss its 100 ms on a loaded machine; the
    // reader then does what a status thread does (reconnect) and the writer
    // may meanwhile find the data connection closed. Anything else is a
    // failure.
    Counts exercise(int32_t index, std::chrono::milliseconds duration) {
        std::atomic<bool> stop{false};
        std::atomic<int> failures{0};
        Counts counts;
        const bool network = index >= 52;
        std::thread writer([&] {
            const Bytes block(512, 'w');
            while (!stop) {
                const Result result = write(index, block);
                if (result.value == 1) {
                    counts.written += block.size();
                } else if (!(network && result.step == 3 && result.sysError == platform::WSAENOTSOCK)) {
                    ++failures;
                }
            }
        });
        std::thread reader([&] {
            while (!stop) {
                Block block{};
                const Result result = read(index, &block);
                if (result.value == 1) {
                    ++counts.reads;
                } else if (network && result.step == 7) {
                    int32_t step = 0, sysError = 0;
                    ReOpenNetPort(index, 1, &step, &sysError);
                } else {
                    ++failures;
                }
                if (status(index).value == 0) {
                    ++failures;
                }
            }
        });
        std::thread waker([&] {
            while (!stop) {
                ReSetPrintWork(index, 0);
                std::this_thread::yield();
            }
        });
        std::this_thread::sleep_for(duration);  // the exercise's length, not a synchronisation
        stop = true;
        writer.join();
        reader.join();
        waker.join();
        EXPECT_EQ(failures, 0);
        EXPECT_GT(counts.written, 0u);
        EXPECT_GT(counts.reads, 0);
        return counts;
    }
};

TEST_F(ConcurrencyTest, NetworkPortTakesWritesAndStatusReadsAtOnce) {
    testsupport::FakeNetPrinter printer;
    addPrinter("RX-H81", settingsFor(printer.portValue()));
    const Opened opened = openPrinter("RX-H81");
    ASSERT_EQ(opened.step, 60);
    const Counts counts = exercise(opened.index, 1500ms);
    // Every write reported as done reached the printer.
    EXPECT_TRUE(printer.waitForReceived(counts.written, 5s));
}

#if CVOPOS_PSEUDO_TERMINALS
TEST_F(ConcurrencyTest, SerialPortTakesWritesAndStatusReadsAtOnce) {
    testsupport::FakePtyPrinter printer({path("COM3"), {}});
    mapPort("COM3", printer.linkPath());
    addPrinter("RX-H81", settingsFor("COM3"));
    ASSERT_EQ(openPrinter("RX-H81").step, 10);
    exercise(2, 1500ms);
    // A write the waker ended early may have left bytes on their way; they
    // may still arrive, but the line then carries a whole block after them.
    ASSERT_EQ(write(2, bytesOf("marker")).step, 12);
    const Bytes marker = bytesOf("marker");
    const auto endsWithMarker = [&] {
        const Bytes received = printer.received();
        return received.size() >= marker.size() && Bytes(received.end() - marker.size(), received.end()) == marker;
    };
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!endsWithMarker() && std::chrono::steady_clock::now() < deadline) {
        printer.waitForReceived(printer.received().size() + 1, 100ms);
    }
    EXPECT_TRUE(endsWithMarker());
}

TEST_F(ConcurrencyTest, PrinterAndDrawerOpenAndCloseFromTwoThreads) {
    testsupport::FakePtyPrinter printer({path("COM3"), {}});
    mapPort("COM3", printer.linkPath());
    addPrinter("RX-H81", settingsFor("COM3"));
    addDevice(schema::kCashDrawerClass, "RX-H81Drawer", settingsFor("COM3"));
    std::atomic<int> failures{0};
    auto cycle = [&](const char* deviceClass, const char* name) {
        for (int round = 0; round < 40; ++round) {
            int32_t kind = 0, index = 0, step = 0, sysError = 0;
            const int32_t handle = OpenPort(deviceClass, name, &kind, &index, 0, &step, &sysError);
            if (handle == -1 || (step != 10 && step != 4) || index != 2) {
                ++failures;
                continue;
            }
            ClosePort(index, handle, 0, &step, &sysError);
        }
    };
    std::thread printerThread(cycle, schema::kPosPrinterClass, "RX-H81");
    std::thread drawerThread(cycle, schema::kCashDrawerClass, "RX-H81Drawer");
    printerThread.join();
    drawerThread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(printer.waitForHostConnected(false, 2s)) << "the last close closed the port";
    EXPECT_EQ(close(2).step, 4);
}

#else
// Printers on pseudo-terminals are made with POSIX calls.
TEST_F(ConcurrencyTest, SerialCasesNeedPseudoTerminals) { GTEST_SKIP() << kNoPseudoTerminals; }
#endif

}  // namespace
}  // namespace porttest
