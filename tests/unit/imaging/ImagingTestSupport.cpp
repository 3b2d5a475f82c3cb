#include "ImagingTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "support/TempFolder.h"

namespace imagingtest {

namespace fs = std::filesystem;

namespace {

void put16(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value)
{
    v[at] = static_cast<std::uint8_t>(value);
    v[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value)
{
    put16(v, at, value);
    put16(v, at + 2, value >> 16);
}

}  // namespace

TempDir::TempDir()
{
    m_path = testsupport::makeTempFolder("imaging-test") + "/";
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_path, ignored);
}

std::vector<std::string> TempDir::entries() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool CapturingLog::hasDebug(std::string_view text) const
{
    return std::find(debugs.begin(), debugs.end(), text) != debugs.end();
}

bool CapturingLog::hasError(std::string_view part) const
{
    return std::any_of(errors.begin(), errors.end(),
                       [part](const std::string& e) { return e.find(part) != std::string::npos; });
}

void writeFile(const std::string& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void put32le(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> makeBmp(const BmpShape& shape, const PixelValue& value)
{
    const bool masks = shape.compression == 3;
    const std::size_t maskBytes = masks && shape.infoSize == 40 ? 12 : 0;
    const std::size_t paletteStart = 14 + shape.infoSize + maskBytes;
    const std::size_t offset = paletteStart + 4 * shape.palette.size();
    const std::size_t stride = (static_cast<std::size_t>(shape.width) * shape.bitCount + 31) / 32 * 4;
    const std::size_t height = static_cast<std::size_t>(shape.height);
    std::vector<std::uint8_t> f(offset + stride * height, 0);
    f[0] = 'B';
    f[1] = 'M';
    put32(f, 2, static_cast<std::uint32_t>(f.size()));
    put32(f, 10, static_cast<std::uint32_t>(offset));
    put32(f, 14, shape.infoSize);
    put32(f, 18, static_cast<std::uint32_t>(shape.width));
    put32(f, 22, static_cast<std::uint32_t>(shape.topDown ? -shape.height : shape.height));
    put16(f, 26, 1);
    put16(f, 28, static_cast<std::uint32_t>(shape.bitCount));
    put32(f, 30, shape.compression);
    put32(f, 34, static_cast<std::uint32_t>(stride * height));
    put32(f, 46, static_cast<std::uint32_t>(shape.palette.size()));
    if (masks) {
        put32(f, 54, shape.masks[0]);
        put32(f, 58, shape.masks[1]);
        put32(f, 62, shape.masks[2]);
    }
    for (std::size_t i = 0; i < shape.palette.size(); ++i) {
        f[paletteStart + 4 * i] = shape.palette[i].b;
        f[paletteStart + 4 * i + 1] = shape.palette[i].g;
        f[paletteStart + 4 * i + 2] = shape.palette[i].r;
    }
    for (std::int32_t y = 0; y < shape.height; ++y) {
        const auto fromTop = static_cast<std::size_t>(y);
        const std::size_t stored = shape.topDown ? fromTop : height - 1 - fromTop;
        std::uint8_t* row = f.data() + offset + stored * stride;
        for (std::int32_t x = 0; x < shape.width; ++x) {
            const std::uint32_t v = value(x, y);
            const auto xs = static_cast<std::size_t>(x);
            switch (shape.bitCount) {
            case 1:
                row[xs / 8] |= static_cast<std::uint8_t>((v & 1) << (7 - xs % 8));
                break;
            case 4:
                row[xs / 2] |= static_cast<std::uint8_t>((v & 0x0F) << (xs % 2 == 0 ? 4 : 0));
                break;
            case 8:
                row[xs] = static_cast<std::uint8_t>(v);
                break;
            case 16:
                row[2 * xs] = static_cast<std::uint8_t>(v);
                row[2 * xs + 1] = static_cast<std::uint8_t>(v >> 8);
                break;
            case 24:
                row[3 * xs] = static_cast<std::uint8_t>(v);
                row[3 * xs + 1] = static_cast<std::uint8_t>(v >> 8);
                row[3 * xs + 2] = static_cast<std::uint8_t>(v >> 16);
                break;
            case 32:
                for (std::size_t i = 0; i < 4; ++i) row[4 * xs + i] = static_cast<std::uint8_t>(v >> (8 * i));
                break;
            default:
                break;
            }
        }
    }
    return f;
}

std::vector<std::uint8_t> makeOneBitBmp(std::int32_t width, std::int32_t height, bool blackFirst,
                                        const std::function<bool(std::int32_t, std::int32_t)>& black)
{
    BmpShape shape;
    shape.width = width;
    shape.height = height;
    shape.bitCount = 1;
    const Rgb blackEntry{0, 0, 0};
    const Rgb whiteEntry{0xFF, 0xFF, 0xFF};
    shape.palette = blackFirst ? std::vector<Rgb>{blackEntry, whiteEntry} : std::vector<Rgb>{whiteEntry, blackEntry};
    const std::uint32_t blackIndex = blackFirst ? 0 : 1;
    return makeBmp(shape, [&](std::int32_t x, std::int32_t y) { return black(x, y) ? blackIndex : 1 - blackIndex; });
}

std::vector<std::uint8_t> makeGreyBmp(std::int32_t width, std::int32_t height,
                                      const std::function<std::uint8_t(std::int32_t, std::int32_t)>& grey)
{
    BmpShape shape;
    shape.width = width;
    shape.height = height;
    shape.bitCount = 24;
    return makeBmp(shape, [&](std::int32_t x, std::int32_t y) {
        const std::uint32_t g = grey(x, y);
        return g << 16 | g << 8 | g;
    });
}

bool readBitImage(std::span<const std::uint8_t> b, PrintedImage* image, std::string* why)
{
    auto fail = [why](std::string reason) {
        *why = std::move(reason);
        return false;
    };
    if (b.size() < 6 || b[0] != 0x1B || b[1] != 0x61 || b[3] != 0x1B || b[4] != 0x7B || b[5] != 0x00) {
        return fail("no ESC a n ESC { 0 prologue");
    }
    image->alignment = b[2];
    std::size_t at = 6;
    while (at < b.size()) {
        if (b.size() - at == 2 && b[at] == 0x1B && b[at + 1] == 0x32) {
            image->finalLineSpacing = true;
            return true;
        }
        if (b.size() - at < 5 || b[at] != 0x1B || b[at + 1] != 0x2A) return fail("band does not start with ESC *");
        const std::uint8_t m = b[at + 2];
        const std::int32_t n = b[at + 3] | b[at + 4] << 8;
        if (image->bands > 0 && (m != image->mode || n != image->width)) return fail("bands differ in mode or width");
        image->mode = m;
        image->width = n;
        const int columnBytes = (m == 32 || m == 33) ? 3 : 1;
        const std::size_t data = static_cast<std::size_t>(n) * static_cast<std::size_t>(columnBytes);
        at += 5;
        if (b.size() - at < data + 5) return fail("band cut short");
        const std::size_t firstRow = image->dots.size();
        image->dots.resize(firstRow + 8 * static_cast<std::size_t>(columnBytes), std::vector<bool>(n, false));
        for (std::int32_t x = 0; x < n; ++x) {
            for (int part = 0; part < columnBytes; ++part) {
                const std::uint8_t column = b[at + static_cast<std::size_t>(x * columnBytes + part)];
                for (int j = 0; j < 8; ++j)
                    image->dots[firstRow + static_cast<std::size_t>(8 * part + j)][static_cast<std::size_t>(x)] =
                        ((column >> (7 - j)) & 1) != 0;
            }
        }
        at += data;
        std::array<std::uint8_t, 5> trailer{};
        std::copy(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + 5),
                  trailer.begin());
        image->trailers.push_back(trailer);
        at += 5;
        ++image->bands;
    }
    return true;
}

printer::Dib randomDib(std::int32_t width, std::int32_t height, std::uint32_t seed)
{
    printer::Dib dib;
    dib.width = width;
    dib.height = height;
    dib.palette = {printer::PaletteEntry{0, 0, 0}, printer::PaletteEntry{0xFF, 0xFF, 0xFF}};
    dib.bits.resize(dib.stride() * static_cast<std::size_t>(height));
    std::mt19937 random(seed);
    for (auto& byte : dib.bits) byte = static_cast<std::uint8_t>(random());
    return dib;
}

double density(const PrintedImage& image, std::int32_t left, std::int32_t right, std::int32_t top,
               std::int32_t bottom)
{
    std::size_t dots = 0;
    for (std::int32_t y = top; y < bottom; ++y)
        for (std::int32_t x = left; x < right; ++x)
            if (image.dots[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]) ++dots;
    return static_cast<double>(dots) / (static_cast<double>(right - left) * (bottom - top));
}

}  // namespace imagingtest
