#pragma once
// What the printer has put on paper, per station, as drawing records rather
// than pixels: lines of styled text and bit images, images, barcodes, pages
// printed in page mode, cuts and markers. The transcript and the picture
// are both made from these records.
//
// Positions are in dots from the start of the station's paper. The paper
// moves in half-dot steps (the printers' vertical motion unit), so feeds
// are given in half dots.
//
// Memory is bounded: a station keeps at most kMaxBlocksPerStation records
// and kMaxLengthDots of paper; all stations together keep at most
// kMaxRetainedBytes. Beyond that the oldest records are dropped, and the
// station remembers that it lost some.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <variant>
#include <vector>

#include "emulator/ModelCatalogue.h"

namespace emulator {

struct TextStyle {
    std::uint8_t font = 0;         // 0 font A (12 x 24), 1 font B (9 x 17)
    std::uint8_t widthScale = 1;   // 1-8
    std::uint8_t heightScale = 1;  // 1-8
    std::uint8_t underline = 0;    // 0 none, 1 thin, 2 thick
    std::uint8_t codeTable = 0;    // ESC t
    bool bold = false;
    bool reverse = false;
    bool red = false;
    bool operator==(const TextStyle&) const = default;
};

// One piece of a printed line. Text bytes and bit-image column data are kept
// in the line's own buffers; `offset`/`length` point into them.
struct LineItem {
    enum class Kind : std::uint8_t { Text, BitImage };
    Kind kind = Kind::Text;
    std::uint8_t imageMode = 0;  // BitImage: the m of ESC * m
    TextStyle style;             // Text
    int x = 0;                   // dots from the line's left end
    int width = 0;
    int height = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    int advance = 0;  // Text: dots per character
};

struct PrintedLine {
    std::vector<LineItem> items;
    std::string text;
    std::vector<std::uint8_t> data;
    std::uint8_t align = 0;  // 0 left, 1 centre, 2 right
    bool upsideDown = false;
};

// ESC * column data: m 0 and 1 carry one byte per column (8 dots, each
// drawn three dots tall), m 32 and 33 three bytes (24 dots); m 0 and 32
// draw each column two dots wide.
struct BitImageBand {
    std::uint8_t mode = 0;
    int columns = 0;
    std::vector<std::uint8_t> data;
};

// Bands printed one under the other with nothing between them: one image.
struct ImageStack {
    std::vector<BitImageBand> bands;
};

// GS v 0: rows of bits, most significant bit left; mode bit 0 doubles the
// width, bit 1 the height.
struct RasterImage {
    std::uint8_t mode = 0;
    int bytesPerRow = 0;
    int rows = 0;
    std::vector<std::uint8_t> data;
};

struct BarcodePrint {
    std::string symbology;  // "CODE39", "EAN13", ...
    std::string data;       // as sent
    std::string problem;    // why nothing was drawn; empty when it was
    int moduleWidth = 0;
    int barHeight = 0;
    std::uint8_t hriPosition = 0;  // bit 0 above, bit 1 below
    std::uint8_t hriFont = 0;
    std::string hriText;
    // The symbol as modules, row after row; a row of a 1-D code is drawn
    // barHeight dots tall, a row of a 2-D code rowHeight dots.
    int columns = 0;
    int rows = 0;
    int rowHeight = 0;
    bool hexagonal = false;  // MaxiCode: odd rows sit half a module right
    std::vector<std::uint8_t> modules;
};

struct Block;

struct PagePrint {
    int areaX = 0;
    int areaY = 0;
    int areaWidth = 0;
    int areaHeight = 0;
    std::uint8_t direction = 0;  // ESC T when the page was printed
    // Laid out in the page's own frame (see Block::direction).
    std::vector<Block> children;
};

struct CutMark {
    bool partial = false;
};

struct BlankLines {
    int count = 0;
};

struct Marker {
    std::string text;
};

using BlockContent = std::variant<PrintedLine, ImageStack, RasterImage, BarcodePrint, PagePrint,
                                  CutMark, BlankLines, Marker>;

struct Block {
    std::int64_t y = 0;  // top; inside a page, from the top of its frame
    int x = 0;           // left end
    int width = 0;
    int height = 0;
    // Inside a page: the print direction (ESC T) the block was laid out in,
    // 0 left to right, 1 bottom to top, 2 right to left, 3 top to bottom.
    std::uint8_t direction = 0;
    std::size_t bytes = 0;  // memory the block holds, set by finishBlock()
    BlockContent content;
};

// Works out Block::bytes; call once the block is complete.
void finishBlock(Block& block);

class Paper {
public:
    static constexpr std::size_t kMaxRetainedBytes = std::size_t{46} << 20;
    static constexpr std::size_t kMaxBlocksPerStation = 65536;
    static constexpr std::int64_t kMaxLengthDots = 32768;

    explicit Paper(const ModelInfo& model);

    const ModelInfo& model() const { return m_model; }

    // Puts a finished block at the station's present position, then moves
    // the paper on by `advanceHalfDots`. A bit image directly below another
    // of the same width becomes part of it.
    void place(Station station, Block&& block, std::int64_t advanceHalfDots);
    // Moves the paper; backwards (reverse feed) no further than the last
    // cut or the oldest paper kept.
    void feed(Station station, std::int64_t halfDots);
    // Empty lines (a line feed with nothing to print), shown in the
    // transcript; the paper moves by `halfDots` in all.
    void blankLines(Station station, int count, std::int64_t halfDots);

    // Present position in dots.
    std::int64_t position(Station station) const;
    const std::deque<Block>& blocks(Station station) const;
    // Where the kept paper begins, in dots.
    std::int64_t origin(Station station) const;
    // Whether older paper of this station was dropped.
    bool dropped(Station station) const;

    std::size_t retainedBytes() const { return m_bytes; }
    void clear();

private:
    struct Roll {
        std::deque<Block> blocks;
        std::int64_t halfDots = 0;
        std::int64_t origin = 0;
        std::int64_t lastCut = 0;
        bool dropped = false;
    };

    Roll& roll(Station station) { return m_rolls[static_cast<std::size_t>(station)]; }
    const Roll& roll(Station station) const { return m_rolls[static_cast<std::size_t>(station)]; }
    bool mergeImage(Roll& roll, Block& block);
    void dropOldest(Roll& roll);
    void enforceLimits(Station station);

    const ModelInfo& m_model;
    Roll m_rolls[kStationCount];
    std::size_t m_bytes = 0;
};

}  // namespace emulator
