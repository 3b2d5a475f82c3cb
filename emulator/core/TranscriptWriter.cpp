#include "TranscriptWriter.h"

#include "CodePages.h"

namespace emulator {

namespace {

constexpr int kBlankLinesShown = 10;

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string quoted(const std::string& data) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte >= 0x20 && byte < 0x7F) {
            out.push_back(c);
        } else {
            out += "\\x";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        }
    }
    out.push_back('"');
    return out;
}

std::string sizeMarker(const TextStyle& style) {
    return "[size " + std::to_string(style.widthScale) + "x" + std::to_string(style.heightScale) + "]";
}

bool sized(const TextStyle& style) { return style.widthScale != 1 || style.heightScale != 1; }

// Markers for the change from one run's style to the next: ends first,
// then starts.
void styleChange(std::string& out, const TextStyle& from, const TextStyle& to) {
    struct Flag {
        bool before;
        bool after;
        const char* name;
    };
    const Flag flags[] = {
        {from.bold, to.bold, "bold"},
        {from.underline != 0, to.underline != 0, "underline"},
        {from.reverse, to.reverse, "reverse"},
        {from.red, to.red, "red"},
        {from.font == 1, to.font == 1, "font-b"},
        {sized(from), sized(to), "size"},
    };
    for (const Flag& flag : flags) {
        if (flag.before && !flag.after) out += std::string("[/") + flag.name + "]";
    }
    if (to.bold && !from.bold) out += "[bold]";
    if (to.underline != from.underline && to.underline != 0) {
        out += to.underline == 2 ? "[underline 2]" : "[underline]";
    }
    if (to.reverse && !from.reverse) out += "[reverse]";
    if (to.red && !from.red) out += "[red]";
    if (to.font == 1 && from.font != 1) out += "[font-b]";
    if (sized(to) && (to.widthScale != from.widthScale || to.heightScale != from.heightScale)) {
        out += sizeMarker(to);
    }
}

std::string imageMarker(int width, int height) {
    return "[image " + std::to_string(width) + "x" + std::to_string(height) + "]";
}

void writeLine(std::string& out, const PrintedLine& line) {
    if (line.upsideDown) out += "[upside-down]";
    if (line.align == 1) out += "[center]";
    if (line.align == 2) out += "[right]";
    TextStyle previous;
    int x = 0;
    for (const LineItem& item : line.items) {
        if (item.x > x) {
            // A gap left by a tab: spaces of the following text's width.
            const int step = item.kind == LineItem::Kind::Text ? item.advance : 12;
            out.append(static_cast<std::size_t>((item.x - x + step - 1) / step), ' ');
        }
        x = item.x + item.width;
        if (item.kind == LineItem::Kind::BitImage) {
            out += imageMarker(item.width, item.height);
            continue;
        }
        styleChange(out, previous, item.style);
        previous = item.style;
        for (std::uint32_t i = 0; i < item.length; ++i) {
            const auto byte = static_cast<std::uint8_t>(line.text[item.offset + i]);
            appendUtf8(out, codeTableToUnicode(item.style.codeTable, byte));
        }
    }
    out.push_back('\n');
}

void writeBlock(std::string& out, const Block& block);

struct BlockWriter {
    std::string& out;
    const Block& block;

    void operator()(const PrintedLine& line) const { writeLine(out, line); }
    void operator()(const ImageStack&) const { out += imageMarker(block.width, block.height) + "\n"; }
    void operator()(const RasterImage&) const { out += imageMarker(block.width, block.height) + "\n"; }
    void operator()(const BarcodePrint& barcode) const {
        // QR codes carry links and long texts: their own marker keeps them
        // easy to find.
        if (barcode.symbology == "QR")
            out += "[qr " + quoted(barcode.data) + "]";
        else
            out += "[barcode " + barcode.symbology + " " + quoted(barcode.data) + "]";
        if (!barcode.problem.empty()) out += " not printed: " + barcode.problem;
        out.push_back('\n');
    }
    void operator()(const PagePrint& page) const {
        out += "[page-mode " + std::to_string(page.areaWidth) + "x" + std::to_string(page.areaHeight) +
               " dir " + std::to_string(page.direction) + "]\n";
        for (const Block& child : page.children) writeBlock(out, child);
        out += "[end page-mode]\n";
    }
    void operator()(const CutMark& cut) const { out += cut.partial ? "[cut partial]\n" : "[cut]\n"; }
    void operator()(const BlankLines& blank) const {
        if (blank.count > kBlankLinesShown) {
            out += "[" + std::to_string(blank.count) + " blank lines]\n";
        } else {
            out.append(static_cast<std::size_t>(blank.count), '\n');
        }
    }
    void operator()(const Marker& marker) const { out += "[" + marker.text + "]\n"; }
};

void writeBlock(std::string& out, const Block& block) { std::visit(BlockWriter{out, block}, block.content); }

}  // namespace

std::string writeTranscript(const Paper& paper) {
    static constexpr const char* kHeadings[kStationCount] = {"== journal ==\n", "== receipt ==\n",
                                                             "== slip ==\n"};
    const ModelInfo& model = paper.model();
    std::string out;
    for (std::size_t i = 0; i < kStationCount; ++i) {
        const auto station = static_cast<Station>(i);
        if (!model.hasStation(station)) continue;
        const auto& blocks = paper.blocks(station);
        if (model.hasSeveralStations()) {
            if (blocks.empty() && !paper.dropped(station)) continue;
            out += kHeadings[i];
        }
        if (paper.dropped(station)) out += "[earlier output dropped]\n";
        for (const Block& block : blocks) writeBlock(out, block);
    }
    return out;
}

}  // namespace emulator
