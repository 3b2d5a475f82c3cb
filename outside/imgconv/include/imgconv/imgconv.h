#pragma once
/*
 * imgconv: JPEG decoding into BMP-ordered pixels for the receipt printers'
 * bitmap path. Loaded at run time by file name; this is its only entry
 * point.
 *
 * Accepted: baseline and progressive JPEG, greyscale, YCbCr, RGB, CMYK and
 * YCCK (CMYK with an Adobe marker is taken as stored inverted, as Adobe
 * applications write it). The image is decoded whole or not at all: a file
 * that ends before the image does, or that is not a JPEG, fails.
 *
 * Thread-safe: no state is kept between calls. No call throws.
 */
#include <stdint.h>

#if defined(_WIN32)
#define IMGCONV_API __declspec(dllexport)
#else
#define IMGCONV_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The JPEG file's bytes: `length` bytes at `buffer`, decoding starts at
 * `position`. */
typedef struct JpegMemory {
    int32_t position;
    int32_t length;
    unsigned char* buffer;
} JpegMemory;

/* The pixel buffer the caller provides; images needing more are refused. */
#define IMGCONV_PIXEL_BUFFER_SIZE 52428800

/* Results. */
#define IMGCONV_OK 0
#define IMGCONV_E_ARGUMENT 1  /* a null pointer, a bad position or length, bitsPerPixel other than 24 */
#define IMGCONV_E_DECODE 2    /* not a JPEG, corrupt, unsupported colour space, or out of memory */
#define IMGCONV_E_TRUNCATED 3 /* the data end before the image does */
#define IMGCONV_E_TOO_LARGE 4 /* width x height x 3 exceeds IMGCONV_PIXEL_BUFFER_SIZE */

/*
 * Decodes the JPEG in `memory` into `pixelBuffer` (IMGCONV_PIXEL_BUFFER_SIZE
 * bytes): width x height pixels of 3 bytes in the order blue, green, red,
 * rows packed without padding and stored bottom-up, as the rows of a 24-bit
 * BMP. `bitsPerPixel` must be 24. On IMGCONV_OK *width and *height hold the
 * image's size; on any other result the pixel buffer's content is undefined.
 */
IMGCONV_API int32_t JpegToBmp(const JpegMemory* memory, int32_t* width, int32_t* height, int32_t bitsPerPixel,
                              unsigned char* pixelBuffer);

#ifdef __cplusplus
}
#endif
