// Test JPEG files through libjpeg, on the systems that have it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "ImagingTestSupport.h"

namespace imagingtest {

std::vector<std::uint8_t> makeJpeg(std::int32_t width, std::int32_t height, JpegKind kind,
                                   const std::function<Rgb(std::int32_t, std::int32_t)>& colour)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    switch (kind) {
    case JpegKind::Greyscale:
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
        break;
    case JpegKind::Cmyk:
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_CMYK;
        break;
    default:
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        break;
    }
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (kind == JpegKind::Progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * static_cast<std::size_t>(cinfo.input_components));
    while (cinfo.next_scanline < cinfo.image_height) {
        const auto y = static_cast<std::int32_t>(cinfo.next_scanline);
        for (std::int32_t x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            const auto xs = static_cast<std::size_t>(x);
            if (kind == JpegKind::Greyscale) {
                row[xs] = c.r;
            } else if (kind == JpegKind::Cmyk) {
                // Inverted: 255 is no ink.
                const int k = std::max({c.r, c.g, c.b});
                row[4 * xs] = static_cast<JSAMPLE>(k == 0 ? 255 : c.r * 255 / k);
                row[4 * xs + 1] = static_cast<JSAMPLE>(k == 0 ? 255 : c.g * 255 / k);
                row[4 * xs + 2] = static_cast<JSAMPLE>(k == 0 ? 255 : c.b * 255 / k);
                row[4 * xs + 3] = static_cast<JSAMPLE>(k);
            } else {
                row[3 * xs] = c.r;
                row[3 * xs + 1] = c.g;
                row[3 * xs + 2] = c.b;
            }
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

const std::vector<JpegKind>& jpegKindsMadeHere()
{
    static const std::vector<JpegKind> kinds = {JpegKind::Baseline, JpegKind::Progressive, JpegKind::Greyscale,
                                                JpegKind::Cmyk};
    return kinds;
}

}  // namespace imagingtest
