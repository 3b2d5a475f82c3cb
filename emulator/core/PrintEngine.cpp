#include "PrintEngine.h"

#include <algorithm>

#include "BarcodeEncoder.h"

namespace emulator {

namespace {

constexpr std::uint8_t DLE = 0x10;
constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t FS = 0x1C;
constexpr std::uint8_t GS = 0x1D;

constexpr int kJournal = static_cast<int>(Station::Journal);
constexpr int kReceipt = static_cast<int>(Station::Receipt);
constexpr int kSlip = static_cast<int>(Station::Slip);

constexpr std::uint8_t bit(int station) { return static_cast<std::uint8_t>(1u << station); }

int le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

// Parameters given either as a number or as its digit ('0' = 0).
int digitOrNumber(std::uint8_t p) { return p >= '0' ? p - '0' : p; }

constexpr int kFontAWidth = 12;
constexpr int kFontAHeight = 24;
constexpr int kFontBWidth = 9;
constexpr int kFontBHeight = 17;
// Every ESC * band is 24 dots tall: the 8-dot modes draw each dot three
// dots tall.
constexpr int kBandHeight = 24;
// Room between a barcode's bars and its human-readable text.
constexpr int kHriGap = 2;

int cellWidth(std::uint8_t font) { return font == 1 ? kFontBWidth : kFontAWidth; }
int cellHeight(std::uint8_t font) { return font == 1 ? kFontBHeight : kFontAHeight; }

}  // namespace

PrintEngine::PrintEngine(const ModelInfo& model, Paper& paper, HostEvents& host)
    : m_model(model), m_paper(paper), m_host(host), m_modes(defaultModes()) {
    m_writeMask = lineStartMask();
}

std::uint8_t PrintEngine::lineStartMask() const {
    // With journal and receipt selected, a line's text goes to the journal
    // until the journal tab, and to the receipt after it - unless parallel
    // printing puts it on both.
    const std::uint8_t both = bit(kJournal) | bit(kReceipt);
    return m_modes.stations == both && !m_modes.parallel ? bit(kJournal) : m_modes.stations;
}

int PrintEngine::defaultLineSpacing() const {
    // One sixth of an inch, in half dots.
    return (m_model.dpi + 1) / 3;
}

PrintModes PrintEngine::defaultModes() const {
    PrintModes modes;
    modes.lineSpacing = defaultLineSpacing();
    modes.stations = bit(kReceipt);
    return modes;
}

void PrintEngine::feed(std::span<const std::uint8_t> bytes) { m_parser.feed(bytes, *this); }

void PrintEngine::reset() {
    m_parser.reset();
    m_image = ImageInFlight{};
    m_selected = true;
    initialise();
}

void PrintEngine::initialise() {
    m_modes = defaultModes();
    m_writeMask = lineStartMask();
    for (auto& line : m_lines) line = LineBuffer{};
    m_page.reset();
}

TextStyle PrintEngine::currentStyle() const {
    TextStyle style = m_modes.style;
    style.red = m_modes.redInk && m_modes.colourSelect == 0;
    return style;
}

std::vector<int> PrintEngine::writeTargets() const {
    if (m_page) return {kPageTarget};
    std::vector<int> targets;
    for (int station = 0; station < static_cast<int>(kStationCount); ++station) {
        if (m_writeMask & bit(station)) targets.push_back(station);
    }
    return targets;
}

std::vector<int> PrintEngine::feedTargets() const {
    if (m_page) return {kPageTarget};
    std::vector<int> targets;
    for (int station = 0; station < static_cast<int>(kStationCount); ++station) {
        if (m_modes.stations & bit(station)) targets.push_back(station);
    }
    return targets;
}

LineBuffer& PrintEngine::buffer(int target) {
    return target == kPageTarget ? m_page->line : m_lines[target];
}

int PrintEngine::frameWidth() const {
    const auto& area = m_page->print;
    return m_modes.direction % 2 == 1 ? area.areaHeight : area.areaWidth;
}

int PrintEngine::frameHeight() const {
    const auto& area = m_page->print;
    return m_modes.direction % 2 == 1 ? area.areaWidth : area.areaHeight;
}

int PrintEngine::targetWidth(int target) const {
    if (target == kPageTarget) return frameWidth();
    return m_model.stationWidth(static_cast<Station>(target));
}

int PrintEngine::alignedX(int width, int areaWidth) const {
    if (width >= areaWidth) return 0;
    switch (m_modes.align) {
    case 1:
        return (areaWidth - width) / 2;
    case 2:
        return areaWidth - width;
    default:
        return 0;
    }
}

// ---- text and lines ------------------------------------------------------

void PrintEngine::text(const std::uint8_t* bytes, std::size_t count) {
    if (!m_selected) return;
    if (m_page) {
        appendText(kPageTarget, bytes, count);
        return;
    }
    for (int station = 0; station < static_cast<int>(kStationCount); ++station) {
        if (m_writeMask & bit(station)) appendText(station, bytes, count);
    }
}

void PrintEngine::startLine(LineBuffer& line) const {
    if (!line.line.items.empty()) return;
    line.line.align = m_modes.align;
    line.line.upsideDown = m_modes.upsideDown && !m_page;
}

void PrintEngine::appendText(int target, const std::uint8_t* bytes, std::size_t count) {
    const TextStyle style = currentStyle();
    const int advance = (cellWidth(style.font) + m_modes.rightSpacing) * style.widthScale;
    const int height = cellHeight(style.font) * style.heightScale;
    while (count > 0) {
        LineBuffer& line = buffer(target);
        const int room = (targetWidth(target) - line.x) / advance;
        if (room <= 0) {
            // A character wider than the whole line cannot be printed at all.
            if (line.line.items.empty()) return;
            printLine(target, m_modes.lineSpacing, 0);
            continue;
        }
        startLine(line);
        const std::size_t take = std::min(count, static_cast<std::size_t>(room));
        auto& items = line.line.items;
        const bool extends = !items.empty() && items.back().kind == LineItem::Kind::Text &&
                             items.back().style == style && items.back().advance == advance &&
                             items.back().x + items.back().width == line.x;
        if (!extends) {
            LineItem item;
            item.kind = LineItem::Kind::Text;
            item.style = style;
            item.x = line.x;
            item.height = height;
            item.advance = advance;
            item.offset = static_cast<std::uint32_t>(line.line.text.size());
            items.push_back(item);
        }
        LineItem& item = items.back();
        line.line.text.append(reinterpret_cast<const char*>(bytes), take);
        item.length += static_cast<std::uint32_t>(take);
        item.width += static_cast<int>(take) * advance;
        line.x += static_cast<int>(take) * advance;
        line.height = std::max(line.height, height);
        bytes += take;
        count -= take;
    }
}

Block PrintEngine::takeLine(LineBuffer& line, int width) const {
    Block block;
    block.width = line.x;
    block.height = line.height;
    const int content = std::min(line.x, width);
    block.x = line.line.align == 1 ? (width - content) / 2 : line.line.align == 2 ? width - content : 0;
    const auto& items = line.line.items;
    if (items.size() == 1 && items[0].kind == LineItem::Kind::BitImage && !line.line.upsideDown) {
        const LineItem& item = items[0];
        BitImageBand band;
        band.mode = item.imageMode;
        band.columns = static_cast<int>(item.length) / (item.imageMode >= 32 ? 3 : 1);
        band.data = std::move(line.line.data);
        block.x += item.x;
        block.width = item.width;
        block.height = item.height;
        ImageStack stack;
        stack.bands.push_back(std::move(band));
        block.content = std::move(stack);
    } else {
        block.content = std::move(line.line);
    }
    finishBlock(block);
    line = LineBuffer{};
    return block;
}

void PrintEngine::printLine(int target, std::int64_t feedHalfDots, int blankCount) {
    LineBuffer& line = buffer(target);
    if (target == kPageTarget) {
        PageInProgress& page = *m_page;
        std::int64_t advance = feedHalfDots;
        if (!line.line.items.empty()) {
            Block block = takeLine(line, frameWidth());
            block.y = page.halfDots / 2;
            block.direction = m_modes.direction;
            advance = std::max<std::int64_t>(advance, 2 * block.height);
            if (block.y + block.height <= frameHeight() && page.bytes + block.bytes <= kMaxPageBytes) {
                page.bytes += block.bytes;
                page.print.children.push_back(std::move(block));
            }
        }
        line = LineBuffer{};
        page.halfDots = std::min<std::int64_t>(page.halfDots + std::max<std::int64_t>(advance, 0),
                                               2 * std::int64_t{kMaxPageHeightDots});
        return;
    }
    const auto station = static_cast<Station>(target);
    if (line.line.items.empty()) {
        line = LineBuffer{};
        if (blankCount > 0) {
            m_paper.blankLines(station, blankCount, feedHalfDots);
        } else {
            m_paper.feed(station, feedHalfDots);
        }
        return;
    }
    Block block = takeLine(line, targetWidth(target));
    const std::int64_t advance = std::max<std::int64_t>(feedHalfDots, 2 * block.height);
    m_paper.place(station, std::move(block), advance);
}

void PrintEngine::printLines(std::int64_t feedHalfDots, int blankCount) {
    for (const int target : feedTargets()) printLine(target, feedHalfDots, blankCount);
    m_writeMask = lineStartMask();
}

void PrintEngine::flushPending() {
    for (const int target : feedTargets()) {
        if (!buffer(target).line.items.empty()) printLine(target, 0, 0);
    }
}

void PrintEngine::placeBlock(int target, Block&& block) {
    if (target != kPageTarget) {
        const std::int64_t advance = 2 * std::int64_t{block.height};
        m_paper.place(static_cast<Station>(target), std::move(block), advance);
        return;
    }
    PageInProgress& page = *m_page;
    block.y = page.halfDots / 2;
    block.direction = m_modes.direction;
    const int height = block.height;
    if (block.y + height <= frameHeight() && page.bytes + block.bytes <= kMaxPageBytes) {
        page.bytes += block.bytes;
        page.print.children.push_back(std::move(block));
    }
    page.halfDots = std::min<std::int64_t>(page.halfDots + 2 * std::int64_t{height},
                                           2 * std::int64_t{kMaxPageHeightDots});
}

void PrintEngine::marker(std::string text) {
    flushPending();
    Block block;
    block.content = Marker{std::move(text)};
    finishBlock(block);
    m_paper.place(Station::Receipt, std::move(block), 0);
}

// ---- single bytes --------------------------------------------------------

void PrintEngine::control(std::uint8_t byte) {
    if (!m_selected) return;
    switch (byte) {
    case 0x00:
    case 0x0D:
        // NUL pads command blocks; CR does nothing without automatic line feed.
        return;
    case 0x0A:
        printLines(m_modes.lineSpacing, 1);
        return;
    case 0x0C:
        if (m_page) {
            printPage();
        } else if (m_modes.stations == bit(kSlip)) {
            printLine(kSlip, 0, 0);
            Block block;
            block.content = Marker{"slip ejected"};
            finishBlock(block);
            m_paper.place(Station::Slip, std::move(block), 0);
        }
        return;
    case 0x09:
        for (const int target : writeTargets()) {
            LineBuffer& line = buffer(target);
            const TextStyle style = currentStyle();
            const int step = 8 * (cellWidth(style.font) + m_modes.rightSpacing) * style.widthScale;
            const int next = (line.x / step + 1) * step;
            if (next <= targetWidth(target)) line.x = next;
        }
        return;
    case 0x1E:
        if (m_writeMask == bit(kJournal) && lineStartMask() != m_modes.stations && !m_page) {
            m_writeMask = bit(kReceipt);
        }
        return;
    case 0x18:
        if (m_page) {
            m_page->print.children.clear();
            m_page->line = LineBuffer{};
            m_page->bytes = 0;
            return;
        }
        break;
    default:
        break;
    }
    unknown(&byte, 1);
}

// ---- commands ------------------------------------------------------------

void PrintEngine::command(const std::uint8_t* c, std::size_t n) {
    if (!m_selected) {
        // A deselected printer still answers, and still pulses the drawer.
        if (c[0] == ESC && c[1] == '=') m_selected = (c[2] & 1) != 0;
        if (c[0] == ESC && c[1] == 'v') m_host.statusRequested();
        if (c[0] == DLE) dleCommand(c, n);
        return;
    }
    bool known = false;
    switch (c[0]) {
    case ESC:
        known = escCommand(c, n);
        break;
    case GS:
        known = gsCommand(c, n);
        break;
    case FS:
        known = fsCommand(c, n);
        break;
    default:
        known = dleCommand(c, n);
        break;
    }
    if (!known) unknown(c, n);
}

void PrintEngine::skipped(const std::uint8_t* header, std::size_t count, std::uint64_t dataLength) {
    if (m_selected) m_unknown.add(header, count, dataLength);
}

bool PrintEngine::escCommand(const std::uint8_t* c, std::size_t n) {
    const std::uint8_t p = n > 2 ? c[2] : 0;
    TextStyle& style = m_modes.style;
    switch (c[1]) {
    case '@':
        initialise();
        return true;
    case '=':
        m_selected = (p & 1) != 0;
        return true;
    case 'S':
        // Back to standard mode; whatever the page collected is discarded.
        m_page.reset();
        return true;
    case 't':
        style.codeTable = p;
        return true;
    case 'R':
        return true;
    case 'M':
        style.font = (p == 1 || p == '1') ? 1 : 0;
        return true;
    case '!':
        style.font = p & 0x01;
        style.bold = (p & 0x08) != 0;
        style.heightScale = (p & 0x10) ? 2 : 1;
        style.widthScale = (p & 0x20) ? 2 : 1;
        style.underline = (p & 0x80) ? 1 : 0;
        return true;
    case '-':
        if (digitOrNumber(p) <= 2) style.underline = static_cast<std::uint8_t>(digitOrNumber(p));
        return true;
    case 'E':
    case 'G':
        style.bold = (p & 1) != 0;
        return true;
    case '{':
        m_modes.upsideDown = (p & 1) != 0;
        return true;
    case 'a':
        if (digitOrNumber(p) <= 2) m_modes.align = static_cast<std::uint8_t>(digitOrNumber(p));
        return true;
    case 'r':
        m_modes.redInk = (p & 1) != 0;
        return true;
    case 'C':
        m_modes.colourSelect = p & 1;
        return true;
    case '3':
        m_modes.lineSpacing = p;
        return true;
    case '2':
        m_modes.lineSpacing = defaultLineSpacing();
        return true;
    case 'd':
        printLines(std::int64_t{p} * m_modes.lineSpacing, p);
        return true;
    case 'J':
        printLines(p, 0);
        return true;
    case 'e':
    case 'j': {
        if (c[1] == 'j' && p == 'l' && m_model.statusLayout == StatusLayout::F60) {
            m_host.characterModeQueried();
            return true;
        }
        if (m_page) return true;
        const std::int64_t back = c[1] == 'e' ? std::int64_t{p} * m_modes.lineSpacing : p;
        for (const int target : feedTargets()) {
            printLine(target, 0, 0);
            m_paper.feed(static_cast<Station>(target), -back);
        }
        return true;
    }
    case 'c':
        if (p == '0') selectStations(c[3]);
        return p == '0' || p == '3' || p == '4' || p == '5' || p == 'P';
    case 'z':
        m_modes.parallel = (p & 1) != 0;
        m_writeMask = lineStartMask();
        return true;
    case 'L':
        enterPageMode();
        return true;
    case 'W':
        m_modes.areaX = le16(c + 2);
        m_modes.areaY = le16(c + 4);
        m_modes.areaWidth = le16(c + 6);
        m_modes.areaHeight = le16(c + 8);
        if (m_page) {
            updatePageArea();
            m_page->halfDots = 0;
        }
        return true;
    case 'T':
        if (digitOrNumber(p) <= 3) m_modes.direction = static_cast<std::uint8_t>(digitOrNumber(p));
        return true;
    case 'v':
        m_host.statusRequested();
        return true;
    case ' ':
        m_modes.rightSpacing = p;
        return true;
    default:
        return false;
    }
}

bool PrintEngine::gsCommand(const std::uint8_t* c, std::size_t n) {
    const std::uint8_t p = n > 2 ? c[2] : 0;
    switch (c[1]) {
    case '!':
        // Width in bits 4-6, height in bits 0-2; anything above 8 times is
        // not a size the printers have.
        if ((p & 0x88) == 0) {
            m_modes.style.widthScale = static_cast<std::uint8_t>((p >> 4) + 1);
            m_modes.style.heightScale = static_cast<std::uint8_t>((p & 0x07) + 1);
        }
        return true;
    case 'B':
        m_modes.style.reverse = (p & 1) != 0;
        return true;
    case 'V':
        switch (p) {
        case 0: case 48:
            cut(false, 0);
            return true;
        case 1: case 49:
            cut(true, 0);
            return true;
        case 65: case 97: case 103:
            cut(false, c[3]);
            return true;
        case 66: case 98: case 104:
            cut(true, c[3]);
            return true;
        case 99:
            marker("mark-feed cutter");
            return true;
        case 109:
            return true;
        default:
            return false;
        }
    case 'w':
        if (p >= 1 && p <= 6) m_modes.barWidth = p;
        return true;
    case 'h':
        if (p >= 1) m_modes.barHeight = p;
        return true;
    case 'H':
        if (digitOrNumber(p) <= 3) m_modes.hriPosition = static_cast<std::uint8_t>(digitOrNumber(p));
        return true;
    case 'f':
        m_modes.hriFont = (p == 1 || p == '1') ? 1 : 0;
        return true;
    case 'k':
        if (!barcodeSystemFor(p)) return false;
        barcode(c, n);
        return true;
    case '(':
        // Recorded like the counted commands the parser passes over.
        if (!symbolCommand(c, n)) m_unknown.add(c, 5, n - 5);
        return true;
    case 0x0C:
        if (!m_page) marker("mark-feed");
        return true;
    case 'a':
        m_host.automaticStatusSet(p != 0);
        return true;
    default:
        return false;
    }
}

bool PrintEngine::fsCommand(const std::uint8_t* c, std::size_t) {
    // FS ! and FS - set the Kanji print mode and underline; single-byte text
    // does not show them.
    return c[1] == '!' || c[1] == '-';
}

bool PrintEngine::dleCommand(const std::uint8_t* c, std::size_t n) {
    if (c[1] != 0x14 || n != 5 || c[2] != 1) return false;
    const int pin = (c[3] == 1 || c[3] == '1') ? 5 : 2;
    const int units = c[4];
    if (units >= 1 && units <= 8) m_host.drawerPulse(pin, std::chrono::milliseconds(100 * units));
    return true;
}

void PrintEngine::selectStations(std::uint8_t n) {
    std::uint8_t mask = 0;
    if ((n & 0x04) && m_model.hasStation(Station::Slip)) {
        mask = bit(kSlip);
    } else {
        if ((n & 0x01) && m_model.hasStation(Station::Journal)) mask |= bit(kJournal);
        if (n & 0x02) mask |= bit(kReceipt);
    }
    if (mask == 0 || m_page) return;
    flushPending();
    m_modes.stations = mask;
    m_writeMask = lineStartMask();
}

// ---- page mode -----------------------------------------------------------

void PrintEngine::enterPageMode() {
    if (m_page) return;
    flushPending();
    m_page.emplace();
    updatePageArea();
}

void PrintEngine::updatePageArea() {
    const int width = m_model.stationWidth(Station::Receipt);
    PagePrint& area = m_page->print;
    area.areaX = std::min(m_modes.areaX, width - 1);
    area.areaWidth = m_modes.areaWidth == 0 ? width - area.areaX
                                            : std::min(m_modes.areaWidth, width - area.areaX);
    area.areaY = std::min(m_modes.areaY, kMaxPageHeightDots);
    area.areaHeight = m_modes.areaHeight == 0 ? kDefaultPageHeightDots
                                              : std::min(m_modes.areaHeight, kMaxPageHeightDots);
}

void PrintEngine::printPage() {
    printLine(kPageTarget, 0, 0);
    Block block;
    block.x = m_page->print.areaX;
    block.width = m_page->print.areaWidth;
    block.height = m_page->print.areaY + m_page->print.areaHeight;
    m_page->print.direction = m_modes.direction;
    block.content = std::move(m_page->print);
    m_page.reset();
    finishBlock(block);
    const std::int64_t advance = 2 * std::int64_t{block.height};
    m_paper.place(Station::Receipt, std::move(block), advance);
}

// ---- cuts and barcodes ---------------------------------------------------

void PrintEngine::cut(bool partial, int feedHalfDots) {
    // Cuts are ignored in page mode, as the printers do.
    if (m_page) return;
    printLine(kReceipt, 0, 0);
    if (feedHalfDots > 0) m_paper.feed(Station::Receipt, feedHalfDots);
    Block block;
    block.width = m_model.stationWidth(Station::Receipt);
    block.content = CutMark{partial};
    finishBlock(block);
    m_paper.place(Station::Receipt, std::move(block), 0);
}

void PrintEngine::barcode(const std::uint8_t* c, std::size_t n) {
    const BarcodeSystem system = *barcodeSystemFor(c[2]);
    const std::size_t dataStart = c[2] <= 6 ? 3 : 4;
    BarcodePrint print;
    print.symbology = std::string(barcodeSystemName(system));
    print.data.assign(reinterpret_cast<const char*>(c + dataStart), n - dataStart);
    print.moduleWidth = m_modes.barWidth;
    print.barHeight = m_modes.barHeight;
    print.hriFont = m_modes.hriFont;
    EncodedSymbol symbol = encodeBarcode(system, print.data);
    placeBarcode(std::move(print), std::move(symbol));
}

bool PrintEngine::symbolCommand(const std::uint8_t* c, std::size_t n) {
    // GS ( k pL pH cn fn [parameters]: cn 49 is the QR code.
    constexpr std::size_t kHeader = 5;
    if (c[2] != 'k' || n < kHeader + 2 || c[5] != 49) return false;
    const std::uint8_t* parameters = c + kHeader + 2;
    const std::size_t count = n - kHeader - 2;
    switch (c[6]) {
    case 65:  // model: 49 model 1, 50 model 2, 51 micro QR
        return count == 2 && parameters[0] == 50;
    case 67:  // module size
        if (count != 1 || parameters[0] < 1 || parameters[0] > 16) return false;
        m_modes.qrModuleSize = parameters[0];
        return true;
    case 69:  // error correction level, 48 L to 51 H
        if (count != 1 || parameters[0] < 48 || parameters[0] > 51) return false;
        m_modes.qrLevel = parameters[0] - 48;
        return true;
    case 80:  // store the data
        if (count < 1 || parameters[0] != 48) return false;
        m_modes.qrData.assign(reinterpret_cast<const char*>(parameters + 1), count - 1);
        return true;
    case 81: {  // print the stored data
        if (count != 1 || parameters[0] != 48) return false;
        BarcodePrint print;
        print.symbology = std::string(barcodeSystemName(BarcodeSystem::QrCode));
        print.data = m_modes.qrData;
        print.moduleWidth = m_modes.qrModuleSize;
        EncodedSymbol symbol = encodeQrCode(m_modes.qrData, m_modes.qrLevel);
        placeBarcode(std::move(print), std::move(symbol));
        return true;
    }
    default:
        return false;
    }
}

void PrintEngine::placeBarcode(BarcodePrint print, EncodedSymbol symbol) {
    print.problem = std::move(symbol.problem);

    int width = 0;
    int height = 0;
    if (print.problem.empty()) {
        const int module = print.moduleWidth;
        print.columns = symbol.columns;
        print.rows = symbol.rows;
        print.hexagonal = symbol.hexagonal;
        print.modules = std::move(symbol.modules);
        width = symbol.columns * module + (symbol.hexagonal ? module / 2 : 0);
        if (symbol.twoDimensional) {
            print.rowHeight = symbol.rowModules * module;
            height = symbol.rows * print.rowHeight;
        } else {
            print.rowHeight = print.barHeight;
            print.hriPosition = m_modes.hriPosition;
            print.hriText = std::move(symbol.hriText);
            const int hriHeight = cellHeight(print.hriFont) + kHriGap;
            height = print.barHeight + ((print.hriPosition & 1) ? hriHeight : 0) +
                     ((print.hriPosition & 2) ? hriHeight : 0);
        }
    }
    for (const int target : writeTargets()) {
        if (!buffer(target).line.items.empty()) printLine(target, 0, 0);
        Block block;
        const int available = targetWidth(target);
        BarcodePrint copy = print;
        if (copy.problem.empty() && width > available) copy.problem = "wider than the paper";
        if (copy.problem.empty()) {
            block.width = width;
            block.height = height;
            block.x = alignedX(width, available);
        } else {
            copy.modules.clear();
            copy.modules.shrink_to_fit();
        }
        block.content = std::move(copy);
        finishBlock(block);
        placeBlock(target, std::move(block));
    }
}

// ---- images --------------------------------------------------------------

void PrintEngine::imageStart(const std::uint8_t* header, std::size_t, std::uint64_t) {
    m_image = ImageInFlight{};
    if (!m_selected) return;
    m_image.active = true;
    if (header[0] == ESC) {
        const std::uint8_t mode = header[2];
        const int columns = le16(header + 3);
        const int bytesPerColumn = mode >= 32 ? 3 : 1;
        const int scaleX = (mode == 0 || mode == 32) ? 2 : 1;
        for (const int target : writeTargets()) {
            LineBuffer& line = buffer(target);
            const int kept = std::min(columns, std::max(0, (targetWidth(target) - line.x) / scaleX));
            if (kept == 0) continue;
            startLine(line);
            LineItem item;
            item.kind = LineItem::Kind::BitImage;
            item.imageMode = mode;
            item.x = line.x;
            item.width = kept * scaleX;
            item.height = kBandHeight;
            item.offset = static_cast<std::uint32_t>(line.line.data.size());
            item.length = static_cast<std::uint32_t>(kept * bytesPerColumn);
            line.line.items.push_back(item);
            line.line.data.reserve(line.line.data.size() + item.length);
            line.x += item.width;
            line.height = std::max(line.height, kBandHeight);
            m_image.keptBytes[target] = item.length;
        }
        return;
    }
    m_image.raster = true;
    flushPending();
    const int mode = header[3] & 0x03;
    const int scaleX = (mode & 1) ? 2 : 1;
    int narrowest = 1 << 30;
    for (const int target : writeTargets()) narrowest = std::min(narrowest, targetWidth(target));
    m_image.sourceBytesPerRow = le16(header + 4);
    RasterImage& image = m_image.image;
    image.mode = static_cast<std::uint8_t>(mode);
    image.bytesPerRow = std::min(m_image.sourceBytesPerRow, narrowest / (8 * scaleX));
    image.rows = std::min(le16(header + 6), kMaxRasterRows);
    image.data.reserve(static_cast<std::size_t>(image.bytesPerRow) * image.rows);
}

void PrintEngine::imageData(const std::uint8_t* bytes, std::size_t count) {
    if (!m_image.active) return;
    if (!m_image.raster) {
        for (int target = 0; target <= kPageTarget; ++target) {
            const std::size_t kept = m_image.keptBytes[target];
            if (m_image.received >= kept) continue;
            const std::size_t take =
                std::min<std::size_t>(count, kept - static_cast<std::size_t>(m_image.received));
            auto& data = buffer(target).line.data;
            data.insert(data.end(), bytes, bytes + take);
        }
        m_image.received += count;
        return;
    }
    RasterImage& image = m_image.image;
    const auto rowBytes = static_cast<std::uint64_t>(m_image.sourceBytesPerRow);
    while (count > 0 && rowBytes > 0) {
        const std::uint64_t row = m_image.received / rowBytes;
        const std::uint64_t column = m_image.received % rowBytes;
        if (row >= static_cast<std::uint64_t>(image.rows)) break;
        const auto inRow = static_cast<std::size_t>(std::min<std::uint64_t>(count, rowBytes - column));
        if (column < static_cast<std::uint64_t>(image.bytesPerRow)) {
            const auto take = static_cast<std::size_t>(
                std::min<std::uint64_t>(inRow, static_cast<std::uint64_t>(image.bytesPerRow) - column));
            image.data.insert(image.data.end(), bytes, bytes + take);
        }
        bytes += inRow;
        count -= inRow;
        m_image.received += inRow;
    }
}

void PrintEngine::imageEnd() {
    if (m_image.active && m_image.raster) rasterEnd();
    m_image = ImageInFlight{};
}

void PrintEngine::rasterEnd() {
    RasterImage& image = m_image.image;
    if (image.bytesPerRow <= 0 || image.rows <= 0) return;
    const int width = image.bytesPerRow * 8 * ((image.mode & 1) ? 2 : 1);
    const int height = image.rows * ((image.mode & 2) ? 2 : 1);
    const std::vector<int> targets = writeTargets();
    for (std::size_t i = 0; i < targets.size(); ++i) {
        Block block;
        block.width = width;
        block.height = height;
        block.x = alignedX(width, targetWidth(targets[i]));
        if (i + 1 == targets.size()) {
            block.content = std::move(image);
        } else {
            block.content = image;
        }
        finishBlock(block);
        placeBlock(targets[i], std::move(block));
    }
}

}  // namespace emulator
