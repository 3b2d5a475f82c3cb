#pragma once
// One virtual printer: the model it answers as, the state a test or an
// operator changes, the command interpreter fed by the data channel, and
// what it has printed. Transports (TCP, pseudo-terminal, USB node) own no
// printer logic: they move bytes in through receive() and out through the
// host sink, and follow power and link changes through the state listener.
//
// Thread safety: every member may be called from any thread at once; the
// host sink and state listeners are called without the printer's lock held,
// in the order the events happened.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace emulator {

using Bytes = std::vector<std::uint8_t>;
using StatusBlock = std::array<std::uint8_t, 4>;

// The printer's physical condition. Everything here can change at any time.
struct PrinterState {
    bool powerOn = true;
    bool coverOpen = false;
    bool receiptNearEnd = false;
    bool receiptEnd = false;
    bool journalNearEnd = false;
    bool journalEnd = false;
    bool slipNearEnd = false;  // no paper at the slip's bottom sensor
    bool slipEnd = false;      // no paper at the slip's top sensor
    bool slipInserted = false;
    bool cutterError = false;
    bool motorError = false;
    bool resumeError = false;
    bool autoStatusResumeError = false;
    bool drawerOpen = false;
    // The drawer shuts by itself this long after a pulse opened it; zero
    // keeps it open until the state says otherwise.
    std::chrono::milliseconds drawerClosesAfter{0};
    bool networkLinkDown = false;
    // Status requests (network status port, USB) are answered late or never.
    std::chrono::milliseconds statusReplyDelay{0};
    bool statusSilent = false;
};

class VirtualPrinter {
public:
    // modelCode as in device names: "H81", "K93", "E50", "F60", "A14X" ...
    // Throws std::invalid_argument for a code the catalogue does not know.
    explicit VirtualPrinter(const std::string& modelCode, std::uint32_t internalId = 0);
    ~VirtualPrinter();

    const std::string& modelCode() const;
    std::uint32_t internalId() const;
    int printWidthDots() const;

    // Bytes from the host on the data channel, interpreted in order.
    void receive(std::span<const std::uint8_t> bytes);

    // The 4-byte status block in this model's bit layout for the present state.
    StatusBlock statusBlock() const;
    bool automaticStatusEnabled() const;

    PrinterState state() const;
    // Applies a change atomically; when automatic status is enabled and the
    // block changed, the new block goes to the host sink.
    void changeState(const std::function<void(PrinterState&)>& change);

    // Where the printer's own bytes go (answers to queries, automatic status).
    void setHostSink(std::function<void(std::span<const std::uint8_t>)> sink);
    // Called after every state change with the new state.
    void addStateListener(std::function<void(const PrinterState&)> listener);

    // Every byte received, in order, since construction or the last clear.
    Bytes receivedBytes() const;
    // Waits until at least `count` bytes have been received.
    bool waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    // Text lines with markers such as [bold], [cut], [barcode CODE39 "ABC"].
    std::string transcript() const;
    // Commands the interpreter did not know, one line each, for diagnosis.
    std::vector<std::string> unknownCommands() const;
    // The paper as a picture: one strip per station, cut marks visible.
    bool writePng(const std::string& path, std::string* error = nullptr) const;
    void clearOutput();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace emulator
