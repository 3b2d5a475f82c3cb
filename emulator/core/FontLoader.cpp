#include "FontLoader.h"

#include <zlib.h>

#include <memory>

namespace emulator {

namespace {

// No console font comes near this; anything larger is not one.
constexpr std::size_t kMaxFontFileBytes = std::size_t{4} << 20;

struct GzCloser {
    void operator()(gzFile_s* file) const { gzclose(file); }
};

bool readCompressed(const std::string& path, std::vector<std::uint8_t>* out, std::string* error) {
    // gzread passes uncompressed files through unchanged.
    const std::unique_ptr<gzFile_s, GzCloser> file(gzopen(path.c_str(), "rb"));
    if (!file) {
        *error = "cannot open " + path;
        return false;
    }
    std::vector<std::uint8_t> data;
    std::uint8_t chunk[16384];
    for (;;) {
        const int n = gzread(file.get(), chunk, sizeof chunk);
        if (n < 0) {
            *error = "cannot read " + path;
            return false;
        }
        if (n == 0) break;
        data.insert(data.end(), chunk, chunk + n);
        if (data.size() > kMaxFontFileBytes) {
            *error = path + " is too large for a console font";
            return false;
        }
    }
    *out = std::move(data);
    return true;
}

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// One UTF-8 character at p (before end); advances p. Malformed input yields
// U+FFFD and moves on by one byte.
char32_t decodeUtf8(const std::uint8_t*& p, const std::uint8_t* end) {
    const std::uint8_t lead = *p++;
    int extra = 0;
    char32_t value = 0;
    if (lead < 0x80) return lead;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
    } else {
        return 0xFFFD;
    }
    for (int i = 0; i < extra; ++i) {
        if (p == end || (*p & 0xC0) != 0x80) return 0xFFFD;
        value = (value << 6) | (*p++ & 0x3F);
    }
    return value;
}

}  // namespace

const std::uint8_t* BitmapFont::glyph(char32_t character) const {
    const auto found = m_index.find(character);
    const std::uint32_t index = found == m_index.end() ? m_fallback : found->second;
    return m_glyphs.data() + index * m_glyphBytes;
}

std::optional<BitmapFont> BitmapFont::load(const std::string& path, std::string* error) {
    std::vector<std::uint8_t> file;
    if (!readCompressed(path, &file, error)) return std::nullopt;
    BitmapFont font;
    if (!font.parse(file, error)) {
        *error = path + ": " + *error;
        return std::nullopt;
    }
    return font;
}

bool BitmapFont::parse(const std::vector<std::uint8_t>& file, std::string* error) {
    const std::uint8_t* data = file.data();
    const std::size_t size = file.size();
    std::size_t glyphsAt = 0;
    bool utf8Table = false;
    bool hasTable = false;
    if (size >= 4 && data[0] == 0x36 && data[1] == 0x04) {
        m_glyphCount = (data[2] & 0x01) ? 512 : 256;
        m_height = data[3];
        m_width = 8;
        m_glyphBytes = m_height;
        hasTable = (data[2] & 0x06) != 0;
        glyphsAt = 4;
    } else if (size >= 32 && le32(data) == 0x864AB572u) {
        glyphsAt = le32(data + 8);
        hasTable = (le32(data + 12) & 1) != 0;
        m_glyphCount = le32(data + 16);
        m_glyphBytes = le32(data + 20);
        m_height = static_cast<int>(le32(data + 24));
        m_width = static_cast<int>(le32(data + 28));
        utf8Table = true;
    } else {
        *error = "not a PC Screen Font";
        return false;
    }
    m_bytesPerRow = (m_width + 7) / 8;
    if (m_width < 1 || m_width > 64 || m_height < 1 || m_height > 64 || m_glyphCount == 0 ||
        m_glyphCount > 65536 || m_glyphBytes < static_cast<std::size_t>(m_bytesPerRow * m_height) ||
        glyphsAt > size || (size - glyphsAt) / m_glyphBytes < m_glyphCount) {
        *error = "damaged font header";
        return false;
    }
    if (!hasTable) {
        *error = "no Unicode table";
        return false;
    }
    m_glyphs.assign(data + glyphsAt, data + glyphsAt + m_glyphCount * m_glyphBytes);

    // Each glyph's entry lists the characters it draws, then (after a
    // start-of-sequence mark) combining sequences, which are not needed here.
    const std::uint8_t* p = data + glyphsAt + m_glyphCount * m_glyphBytes;
    const std::uint8_t* const end = data + size;
    for (std::uint32_t index = 0; index < m_glyphCount && p < end; ++index) {
        bool inSequence = false;
        while (p < end) {
            char32_t character = 0;
            if (utf8Table) {
                if (*p == 0xFF) {
                    ++p;
                    break;
                }
                if (*p == 0xFE) {
                    ++p;
                    inSequence = true;
                    continue;
                }
                character = decodeUtf8(p, end);
            } else {
                if (end - p < 2) {
                    p = end;
                    break;
                }
                const std::uint16_t value = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
                p += 2;
                if (value == 0xFFFF) break;
                if (value == 0xFFFE) {
                    inSequence = true;
                    continue;
                }
                character = value;
            }
            if (!inSequence) m_index.emplace(character, index);
        }
    }
    const auto question = m_index.find(U'?');
    m_fallback = question == m_index.end() ? 0 : question->second;
    return true;
}

const FontSet* terminusFonts(std::string* error) {
    struct Loaded {
        std::optional<FontSet> fonts;
        std::string error;
    };
    static const Loaded loaded = [] {
        Loaded result;
        const std::string directory = CVOPOS_CONSOLE_FONT_DIR "/";
        FontSet set;
        const std::pair<BitmapFont*, const char*> files[] = {
            {&set.fontA, "Uni2-Terminus24x12.psf.gz"},
            {&set.fontABold, "Uni2-TerminusBold24x12.psf.gz"},
            {&set.fontB, "Uni2-Terminus16.psf.gz"},
            {&set.fontBBold, "Uni2-TerminusBold16.psf.gz"},
        };
        for (const auto& [font, name] : files) {
            auto read = BitmapFont::load(directory + name, &result.error);
            if (!read) return result;
            *font = std::move(*read);
        }
        result.fonts = std::move(set);
        return result;
    }();
    if (!loaded.fonts) {
        if (error != nullptr) *error = loaded.error;
        return nullptr;
    }
    return &*loaded.fonts;
}

}  // namespace emulator
