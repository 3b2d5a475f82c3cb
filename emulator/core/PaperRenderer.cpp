#include "PaperRenderer.h"

#include "CodePages.h"
#include "FontLoader.h"

namespace emulator {

namespace {

constexpr int kDash = 8;
constexpr int kDashGap = 6;
constexpr int kPartialCutGap = 32;
constexpr int kHriGap = 2;

struct FontCell {
    const BitmapFont* font;
    int width;
    int height;
    int glyphTop;  // the glyph sits at the bottom of a cell taller than it
};

FontCell fontCell(const FontSet& fonts, std::uint8_t font, bool bold) {
    if (font == 1) return {bold ? &fonts.fontBBold : &fonts.fontB, 9, 17, 1};
    return {bold ? &fonts.fontABold : &fonts.fontA, 12, 24, 0};
}

void drawGlyph(Canvas& canvas, const FontCell& cell, char32_t character, int x, int y, int scaleX,
               int scaleY, Ink ink) {
    const BitmapFont& font = *cell.font;
    const std::uint8_t* glyph = font.glyph(character);
    for (int gy = 0; gy < font.height(); ++gy) {
        for (int gx = 0; gx < font.width(); ++gx) {
            if (font.dot(glyph, gx, gy)) {
                canvas.fill(x + gx * scaleX, y + (gy + cell.glyphTop) * scaleY, scaleX, scaleY, ink);
            }
        }
    }
}

void drawText(Canvas& canvas, const FontSet& fonts, const PrintedLine& line, const LineItem& item,
              int x, int top) {
    const TextStyle& style = item.style;
    const FontCell cell = fontCell(fonts, style.font, style.bold);
    const Ink ink = style.red ? kRedInk : kBlackInk;
    const int height = cell.height * style.heightScale;
    for (std::uint32_t i = 0; i < item.length; ++i) {
        const auto byte = static_cast<std::uint8_t>(line.text[item.offset + i]);
        const int cx = x + static_cast<int>(i) * item.advance;
        if (style.reverse) canvas.fill(cx, top, item.advance, height, ink);
        drawGlyph(canvas, cell, codeTableToUnicode(style.codeTable, byte), cx, top,
                  style.widthScale, style.heightScale, style.reverse ? kPaperInk : ink);
        if (style.underline > 0) {
            canvas.fill(cx, top + height - style.underline, item.advance, style.underline,
                        style.reverse ? kPaperInk : ink);
        }
    }
}

void drawBand(Canvas& canvas, int x, int top, std::uint8_t mode, int columns, const std::uint8_t* data) {
    const int bytesPerColumn = mode >= 32 ? 3 : 1;
    const int scaleX = (mode == 0 || mode == 32) ? 2 : 1;
    const int scaleY = mode < 32 ? 3 : 1;
    for (int column = 0; column < columns; ++column) {
        for (int k = 0; k < bytesPerColumn; ++k) {
            const std::uint8_t byte = data[column * bytesPerColumn + k];
            for (int b = 0; b < 8; ++b) {
                if (byte & (0x80 >> b)) {
                    canvas.fill(x + column * scaleX, top + (k * 8 + b) * scaleY, scaleX, scaleY,
                                kBlackInk);
                }
            }
        }
    }
}

void drawLine(Canvas& canvas, const FontSet& fonts, const Block& block, const PrintedLine& line) {
    for (const LineItem& item : line.items) {
        const int x = block.x + item.x;
        const int top = block.height - item.height;
        if (item.kind == LineItem::Kind::Text) {
            drawText(canvas, fonts, line, item, x, top);
        } else {
            const int columns = static_cast<int>(item.length) / (item.imageMode >= 32 ? 3 : 1);
            drawBand(canvas, x, top, item.imageMode, columns, line.data.data() + item.offset);
        }
    }
}

void drawRaster(Canvas& canvas, int x, const RasterImage& image) {
    const int scaleX = (image.mode & 1) ? 2 : 1;
    const int scaleY = (image.mode & 2) ? 2 : 1;
    for (int row = 0; row < image.rows; ++row) {
        for (int column = 0; column < image.bytesPerRow; ++column) {
            const std::uint8_t byte = image.data[static_cast<std::size_t>(row) * image.bytesPerRow + column];
            for (int b = 0; b < 8; ++b) {
                if (byte & (0x80 >> b)) {
                    canvas.fill(x + (column * 8 + b) * scaleX, row * scaleY, scaleX, scaleY, kBlackInk);
                }
            }
        }
    }
}

void drawHri(Canvas& canvas, const FontSet& fonts, const BarcodePrint& barcode, int x, int width, int y) {
    const FontCell cell = fontCell(fonts, barcode.hriFont, false);
    const int textWidth = static_cast<int>(barcode.hriText.size()) * cell.width;
    int cx = x + (width - textWidth) / 2;
    for (const char c : barcode.hriText) {
        const auto byte = static_cast<unsigned char>(c);
        drawGlyph(canvas, cell, byte < 0x80 ? byte : U'?', cx, y, 1, 1, kBlackInk);
        cx += cell.width;
    }
}

void drawBarcode(Canvas& canvas, const FontSet& fonts, const Block& block, const BarcodePrint& barcode) {
    if (!barcode.problem.empty()) return;
    const int module = barcode.moduleWidth;
    const int hriHeight = fontCell(fonts, barcode.hriFont, false).height + kHriGap;
    const int barsTop = (barcode.hriPosition & 1) ? hriHeight : 0;
    for (int row = 0; row < barcode.rows; ++row) {
        const int shift = barcode.hexagonal && row % 2 == 1 ? module / 2 : 0;
        for (int column = 0; column < barcode.columns; ++column) {
            if (barcode.modules[static_cast<std::size_t>(row) * barcode.columns + column] != 0) {
                canvas.fill(block.x + column * module + shift, barsTop + row * barcode.rowHeight,
                            module, barcode.rowHeight, kBlackInk);
            }
        }
    }
    if (barcode.hriPosition & 1) drawHri(canvas, fonts, barcode, block.x, block.width, 0);
    if (barcode.hriPosition & 2) {
        drawHri(canvas, fonts, barcode, block.x, block.width, barsTop + barcode.barHeight + kHriGap);
    }
}

// Copies the inked dots of `from` onto `to` at (x, y), within `clip`;
// paper is transparent, so overprinted lines (after a reverse feed) show
// both.
struct Clip {
    int x0;
    int y0;
    int x1;
    int y1;
};

void overlay(Canvas& to, const Canvas& from, int x, std::int64_t y, const Clip& clip) {
    const std::int64_t rowFirst = std::max<std::int64_t>(clip.y0 - y, 0);
    const std::int64_t rowEnd = std::min<std::int64_t>(clip.y1 - y, from.height);
    const int columnFirst = std::max(clip.x0 - x, 0);
    const int columnEnd = std::min(clip.x1 - x, from.width);
    for (std::int64_t row = rowFirst; row < rowEnd; ++row) {
        const std::uint8_t* source = from.pixels.data() + row * from.width;
        std::uint8_t* target = to.pixels.data() + (y + row) * to.width + x;
        for (int column = columnFirst; column < columnEnd; ++column) {
            if (source[column] != kPaperInk) target[column] = source[column];
        }
    }
}

Canvas renderBlock(const FontSet& fonts, const Block& block, int areaWidth);

// A page's frame turns with its print direction: the frame's x axis runs
// along the direction of printing, its y axis the way lines advance.
void placeInPage(Canvas& page, const Canvas& child, std::int64_t childY, std::uint8_t direction) {
    const int w = page.width;
    const int h = page.height;
    for (int ly = 0; ly < child.height; ++ly) {
        const std::int64_t fy = childY + ly;
        for (int fx = 0; fx < child.width; ++fx) {
            const Ink ink = child.at(fx, ly);
            if (ink == kPaperInk) continue;
            std::int64_t ax = fx;
            std::int64_t ay = fy;
            switch (direction) {
            case 1:  // bottom to top
                ax = fy;
                ay = h - 1 - fx;
                break;
            case 2:  // right to left
                ax = w - 1 - fx;
                ay = h - 1 - fy;
                break;
            case 3:  // top to bottom
                ax = w - 1 - fy;
                ay = fx;
                break;
            default:
                break;
            }
            if (ax >= 0 && ay >= 0 && ax < w && ay < h) page.set(static_cast<int>(ax), static_cast<int>(ay), ink);
        }
    }
}

Canvas renderPage(const FontSet& fonts, const PagePrint& page) {
    Canvas canvas(page.areaWidth, page.areaHeight);
    for (const Block& child : page.children) {
        const int frameWidth = child.direction % 2 == 1 ? page.areaHeight : page.areaWidth;
        placeInPage(canvas, renderBlock(fonts, child, frameWidth), child.y, child.direction);
    }
    return canvas;
}

// The block drawn on a canvas as wide as the area it was laid out in and as
// tall as the block.
Canvas renderBlock(const FontSet& fonts, const Block& block, int areaWidth) {
    Canvas canvas(areaWidth, block.height);
    if (const auto* line = std::get_if<PrintedLine>(&block.content)) {
        drawLine(canvas, fonts, block, *line);
        if (line->upsideDown) std::reverse(canvas.pixels.begin(), canvas.pixels.end());
    } else if (const auto* stack = std::get_if<ImageStack>(&block.content)) {
        int top = 0;
        for (const BitImageBand& band : stack->bands) {
            drawBand(canvas, block.x, top, band.mode, band.columns, band.data.data());
            top += 24;
        }
    } else if (const auto* raster = std::get_if<RasterImage>(&block.content)) {
        drawRaster(canvas, block.x, *raster);
    } else if (const auto* barcode = std::get_if<BarcodePrint>(&block.content)) {
        drawBarcode(canvas, fonts, block, *barcode);
    }
    return canvas;
}

void drawCut(Canvas& canvas, const Clip& clip, std::int64_t y, bool partial) {
    const int width = clip.x1 - clip.x0;
    const int middle = width / 2;
    for (std::int64_t row = std::max<std::int64_t>(y - 2, clip.y0); row < std::min<std::int64_t>(y, clip.y1); ++row) {
        for (int column = 0; column < width; ++column) {
            const bool inDash = column % (kDash + kDashGap) < kDash;
            const bool uncut = partial && column >= middle - kPartialCutGap / 2 &&
                               column < middle + kPartialCutGap / 2;
            if (inDash && !uncut) canvas.set(clip.x0 + column, static_cast<int>(row), kCutInk);
        }
    }
}

std::int64_t stripLength(const Paper& paper, Station station) {
    std::int64_t end = paper.position(station);
    for (const Block& block : paper.blocks(station)) end = std::max(end, block.y + block.height);
    return std::max<std::int64_t>(end - paper.origin(station), 1);
}

}  // namespace

bool renderPaper(const Paper& paper, Canvas* picture, std::string* error) {
    const FontSet* fonts = terminusFonts(error);
    if (fonts == nullptr) return false;
    const ModelInfo& model = paper.model();

    int width = kRenderMargin;
    std::int64_t height = 1;
    for (std::size_t i = 0; i < kStationCount; ++i) {
        const auto station = static_cast<Station>(i);
        if (!model.hasStation(station)) continue;
        width += model.stationWidth(station) + kRenderGap;
        height = std::max(height, stripLength(paper, station));
    }
    width += kRenderMargin - kRenderGap;
    Canvas canvas(width, static_cast<int>(height) + 2 * kRenderMargin, kBackgroundInk);

    int stripX = kRenderMargin;
    for (std::size_t i = 0; i < kStationCount; ++i) {
        const auto station = static_cast<Station>(i);
        if (!model.hasStation(station)) continue;
        const int stripWidth = model.stationWidth(station);
        const auto stripHeight = static_cast<int>(stripLength(paper, station));
        const Clip clip{stripX, kRenderMargin, stripX + stripWidth, kRenderMargin + stripHeight};
        canvas.fill(stripX, kRenderMargin, stripWidth, stripHeight, kPaperInk);
        // Paper coordinates to picture coordinates.
        const std::int64_t top = kRenderMargin - paper.origin(station);
        for (const Block& block : paper.blocks(station)) {
            const std::int64_t y = top + block.y;
            if (const auto* cut = std::get_if<CutMark>(&block.content)) {
                // Drawn just above where the paper was cut, which may be its
                // very end.
                drawCut(canvas, clip, y, cut->partial);
            } else if (y >= clip.y1 || y + block.height <= clip.y0) {
                continue;
            } else if (const auto* page = std::get_if<PagePrint>(&block.content)) {
                overlay(canvas, renderPage(*fonts, *page), stripX + block.x, y + page->areaY, clip);
            } else if (block.height > 0 && !std::holds_alternative<BlankLines>(block.content)) {
                overlay(canvas, renderBlock(*fonts, block, stripWidth), stripX, y, clip);
            }
        }
        stripX += stripWidth + kRenderGap;
    }
    *picture = std::move(canvas);
    return true;
}

}  // namespace emulator
