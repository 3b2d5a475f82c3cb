// What the printer sends back and how its state behaves: status requests,
// automatic status, the F60's query, the drawer, power, and the bounds on
// what it keeps.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "PrinterStream.h"
#include "emulator/VirtualPrinter.h"

using namespace emulator;
using emulatortest::PrinterStream;
using namespace std::chrono_literals;

namespace {

// The host end: everything the printer sends, and every state it reports.
class Host {
public:
    explicit Host(VirtualPrinter& printer) {
        printer.setHostSink([this](std::span<const std::uint8_t> bytes) {
            std::lock_guard lock(m_mutex);
            m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
            m_changed.notify_all();
        });
        printer.addStateListener([this](const PrinterState& state) {
            std::lock_guard lock(m_mutex);
            m_states.push_back(state);
            m_changed.notify_all();
        });
    }

    Bytes bytes() const {
        std::lock_guard lock(m_mutex);
        return m_bytes;
    }
    std::vector<PrinterState> states() const {
        std::lock_guard lock(m_mutex);
        return m_states;
    }
    bool waitForBytes(std::size_t count, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_bytes.size() >= count; });
    }
    bool waitForState(const std::function<bool(const PrinterState&)>& wanted,
                      std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            return !m_states.empty() && wanted(m_states.back());
        });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Bytes m_bytes;
    std::vector<PrinterState> m_states;
};

Bytes blockBytes(const StatusBlock& block) { return Bytes(block.begin(), block.end()); }

const PrinterStream kStatusRequest = PrinterStream()({0x1B, 0x76});
const PrinterStream kAutomaticOn = PrinterStream()({0x1D, 0x61, 0xFF});

TEST(VirtualPrinter, StatusRequestIsAnsweredWithTheBlockEvenWhenSplit) {
    VirtualPrinter printer("H81");
    Host host(printer);
    printer.changeState([](PrinterState& s) { s.coverOpen = true; });
    printer.receive(PrinterStream()({0x1B}));
    EXPECT_TRUE(host.bytes().empty());
    printer.receive(PrinterStream()({0x76}));
    EXPECT_EQ(host.bytes(), blockBytes(printer.statusBlock()));
    EXPECT_EQ(host.bytes(), (Bytes{0x34, 0x00, 0x00, 0x0F}));
}

TEST(VirtualPrinter, SilentPrinterNeverAnswersASlowOneAnswersLateInOrder) {
    VirtualPrinter printer("A14");
    Host host(printer);
    printer.changeState([](PrinterState& s) { s.statusSilent = true; });
    printer.receive(kStatusRequest);
    printer.changeState([](PrinterState& s) { s.statusSilent = false; });
    printer.receive(kAutomaticOn);
    ASSERT_EQ(host.bytes().size(), 4u) << "only the automatic status block";

    printer.changeState([](PrinterState& s) { s.statusReplyDelay = 150ms; });
    const auto asked = std::chrono::steady_clock::now();
    printer.receive(kStatusRequest);
    printer.changeState([](PrinterState& s) { s.receiptEnd = true; });
    EXPECT_EQ(host.bytes().size(), 4u) << "the late reply holds back what follows it";
    EXPECT_TRUE(host.waitForState([](const PrinterState& s) { return s.receiptEnd; }, 0ms))
        << "state listeners are not held back";

    ASSERT_TRUE(host.waitForBytes(12));
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 150ms);
    const Bytes all = host.bytes();
    const Bytes reply(all.begin() + 4, all.begin() + 8);
    const Bytes automatic(all.begin() + 8, all.end());
    EXPECT_EQ(reply, (Bytes{0x14, 0x00, 0x00, 0x0F})) << "the block as it was when asked";
    EXPECT_EQ(automatic, blockBytes(printer.statusBlock()));
}

