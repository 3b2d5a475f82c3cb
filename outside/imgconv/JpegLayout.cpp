#include "JpegLayout.h"

#include <algorithm>
#include <vector>

namespace imgconv {

namespace {

constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;

// Start-of-frame markers: C0 ... CF but for the Huffman table (C4), the
// reserved JPG (C8) and the arithmetic conditioning (CC) markers.
bool isFrame(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// TEM and the restart markers carry no length.
bool standsAlone(std::uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

std::uint32_t bigEndian16(std::span<const std::uint8_t> data, std::size_t at) {
    return static_cast<std::uint32_t>(data[at] << 8 | data[at + 1]);
}

struct Component {
    std::uint8_t id = 0;
    std::uint32_t horizontal = 1;
    std::uint32_t vertical = 1;
};

struct Frame {
    bool seen = false;
    std::uint8_t marker = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t maxHorizontal = 1;
    std::uint32_t maxVertical = 1;
    std::vector<Component> components;
};

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

// The 8 x 8 blocks a scan of `components` codes: one component alone block
// by block over its own size, several interleaved in whole MCUs.
std::uint64_t blocksOf(const Frame& frame, const std::vector<Component>& components) {
    if (components.size() == 1) {
        const Component& c = components.front();
        const std::uint64_t width = ceilDiv(std::uint64_t{frame.width} * c.horizontal, frame.maxHorizontal);
        const std::uint64_t height = ceilDiv(std::uint64_t{frame.height} * c.vertical, frame.maxVertical);
        return ceilDiv(width, 8) * ceilDiv(height, 8);
    }
    const std::uint64_t mcus =
        ceilDiv(frame.width, 8ull * frame.maxHorizontal) * ceilDiv(frame.height, 8ull * frame.maxVertical);
    std::uint64_t perMcu = 0;
    for (const Component& c : components) {
        perMcu += std::uint64_t{c.horizontal} * c.vertical;
    }
    return mcus * perMcu;
}

// The fewest bits a Huffman-coded scan can spend on a block: a sequential
// scan codes at least a DC and an end-of-block code of a bit each, the
// first DC scan of a progressive frame one DC code. Arithmetic coding and
// the other progressive scans may code runs of blocks in a bit.
std::uint64_t fewestBitsPerBlock(std::uint8_t frameMarker, std::uint32_t spectralStart, std::uint32_t approximationHigh) {
    if (frameMarker == 0xC0 || frameMarker == 0xC1) {
        return 2;
    }
    if (frameMarker == 0xC2 && spectralStart == 0 && approximationHigh == 0) {
        return 1;
    }
    return 0;
}

bool readFrame(std::uint8_t marker, std::span<const std::uint8_t> segment, Frame* frame) {
    if (segment.size() < 6) {
        return false;
    }
    frame->seen = true;
    frame->marker = marker;
    frame->height = bigEndian16(segment, 1);
    frame->width = bigEndian16(segment, 3);
    const std::size_t count = segment[5];
    if (frame->width == 0 || frame->height == 0 || count == 0 || segment.size() < 6 + 3 * count) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t factors = segment[6 + 3 * i + 1];
        const Component c{segment[6 + 3 * i], factors >> 4, factors & 0x0F};
        if (c.horizontal == 0 || c.vertical == 0) {
            return false;
        }
        frame->maxHorizontal = std::max(frame->maxHorizontal, c.horizontal);
        frame->maxVertical = std::max(frame->maxVertical, c.vertical);
        frame->components.push_back(c);
    }
    return true;
}

// The components a scan header names, or none when it names one the frame
// has not.
bool readScan(const Frame& frame, std::span<const std::uint8_t> segment, std::vector<Component>* components,
              std::uint64_t* fewestBits) {
    if (segment.empty() || segment.size() < 1 + 2 * std::size_t{segment[0]} + 3 || segment[0] == 0) {
        return false;
    }
    const std::size_t count = segment[0];
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t id = segment[1 + 2 * i];
        const auto found = std::find_if(frame.components.begin(), frame.components.end(),
                                        [&](const Component& c) { return c.id == id; });
        if (found == frame.components.end()) {
            return false;
        }
        components->push_back(*found);
    }
    const std::uint32_t spectralStart = segment[1 + 2 * count];
    const std::uint32_t approximationHigh = std::uint32_t{segment[3 + 2 * count]} >> 4;
    *fewestBits = blocksOf(frame, *components) * fewestBitsPerBlock(frame.marker, spectralStart, approximationHigh);
    return true;
}

}  // namespace

JpegLayout readJpegLayout(std::span<const std::uint8_t> data) {
    JpegLayout layout;
    if (data.size() < 2 || data[0] != 0xFF || data[1] != kStartOfImage) {
        return layout;
    }
    const auto verdict = [&](JpegLayout::Verdict v, const Frame& frame) {
        layout.verdict = v;
        layout.width = frame.width;
        layout.height = frame.height;
        return layout;
    };
    Frame frame;
    bool scanned = false;
    std::size_t at = 2;
    for (;;) {
        // Stray bytes before a marker are passed over, as decoders do;
        // any number of FF may lead into one.
        while (at < data.size() && data[at] != 0xFF) {
            ++at;
        }
        while (at < data.size() && data[at] == 0xFF) {
            ++at;
        }
        if (at >= data.size()) {
            return verdict(JpegLayout::Verdict::Truncated, frame);
        }
        const std::uint8_t marker = data[at++];
        if (marker == kEndOfImage) {
            return verdict(frame.seen && scanned ? JpegLayout::Verdict::Whole : JpegLayout::Verdict::NotJpeg, frame);
        }
        if (marker == kStartOfImage) {
            return verdict(JpegLayout::Verdict::NotJpeg, frame);
        }
        if (standsAlone(marker)) {
            continue;
        }
        if (at + 2 > data.size()) {
            return verdict(JpegLayout::Verdict::Truncated, frame);
        }
        const std::size_t length = bigEndian16(data, at);
        if (length < 2) {
            return verdict(JpegLayout::Verdict::NotJpeg, frame);
        }
        if (at + length > data.size()) {
            return verdict(JpegLayout::Verdict::Truncated, frame);
        }
        const auto segment = data.subspan(at + 2, length - 2);
        at += length;
        if (isFrame(marker)) {
            if (frame.seen || !readFrame(marker, segment, &frame)) {
                return verdict(JpegLayout::Verdict::NotJpeg, frame);
            }
            continue;
        }
        if (marker != kStartOfScan) {
            continue;
        }
        std::vector<Component> components;
        std::uint64_t fewestBits = 0;
        if (!frame.seen || !readScan(frame, segment, &components, &fewestBits)) {
            return verdict(JpegLayout::Verdict::NotJpeg, frame);
        }
        // The coded data run to the next marker that is neither a stuffed
        // FF 00 nor a restart marker.
        const std::size_t start = at;
        for (;;) {
            if (at + 1 >= data.size()) {
                return verdict(JpegLayout::Verdict::Truncated, frame);
            }
            if (data[at] != 0xFF) {
                ++at;
                continue;
            }
            const std::uint8_t next = data[at + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                at += 2;
                continue;
            }
            if (next == 0xFF) {
                ++at;
                continue;
            }
            break;
        }
        if (std::uint64_t{at - start} * 8 < fewestBits) {
            return verdict(JpegLayout::Verdict::Truncated, frame);
        }
        scanned = true;
    }
}

}  // namespace imgconv
