#pragma once
// Bitmap console fonts (PC Screen Font, versions 1 and 2, gzip-compressed
// as Debian ships them) with their Unicode tables, and the Terminus set the
// paper is drawn with: font A from the 12 x 24 size, font B from 8 x 16,
// the largest Terminus size that fits the printers' 9 x 17 font B cell.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace emulator {

class BitmapFont {
public:
    int width() const { return m_width; }
    int height() const { return m_height; }
    // The glyph of a character; one the font lacks is drawn as '?'.
    const std::uint8_t* glyph(char32_t character) const;
    bool dot(const std::uint8_t* glyph, int x, int y) const {
        return (glyph[y * m_bytesPerRow + x / 8] & (0x80 >> (x % 8))) != 0;
    }

    // Reads a .psf or .psf.gz file; nothing, with `error` set, when the
    // file cannot be read or is not a font with a Unicode table.
    static std::optional<BitmapFont> load(const std::string& path, std::string* error);

private:
    bool parse(const std::vector<std::uint8_t>& file, std::string* error);

    int m_width = 0;
    int m_height = 0;
    int m_bytesPerRow = 0;
    std::size_t m_glyphBytes = 0;
    std::size_t m_glyphCount = 0;
    std::vector<std::uint8_t> m_glyphs;
    std::unordered_map<char32_t, std::uint32_t> m_index;
    std::uint32_t m_fallback = 0;
};

struct FontSet {
    BitmapFont fontA;
    BitmapFont fontABold;
    BitmapFont fontB;
    BitmapFont fontBBold;
};

// The Terminus fonts, read once for the whole process. Null, with `error`
// set, when one of the files cannot be read.
const FontSet* terminusFonts(std::string* error);

}  // namespace emulator