TEST(VirtualPrinter, AutomaticStatusGoesOutOnChangeOnlyWhileEnabled) {
    VirtualPrinter printer("K92");
    Host host(printer);
    printer.changeState([](PrinterState& s) { s.coverOpen = true; });
    EXPECT_TRUE(host.bytes().empty());
    EXPECT_FALSE(printer.automaticStatusEnabled());

    printer.receive(kAutomaticOn);
    EXPECT_TRUE(printer.automaticStatusEnabled());
    EXPECT_EQ(host.bytes(), (Bytes{0x34, 0x00, 0x00, 0x0F})) << "sent at once when switched on";

    printer.changeState([](PrinterState& s) { s.coverOpen = false; });
    printer.changeState([](PrinterState& s) { s.journalEnd = true; });  // not in this model's block
    printer.changeState([](PrinterState&) {});
    printer.changeState([](PrinterState& s) { s.motorError = true; });
    EXPECT_EQ(host.bytes(), (Bytes{0x34, 0x00, 0x00, 0x0F, 0x14, 0x00, 0x00, 0x0F, 0x14, 0x04, 0x00, 0x0F}));

    printer.receive(PrinterStream()({0x1D, 0x61, 0x00}));
    printer.changeState([](PrinterState& s) { s.motorError = false; });
    EXPECT_EQ(host.bytes().size(), 12u);
}

TEST(VirtualPrinter, F60AnswersTheCharacterModeQueryWithOneByte) {
    VirtualPrinter f60("F60");
    Host host(f60);
    const PrinterStream query = PrinterStream()({0x1B, 0x6A, 0x6C, 0x1B, 0x6A, 0x6C});
    f60.receive(query);
    EXPECT_EQ(host.bytes(), (Bytes{0x00, 0x00}));
    f60.changeState([](PrinterState& s) { s.asianCharacterMode = true; });
    f60.receive(PrinterStream()({0x1B, 0x6A, 0x6C}));
    EXPECT_EQ(host.bytes(), (Bytes{0x00, 0x00, 0x01}));

    VirtualPrinter other("A14");
    Host otherHost(other);
    other.receive(query);
    EXPECT_TRUE(otherHost.bytes().empty()) << "a reverse feed on other models";
}

TEST(VirtualPrinter, DrawerPulseOpensTheDrawerWhichMayCloseByItself) {
    VirtualPrinter printer("H81");
    Host host(printer);
    printer.receive(PrinterStream()({0x10, 0x14, 0x01, 0x00, 0x05}));
    EXPECT_TRUE(printer.state().drawerOpen);
    EXPECT_TRUE(host.waitForState([](const PrinterState& s) { return s.drawerOpen; }, 0ms));
    EXPECT_EQ(printer.statusBlock()[0] & 0x04, 0) << "sensor bit clear while open";

    printer.changeState([](PrinterState& s) {
        s.drawerOpen = false;
        s.drawerClosesAfter = 50ms;
    });
    printer.receive(kAutomaticOn);
    const auto pulsed = std::chrono::steady_clock::now();
    printer.receive(PrinterStream()({0x10, 0x14, 0x01, 0x01, 0x08}));
    EXPECT_TRUE(printer.state().drawerOpen);
    ASSERT_TRUE(host.waitForState([](const PrinterState& s) { return !s.drawerOpen; }));
    EXPECT_GE(std::chrono::steady_clock::now() - pulsed, 50ms);
    ASSERT_TRUE(host.waitForBytes(12));
    EXPECT_EQ(host.bytes(), (Bytes{0x14, 0x00, 0x00, 0x0F, 0x10, 0x00, 0x00, 0x0F, 0x14, 0x00, 0x00, 0x0F}))
        << "switched on, opened, closed";
}

TEST(VirtualPrinter, APoweredOffPrinterTakesNothingAndComesBackReset) {
    VirtualPrinter printer("A14");
    Host host(printer);
    printer.receive(kAutomaticOn);
    printer.receive(PrinterStream()({0x1B, 0x45, 0x01})("half a line"));
    printer.changeState([](PrinterState& s) { s.powerOn = false; });
    printer.receive(PrinterStream()("lost\n")({0x1B, 0x76}));
    printer.changeState([](PrinterState& s) { s.coverOpen = true; });
    EXPECT_EQ(host.bytes().size(), 4u) << "nothing sent while off";

    printer.changeState([](PrinterState& s) { s.powerOn = true; });
    EXPECT_FALSE(printer.automaticStatusEnabled());
    printer.receive(PrinterStream()("plain\n"));
    EXPECT_EQ(printer.transcript(), "plain\n");
    EXPECT_EQ(printer.receivedBytes().size(), 3u + 3u + 11u + 6u);
    const auto states = host.states();
    ASSERT_EQ(states.size(), 3u);
    EXPECT_FALSE(states[0].powerOn);
    EXPECT_TRUE(states[2].powerOn);
}

