#pragma once
// Cuts the printer's byte stream into text, single control bytes and
// commands. Bytes are taken one at a time as far as framing goes, so a
// stream split at any point - inside a command, inside image data - frames
// exactly as the whole stream does; runs of text and image data are handed
// on in one piece for speed.
//
// Length rule. A command starts with ESC (1B), GS (1D), FS (1C) or DLE (10).
// Its length follows from its first bytes: the commands of the printers'
// command language have their own lengths (and data counts, such as the
// column count of ESC * or the length byte of GS k); any other introducer
// and command byte pair is two bytes long. Commands whose data is announced
// by a length field (GS ( and FS ( with pL pH, GS 8 L with four length
// bytes, GS * x y) are skipped with their data, except the two-dimensional
// symbol commands (GS ( k), which are handed on whole. Nothing the parser
// keeps grows with the stream: only the longest fixed command (a barcode
// with 255 data bytes) and one GS ( k (at most 65,535 parameter bytes) are
// ever buffered.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace emulator {

class CommandSink {
public:
    // Printable bytes, 0x20-0xFF.
    virtual void text(const std::uint8_t* bytes, std::size_t count) = 0;
    // Any other byte that does not start a command (LF, FF, NUL, ...).
    virtual void control(std::uint8_t byte) = 0;
    // A complete command with its parameters; for GS k and GS ( k also its
    // data.
    virtual void command(const std::uint8_t* bytes, std::size_t count) = 0;
    // A bit image (ESC *) or raster image (GS v 0): the command's header,
    // then its data in pieces, then the end.
    virtual void imageStart(const std::uint8_t* header, std::size_t count,
                            std::uint64_t dataLength) = 0;
    virtual void imageData(const std::uint8_t* bytes, std::size_t count) = 0;
    virtual void imageEnd() = 0;
    // A command passed over by its announced length, or one that cannot be
    // carried out as sent (an ESC * of unknown density, a GS k whose data
    // runs past 255 bytes). `dataLength` more bytes are skipped after it.
    virtual void skipped(const std::uint8_t* header, std::size_t count,
                         std::uint64_t dataLength) = 0;

protected:
    ~CommandSink() = default;
};

class CommandParser {
public:
    // Longest barcode data a GS k carries (function B's length byte).
    static constexpr std::size_t kMaxBarcodeData = 255;

    void feed(std::span<const std::uint8_t> bytes, CommandSink& sink);
    // Forgets a half-received command (printer reset).
    void reset();

private:
    enum class State { Ground, Header, Image, Barcode, Symbol, Skip, SkipToNul };

    void headerComplete(CommandSink& sink);

    State m_state = State::Ground;
    // Header bytes, and for a barcode its data behind them.
    std::array<std::uint8_t, 8 + kMaxBarcodeData> m_command{};
    std::size_t m_length = 0;
    std::size_t m_headerLength = 0;
    // A GS ( k being received: its header and the parameter bytes so far.
    std::vector<std::uint8_t> m_symbol;
    // Image data, barcode data, symbol parameters or skipped bytes still to
    // come.
    std::uint64_t m_remaining = 0;
};

}  // namespace emulator
