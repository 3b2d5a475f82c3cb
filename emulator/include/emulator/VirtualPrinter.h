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
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "emulator/PrinterState.h"

namespace emulator {

class VirtualPrinter {
public:
    // modelCode as in device names: "H81", "K93", "E50", "F60", "A14X" ...
    // Throws std::invalid_argument for a code the catalogue does not know.
    explicit VirtualPrinter(const std::string& modelCode, std::uint32_t internalId = 0);
    ~VirtualPrinter();

    const std::string& modelCode() const;
    std::uint32_t internalId() const;
    int printWidthDots() const;

    // Bytes from the host on the data channel, interpreted in order. Data
    // may arrive split anywhere, even inside a command. A powered-off printer
    // ignores (and does not record) what it is sent.
    void receive(std::span<const std::uint8_t> bytes);

    // The 4-byte status block in this model's bit layout for the present state.
    StatusBlock statusBlock() const;
    bool automaticStatusEnabled() const;

    PrinterState state() const;
    // Applies a change atomically; when automatic status is enabled and the
    // block changed, the new block goes to the host sink. `change` runs with
    // the printer's lock held and must not call the printer. Switching the
    // power resets the interpreter (automatic status off, unprinted data
    // gone); a drawer opened by a pulse shuts after drawerClosesAfter.
    void changeState(const std::function<void(PrinterState&)>& change);

    // Where the printer's own bytes go (answers to queries, automatic status).
    // The answer to ESC v received here honours statusSilent and
    // statusReplyDelay; bytes for the host that follow a late answer wait
    // behind it, state listeners do not.
    void setHostSink(std::function<void(std::span<const std::uint8_t>)> sink);
    // Called after every state change with the new state.
    void addStateListener(std::function<void(const PrinterState&)> listener);

    // Every byte received, in order, since construction or the last clear;
    // only the last kReceivedBytesKept of them once more arrived.
    Bytes receivedBytes() const;
    // How many bytes were received since construction or the last clear,
    // also those no longer kept.
    std::uint64_t receivedCount() const;
    // Waits until at least `count` bytes have been received (all of them
    // count, also those no longer kept).
    bool waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    // The paper as text, one line per printed line, with markers for what
    // text cannot show:
    //   [center] [right] [upside-down]         at the start of a line
    //   [bold] [underline] [underline 2] [reverse] [red] [font-b] [size WxH]
    //                                           where a style starts; [/bold]
    //                                           and so on where it ends
    //   [image WxH]                             a bit image (bands printed one
    //                                           under the other count as one)
    //                                           or raster image, in dots
    //   [barcode CODE39 "ABC"]                  a barcode, data as sent (bytes
    //                                           outside ASCII as \xNN), then
    //                                           " not printed: why" when the
    //                                           printer could not draw it
    //   [qr "https://..."]                      a QR code, data as for barcodes
    //   [cut] [cut partial] [mark-feed] [mark-feed cutter] [slip ejected]
    //   [page-mode WxH dir N] ... [end page-mode]   a page-mode block
    //   [earlier output dropped]                the paper kept has a limit
    // An empty line is a line feed with nothing to print (more than ten in a
    // row read "[N blank lines]"). A model with several stations gets one
    // section per station that printed: "== journal ==", "== receipt ==",
    // "== slip ==". Text is UTF-8, decoded with the code table in force.
    std::string transcript() const;
    // Commands the interpreter did not know, one line each, for diagnosis.
    std::vector<std::string> unknownCommands() const;
    // The paper as a picture: one strip per station, cut marks visible.
    bool writePng(const std::string& path, std::string* error = nullptr) const;
    // The same picture as the contents of a PNG file.
    bool renderPng(Bytes* png, std::string* error = nullptr) const;
    void clearOutput();

    // Memory held for the output above (received bytes, printed paper,
    // unknown-command lines). It never exceeds kMaxRetainedBytes: the oldest
    // received bytes and the oldest paper are dropped first.
    std::size_t retainedBytes() const;
    static constexpr std::size_t kReceivedBytesKept = std::size_t{16} << 20;
    static constexpr std::size_t kMaxRetainedBytes = std::size_t{64} << 20;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace emulator