TEST(VirtualPrinter, CallbacksMayCallBackIntoThePrinter) {
    VirtualPrinter printer("H81");
    std::vector<StatusBlock> seen;
    printer.setHostSink([&](std::span<const std::uint8_t>) { seen.push_back(printer.statusBlock()); });
    printer.addStateListener([&](const PrinterState&) {
        printer.receive(PrinterStream()({0x1B, 0x76}));
    });
    printer.changeState([](PrinterState& s) { s.coverOpen = true; });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0][0] & 0x20, 0x20);
}

TEST(VirtualPrinter, CallersOnManyThreadsGetCallbacksOneAtATime) {
    VirtualPrinter printer("F60");
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::mutex mutex;
    Bytes sent;
    auto enter = [&] {
        if (inside.fetch_add(1) != 0) overlapped = true;
    };
    printer.setHostSink([&](std::span<const std::uint8_t> bytes) {
        enter();
        {
            std::lock_guard lock(mutex);
            sent.insert(sent.end(), bytes.begin(), bytes.end());
        }
        inside.fetch_sub(1);
    });
    printer.addStateListener([&](const PrinterState&) {
        enter();
        inside.fetch_sub(1);
    });
    printer.receive(kAutomaticOn);
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < 300; ++i) printer.receive(PrinterStream()("text ")({0x1B, 0x76, 0x0A}));
    });
    threads.emplace_back([&] {
        for (int i = 0; i < 300; ++i) printer.changeState([i](PrinterState& s) { s.coverOpen = i % 2 == 0; });
    });
    threads.emplace_back([&] {
        for (int i = 0; i < 100; ++i) {
            (void)printer.transcript();
            (void)printer.statusBlock();
            (void)printer.receivedBytes();
        }
    });
    for (auto& thread : threads) thread.join();
    EXPECT_FALSE(overlapped);
    std::lock_guard lock(mutex);
    EXPECT_EQ(sent.size() % 4, 0u) << "only whole blocks";
    EXPECT_GE(sent.size(), 4u * 301);
    EXPECT_EQ(printer.transcript().size(), std::string("== receipt ==\n").size() + 300 * std::string("text \n").size());
}

TEST(VirtualPrinter, ReceivedBytesAreKeptInOrderUntilCleared) {
    VirtualPrinter printer("H81");
    PrinterStream data;
    for (int i = 0; i < 2000; ++i) data("line " + std::to_string(i) + "\n");
    const Bytes& bytes = data.bytes();
    std::thread sender([&] {
        for (std::size_t at = 0; at < bytes.size(); at += 333) {
            printer.receive(std::span(bytes).subspan(at, std::min<std::size_t>(333, bytes.size() - at)));
        }
    });
    EXPECT_TRUE(printer.waitForReceived(bytes.size(), 10s));
    sender.join();
    EXPECT_EQ(printer.receivedBytes(), bytes);
    EXPECT_FALSE(printer.waitForReceived(bytes.size() + 1, 0ms));

    printer.clearOutput();
    EXPECT_TRUE(printer.receivedBytes().empty());
    EXPECT_TRUE(printer.transcript().empty());
    EXPECT_FALSE(printer.waitForReceived(1, 0ms));
    printer.receive(PrinterStream()("again\n"));
    EXPECT_EQ(printer.transcript(), "again\n");
}

TEST(VirtualPrinter, WhatItKeepsStaysWithinItsBound) {
    // Raster images overprinted in one place by reverse feeds pile up
    // without the paper getting longer, so only the memory bound stops them.
    PrinterStream unit;
    unit({0x1D, 0x76, 0x30, 0x00, 80, 0, 64, 0}).repeat(80 * 64, 0x5A)({0x1B, 0x6A, 128});
    const Bytes& piece = unit.bytes();
    VirtualPrinter printer("H81");
    const std::size_t pieces = (std::size_t{52} << 20) / piece.size();
    for (std::size_t i = 0; i < pieces; ++i) printer.receive(piece);

    EXPECT_LE(printer.retainedBytes(), VirtualPrinter::kMaxRetainedBytes);
    const Bytes kept = printer.receivedBytes();
    ASSERT_EQ(kept.size(), VirtualPrinter::kReceivedBytesKept);
    EXPECT_TRUE(std::equal(kept.end() - static_cast<std::ptrdiff_t>(piece.size()), kept.end(), piece.begin()));
    EXPECT_TRUE(printer.waitForReceived(pieces * piece.size(), 0ms));
    const std::string transcript = printer.transcript();
    EXPECT_EQ(transcript.rfind("[earlier output dropped]\n[image 640x64]\n", 0), 0u);
}

}  // namespace
