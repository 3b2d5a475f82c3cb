// JpegToBmp over libjpeg-turbo.
//
// libjpeg reports a fatal error by calling error_exit, which must not
// return; it jumps back here with longjmp. The function that calls setjmp
// therefore holds only plain C objects (no destructors may be skipped), and
// every buffer it uses belongs to the caller or to libjpeg's own pools,
// which jpeg_destroy_decompress frees.
#include <csetjmp>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "imgconv/imgconv.h"

namespace {

// Enough for the progressive coefficient buffers of the largest image the
// pixel buffer can take; a lying header cannot make libjpeg take more.
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool truncated;
    bool corrupt;
};

[[noreturn]] void onFatal(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings are not printed (this is a library). Data that end early (the
// file, or the image's data before a marker) or cannot be decoded are
// remembered: libjpeg would pad the image with grey or garbage and go on.
void onMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0) return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    const int code = err->base.msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) err->truncated = true;
    if (code == JWRN_HUFF_BAD_CODE) err->corrupt = true;
    err->base.num_warnings++;
}

std::uint8_t inkToLight(unsigned ink, unsigned black) { return static_cast<std::uint8_t>(ink * black / 255); }

// One CMYK row to BGR. Adobe applications store the four channels inverted
// (255 = no ink) and say so with their marker; others store ink amounts.
void cmykToBgr(const JSAMPLE* cmyk, JDIMENSION width, bool inverted, unsigned char* bgr)
{
    for (JDIMENSION x = 0; x < width; ++x) {
        unsigned c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[3 * x] = inkToLight(y, k);
        bgr[3 * x + 1] = inkToLight(m, k);
        bgr[3 * x + 2] = inkToLight(c, k);
    }
}

int32_t decode(const unsigned char* data, unsigned long size, int32_t* width, int32_t* height,
               unsigned char* pixels)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = onFatal;
    err.base.emit_message = onMessage;
    err.truncated = false;
    err.corrupt = false;
    if (setjmp(err.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return IMGCONV_E_DECODE;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);

    const std::uint64_t needed = std::uint64_t{cinfo.image_width} * cinfo.image_height * 3;
    bool cmyk = false;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo.out_color_space = JCS_EXT_BGR;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        cmyk = true;
        break;
    default:
        jpeg_destroy_decompress(&cinfo);
        return IMGCONV_E_DECODE;
    }
    if (needed == 0 || needed > IMGCONV_PIXEL_BUFFER_SIZE || err.truncated) {
        jpeg_destroy_decompress(&cinfo);
        return needed > IMGCONV_PIXEL_BUFFER_SIZE ? IMGCONV_E_TOO_LARGE : IMGCONV_E_TRUNCATED;
    }

    jpeg_start_decompress(&cinfo);
    const JDIMENSION w = cinfo.output_width;
    const JDIMENSION h = cinfo.output_height;
    const std::size_t rowBytes = std::size_t{w} * 3;
    JSAMPARRAY cmykRow = cmyk ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                           w * 4, 1)
                              : nullptr;
    while (cinfo.output_scanline < h && !err.truncated && !err.corrupt) {
        // BMP rows run bottom-up.
        unsigned char* target = pixels + std::size_t{h - 1 - cinfo.output_scanline} * rowBytes;
        if (cmyk) {
            if (jpeg_read_scanlines(&cinfo, cmykRow, 1) != 1) break;
            cmykToBgr(cmykRow[0], w, cinfo.saw_Adobe_marker != 0, target);
        } else {
            JSAMPROW row = target;
            if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
        }
    }
    const bool whole = cinfo.output_scanline == h && !err.truncated && !err.corrupt;
    if (whole) jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (err.corrupt) return IMGCONV_E_DECODE;
    if (!whole || err.truncated) return IMGCONV_E_TRUNCATED;
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return IMGCONV_OK;
}

}  // namespace

extern "C" IMGCONV_API int32_t JpegToBmp(const JpegMemory* memory, int32_t* width, int32_t* height,
                                         int32_t bitsPerPixel, unsigned char* pixelBuffer)
{
    if (memory == nullptr || memory->buffer == nullptr || width == nullptr || height == nullptr ||
        pixelBuffer == nullptr || bitsPerPixel != 24) {
        return IMGCONV_E_ARGUMENT;
    }
    if (memory->position < 0 || memory->length <= memory->position) return IMGCONV_E_ARGUMENT;
    return decode(memory->buffer + memory->position, static_cast<unsigned long>(memory->length - memory->position),
                  width, height, pixelBuffer);
}
