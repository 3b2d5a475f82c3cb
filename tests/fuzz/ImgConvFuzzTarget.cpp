// Fuzz target for imgconv's JPEG decoder: the input is the JPEG file, passed
// as the bitmap pipeline passes it. The decoder must stay inside the data
// and the caller's pixel buffer, and a success must describe an image that
// fits that buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "imgconv/imgconv.h"

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1 << 20) return 0;  // the pipeline refuses larger files
    static const std::unique_ptr<unsigned char[]> pixels(new unsigned char[IMGCONV_PIXEL_BUFFER_SIZE]);
    std::vector<unsigned char> bytes(data, data + size);
    JpegMemory memory{0, static_cast<std::int32_t>(size), bytes.data()};
    std::int32_t width = -1;
    std::int32_t height = -1;
    const std::int32_t result = JpegToBmp(&memory, &width, &height, 24, pixels.get());
    if (result != IMGCONV_OK) {
        require(result >= IMGCONV_E_ARGUMENT && result <= IMGCONV_E_TOO_LARGE, "a documented error");
        return 0;
    }
    require(width > 0 && height > 0, "a decoded image has a size");
    require(static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3 <= IMGCONV_PIXEL_BUFFER_SIZE,
            "the image fits the pixel buffer");
    return 0;
}
