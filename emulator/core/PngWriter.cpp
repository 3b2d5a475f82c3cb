#include "PngWriter.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace emulator {

namespace {

// Indexed by Ink.
constexpr png_color kPalette[] = {
    {255, 255, 255},  // paper
    {0, 0, 0},        // black ink
    {204, 0, 0},      // red ink
    {200, 200, 200},  // background around the paper
    {96, 96, 96},     // cut marks
};

struct Output {
    std::vector<std::uint8_t>* png;
    char message[256];
};

void onPngError(png_structp png, png_const_charp message) {
    auto* output = static_cast<Output*>(png_get_error_ptr(png));
    std::snprintf(output->message, sizeof output->message, "%s", message);
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

void onPngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* output = static_cast<Output*>(png_get_io_ptr(png));
    output->png->insert(output->png->end(), data, data + length);
}

void onPngFlush(png_structp) {}

// Kept free of objects with destructors: libpng leaves by longjmp.
bool encodeRows(const Canvas& canvas, png_bytepp rows, Output* output) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, output, onPngError, onPngWarning);
    if (png == nullptr) {
        std::snprintf(output->message, sizeof output->message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, output, onPngWrite, onPngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(canvas.width), static_cast<png_uint_32>(canvas.height),
                 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, kPalette, static_cast<int>(sizeof kPalette / sizeof kPalette[0]));
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool encodePng(const Canvas& canvas, std::vector<std::uint8_t>* png, std::string* error) {
    if (canvas.width <= 0 || canvas.height <= 0) {
        *error = "empty picture";
        return false;
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(canvas.height));
    for (int y = 0; y < canvas.height; ++y) {
        rows[static_cast<std::size_t>(y)] =
            const_cast<png_bytep>(canvas.pixels.data() + static_cast<std::size_t>(y) * canvas.width);
    }
    png->clear();
    Output output{png, {}};
    if (encodeRows(canvas, rows.data(), &output)) return true;
    *error = std::string("cannot encode the picture: ") + output.message;
    return false;
}

bool writePngFile(const Canvas& canvas, const std::string& path, std::string* error) {
    std::vector<std::uint8_t> png;
    if (!encodePng(canvas, &png, error)) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot create " + path;
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return true;
    std::remove(path.c_str());
    *error = "cannot write " + path;
    return false;
}

}  // namespace emulator
