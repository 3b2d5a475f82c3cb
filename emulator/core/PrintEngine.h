#pragma once
// Carries out the printer's commands: print modes, line layout, stations,
// page mode, bit images, raster images, barcodes, feeds and cuts, putting
// the result on the Paper. Queries and the drawer pulse go to the host
// side through HostEvents.
//
// Lines are laid out as the printers do: characters and bit images collect
// in a line buffer until a line feed, a feed command or a full line prints
// it; alignment and upside-down printing take the setting in force when the
// line's first item arrived. A printed line moves the paper on by the feed
// asked for, but never by less than its own height, so bit-image bands
// followed by their short ESC J close up into one picture.
//
// Taken without visible effect: ESC R (international set), ESC c 3/4/5
// (sensor and panel switches), ESC c P (mark-feed target), GS V 'm', FS !
// and FS - (Kanji print modes). Not interpreted, recorded as unknown and
// passed over: Kanji mode, NV and downloaded images, absolute and relative
// positions, user-defined characters, real-time status (DLE EOT), and any
// command the parser frames by its generic length. A printer deselected
// with ESC = ignores everything but ESC =, ESC v and the drawer pulse.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "BarcodeEncoder.h"
#include "CommandParser.h"
#include "Paper.h"
#include "UnknownCommandLog.h"

namespace emulator {

class HostEvents {
public:
    // ESC v: the host wants the status block.
    virtual void statusRequested() = 0;
    // The F60's character-mode query (ESC j 'l').
    virtual void characterModeQueried() = 0;
    // GS a n: automatic status on (n != 0) or off.
    virtual void automaticStatusSet(bool enabled) = 0;
    // DLE DC4 1 m t: a pulse on drawer connector pin 2 or 5.
    virtual void drawerPulse(int pin, std::chrono::milliseconds length) = 0;

protected:
    ~HostEvents() = default;
};

// The settings the host changes with commands; ESC @ sets them back.
struct PrintModes {
    TextStyle style;
    bool redInk = false;             // ESC r
    std::uint8_t colourSelect = 0;   // ESC C: 0 picks the second colour
    std::uint8_t align = 0;
    bool upsideDown = false;
    int lineSpacing = 0;             // half dots
    int rightSpacing = 0;            // dots
    int barWidth = 3;
    int barHeight = 162;
    std::uint8_t hriPosition = 0;
    std::uint8_t hriFont = 0;
    // GS ( k QR code settings and the data stored for the next print.
    int qrModuleSize = 3;
    int qrLevel = 0;                 // 0 L, 1 M, 2 Q, 3 H
    std::string qrData;
    std::uint8_t stations = 0;       // bit 0 journal, bit 1 receipt, bit 2 slip
    bool parallel = false;           // ESC z: journal tab ignored
    int areaX = 0;
    int areaY = 0;
    int areaWidth = 0;
    int areaHeight = 0;
    std::uint8_t direction = 0;
};

// A line being collected, before it is printed.
struct LineBuffer {
    PrintedLine line;
    int x = 0;
    int height = 0;
};

// Page mode: what the page has collected so far.
struct PageInProgress {
    PagePrint print;
    LineBuffer line;
    std::int64_t halfDots = 0;
    std::size_t bytes = 0;
};

// An ESC * or GS v 0 whose data is still arriving.
struct ImageInFlight {
    bool raster = false;
    std::uint64_t received = 0;
    // ESC *: the bytes each target keeps (the stations, then the page).
    std::size_t keptBytes[kStationCount + 1] = {};
    // GS v 0.
    RasterImage image;
    int sourceBytesPerRow = 0;
    bool active = false;
};

class PrintEngine : private CommandSink {
public:
    // Page mode areas are at most this tall; one without a height set
    // (ESC W with dy 0, or none at all) is kDefaultPageHeightDots tall.
    static constexpr int kMaxPageHeightDots = 8192;
    static constexpr int kDefaultPageHeightDots = 1662;
    // What one page may collect before FF prints it; more is discarded.
    static constexpr std::size_t kMaxPageBytes = std::size_t{8} << 20;
    // Raster image rows kept of one GS v 0; further rows are passed over.
    static constexpr int kMaxRasterRows = 4096;

    PrintEngine(const ModelInfo& model, Paper& paper, HostEvents& host);

    void feed(std::span<const std::uint8_t> bytes);
    // Power cycle: every mode back to its power-on value, unprinted data
    // and half-received commands gone.
    void reset();

    const UnknownCommandLog& unknownCommands() const { return m_unknown; }
    void clearUnknownCommands() { m_unknown.clear(); }

private:
    // Where a line goes: a station's paper, or the page being collected.
    static constexpr int kPageTarget = static_cast<int>(kStationCount);

    // CommandSink
    void text(const std::uint8_t* bytes, std::size_t count) override;
    void control(std::uint8_t byte) override;
    void command(const std::uint8_t* bytes, std::size_t count) override;
    void imageStart(const std::uint8_t* header, std::size_t count,
                    std::uint64_t dataLength) override;
    void imageData(const std::uint8_t* bytes, std::size_t count) override;
    void imageEnd() override;
    void skipped(const std::uint8_t* header, std::size_t count, std::uint64_t dataLength) override;

    bool escCommand(const std::uint8_t* c, std::size_t n);
    bool gsCommand(const std::uint8_t* c, std::size_t n);
    bool fsCommand(const std::uint8_t* c, std::size_t n);
    bool dleCommand(const std::uint8_t* c, std::size_t n);

    void initialise();
    PrintModes defaultModes() const;
    TextStyle currentStyle() const;
    int defaultLineSpacing() const;

    std::uint8_t lineStartMask() const;
    // The targets text goes to now, and the stations a feed moves.
    std::vector<int> writeTargets() const;
    std::vector<int> feedTargets() const;
    LineBuffer& buffer(int target);
    int targetWidth(int target) const;
    int frameWidth() const;
    int frameHeight() const;

    void appendText(int target, const std::uint8_t* bytes, std::size_t count);
    void startLine(LineBuffer& line) const;
    Block takeLine(LineBuffer& line, int width) const;
    // Prints the target's line buffer and feeds; `blankCount` empty lines
    // are recorded when there was nothing to print.
    void printLine(int target, std::int64_t feedHalfDots, int blankCount);
    void printLines(std::int64_t feedHalfDots, int blankCount);
    void flushPending();
    void placeBlock(int target, Block&& block);
    int alignedX(int width, int areaWidth) const;

    void selectStations(std::uint8_t n);
    void enterPageMode();
    void updatePageArea();
    void printPage();
    void cut(bool partial, int feedHalfDots);
    void marker(std::string text);
    void barcode(const std::uint8_t* c, std::size_t n);
    // GS ( k: true when it was a QR code function this printer carries out.
    bool symbolCommand(const std::uint8_t* c, std::size_t n);
    void placeBarcode(BarcodePrint print, EncodedSymbol symbol);
    void rasterEnd();

    void unknown(const std::uint8_t* bytes, std::size_t count) { m_unknown.add(bytes, count); }

    const ModelInfo& m_model;
    Paper& m_paper;
    HostEvents& m_host;
    CommandParser m_parser;
    UnknownCommandLog m_unknown;
    PrintModes m_modes;
    bool m_selected = true;  // ESC =
    std::uint8_t m_writeMask = 0;
    LineBuffer m_lines[kStationCount];
    std::optional<PageInProgress> m_page;
    ImageInFlight m_image;
};

}  // namespace emulator
