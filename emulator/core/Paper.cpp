#include "Paper.h"

#include <algorithm>

namespace emulator {

namespace {

struct ContentBytes {
    std::size_t operator()(const PrintedLine& line) const {
        return line.items.capacity() * sizeof(LineItem) + line.text.capacity() +
               line.data.capacity();
    }
    std::size_t operator()(const ImageStack& stack) const {
        std::size_t bytes = stack.bands.capacity() * sizeof(BitImageBand);
        for (const auto& band : stack.bands) bytes += band.data.capacity();
        return bytes;
    }
    std::size_t operator()(const RasterImage& raster) const { return raster.data.capacity(); }
    std::size_t operator()(const BarcodePrint& barcode) const {
        return barcode.symbology.capacity() + barcode.data.capacity() +
               barcode.problem.capacity() + barcode.hriText.capacity() +
               barcode.modules.capacity();
    }
    std::size_t operator()(const PagePrint& page) const {
        std::size_t bytes = page.children.capacity() * sizeof(Block);
        for (const auto& child : page.children) bytes += child.bytes;
        return bytes;
    }
    std::size_t operator()(const CutMark&) const { return 0; }
    std::size_t operator()(const BlankLines&) const { return 0; }
    std::size_t operator()(const Marker& marker) const { return marker.text.capacity(); }
};

}  // namespace

void finishBlock(Block& block) {
    block.bytes = sizeof(Block) + std::visit(ContentBytes{}, block.content);
}

Paper::Paper(const ModelInfo& model) : m_model(model) {}

std::int64_t Paper::position(Station station) const { return roll(station).halfDots / 2; }

const std::deque<Block>& Paper::blocks(Station station) const { return roll(station).blocks; }

std::int64_t Paper::origin(Station station) const { return roll(station).origin; }

bool Paper::dropped(Station station) const { return roll(station).dropped; }

bool Paper::mergeImage(Roll& roll, Block& block) {
    auto* incoming = std::get_if<ImageStack>(&block.content);
    if (incoming == nullptr || roll.blocks.empty()) return false;
    Block& last = roll.blocks.back();
    auto* stack = std::get_if<ImageStack>(&last.content);
    if (stack == nullptr || last.x != block.x || last.width != block.width ||
        last.y + last.height != block.y) {
        return false;
    }
    for (auto& band : incoming->bands) stack->bands.push_back(std::move(band));
    last.height += block.height;
    m_bytes -= last.bytes;
    finishBlock(last);
    m_bytes += last.bytes;
    return true;
}

void Paper::place(Station station, Block&& block, std::int64_t advanceHalfDots) {
    Roll& r = roll(station);
    block.y = r.halfDots / 2;
    if (std::holds_alternative<CutMark>(block.content)) r.lastCut = r.halfDots;
    if (!mergeImage(r, block)) {
        m_bytes += block.bytes;
        r.blocks.push_back(std::move(block));
    }
    r.halfDots += std::max<std::int64_t>(advanceHalfDots, 0);
    enforceLimits(station);
}

void Paper::feed(Station station, std::int64_t halfDots) {
    Roll& r = roll(station);
    r.halfDots = std::max(r.halfDots + halfDots, std::max(r.lastCut, r.origin * 2));
    if (halfDots > 0) enforceLimits(station);
}

void Paper::blankLines(Station station, int count, std::int64_t halfDots) {
    Roll& r = roll(station);
    const std::int64_t y = r.halfDots / 2;
    const std::int64_t height = std::max<std::int64_t>(halfDots, 0) / 2;
    Block* last = r.blocks.empty() ? nullptr : &r.blocks.back();
    auto* blank = last == nullptr ? nullptr : std::get_if<BlankLines>(&last->content);
    if (blank != nullptr && last->y + last->height == y) {
        blank->count = static_cast<int>(std::min<std::int64_t>(
            std::int64_t{blank->count} + count, 1 << 30));
        last->height = static_cast<int>(std::min<std::int64_t>(last->height + height, 1 << 30));
        r.halfDots += std::max<std::int64_t>(halfDots, 0);
        enforceLimits(station);
        return;
    }
    Block block;
    block.height = static_cast<int>(std::min<std::int64_t>(height, 1 << 30));
    block.content = BlankLines{count};
    finishBlock(block);
    place(station, std::move(block), halfDots);
}

void Paper::dropOldest(Roll& r) {
    const Block& oldest = r.blocks.front();
    const std::int64_t end = oldest.y + oldest.height;
    m_bytes -= oldest.bytes;
    r.blocks.pop_front();
    r.origin = std::max(r.origin, r.blocks.empty() ? end : std::min(end, r.blocks.front().y));
    r.origin = std::min(r.origin, r.halfDots / 2);
    r.dropped = true;
}

void Paper::enforceLimits(Station station) {
    Roll& r = roll(station);
    const std::int64_t oldestKept = r.halfDots / 2 - kMaxLengthDots;
    while (!r.blocks.empty() && (r.blocks.size() > kMaxBlocksPerStation ||
                                 r.blocks.front().y + r.blocks.front().height <= oldestKept)) {
        dropOldest(r);
    }
    r.origin = std::max(r.origin, oldestKept);
    while (m_bytes > kMaxRetainedBytes) {
        Roll* from = &r;
        for (auto& other : m_rolls) {
            if (from->blocks.empty()) from = &other;
        }
        if (from->blocks.empty()) break;
        dropOldest(*from);
    }
}

void Paper::clear() {
    for (auto& r : m_rolls) {
        r.blocks.clear();
        r.origin = r.halfDots / 2;
        r.lastCut = r.halfDots;
        r.dropped = false;
    }
    m_bytes = 0;
}

}  // namespace emulator
