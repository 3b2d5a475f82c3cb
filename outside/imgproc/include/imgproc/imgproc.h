#pragma once
/*
 * imgproc: halftoning of BMP files into 1-bit images for the receipt
 * printers' bit-image commands. Loaded at run time by file name; this is its
 * only entry point.
 *
 * Accepted sources: Windows BMP files with a 40, 52, 56, 108 or 124-byte
 * information header, 1, 4, 8, 16, 24 or 32 bits per pixel, rows bottom-up
 * or top-down, uncompressed (BI_RGB) or, for 16 and 32 bits, with colour
 * masks (BI_BITFIELDS). Run-length and embedded JPEG/PNG compression are
 * refused. Every header field is checked against the file before use: a
 * truncated file, an offset or palette outside the file, more palette
 * entries than the depth allows or a side above IMGPROC_MAX_SIDE pixels
 * gives IMGPROC_E_FORMAT and nothing is written.
 *
 * Thread-safe: no state is kept between calls. No call throws.
 */
#include <stdint.h>

#if defined(_WIN32)
#define IMGPROC_API __declspec(dllexport)
#else
#define IMGPROC_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Methods. */
#define IMGPROC_METHOD_THRESHOLD 1 /* luminance against mid-grey */
#define IMGPROC_METHOD_DIFFUSION 2 /* Floyd-Steinberg error diffusion on luminance */

/* Results other than the size of the image written. */
#define IMGPROC_E_READ (-1)         /* the file cannot be opened or read, or exceeds IMGPROC_MAX_FILE_SIZE */
#define IMGPROC_E_FORMAT (-2)       /* not a BMP this library accepts (see above) */
#define IMGPROC_ALREADY_BINARY (-3) /* the source is a valid 1-bit image; workBuffer untouched */
#define IMGPROC_E_ARGUMENT (-4)     /* a null pointer or an unknown method */
#define IMGPROC_E_MEMORY (-5)       /* working memory could not be allocated */

#define IMGPROC_MAX_FILE_SIZE (256 * 1024 * 1024)
#define IMGPROC_MAX_SIDE 65535

/*
 * Halftones the BMP file at `sourcePath` with `method` into a complete 1-bit
 * BMP file image in `workBuffer`: a 14-byte file header, a 40-byte
 * information header, the palette black (index 0) then white (index 1) and
 * the rows bottom-up, each padded to 4 bytes.
 *
 * `workBuffer` must hold at least 5 times the source file's size. The image
 * written never needs more than the source file's size plus 8 bytes, and the
 * call checks that bound before writing.
 *
 * Returns the number of bytes written (positive) with the image's width and
 * height in *width and *height; IMGPROC_ALREADY_BINARY, also with the width
 * and height, when the source is a 1-bit image (the caller uses it as it
 * is); or one of the negative IMGPROC_E_* codes, leaving workBuffer alone.
 */
IMGPROC_API int32_t AllBitsBmpHalftoneProc(const char* sourcePath, int32_t method, int32_t* width,
                                           int32_t* height, unsigned char* workBuffer);

#ifdef __cplusplus
}
#endif
