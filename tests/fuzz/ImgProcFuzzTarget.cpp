// Fuzz target for imgproc's BMP loader and halftoner: the input is the BMP
// file. Whatever the headers claim, the library must stay inside the file
// it read and inside the work buffer its contract sizes (five times the
// file), and what it writes must be the 1-bit BMP it promises.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imgproc/imgproc.h"
#include "platform/paths.h"

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// The library reads a file by name: one scratch file per process.
const std::string& sourcePath()
{
    static const std::string path = [] {
        std::string directory;
        std::string file;
        require(platform::tempDirectory(&directory) == 0, "temporary directory");
        require(platform::tempFileName(directory, "fuzzbmp", &file) == 0, "temporary file");
        return file;
    }();
    return path;
}

std::uint32_t get32(const unsigned char* at)
{
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(sourcePath().c_str(), "wb");
    require(file != nullptr, "scratch file opens");
    require(size == 0 || std::fwrite(data, 1, size, file) == size, "scratch file written");
    std::fclose(file);

    for (const int method : {IMGPROC_METHOD_THRESHOLD, IMGPROC_METHOD_DIFFUSION}) {
        // Exactly the size the contract asks for, so that any write past it
        // is caught.
        std::vector<unsigned char> work(5 * size + 1);
        std::int32_t width = -1;
        std::int32_t height = -1;
        const std::int32_t result = AllBitsBmpHalftoneProc(sourcePath().c_str(), method, &width, &height, work.data());
        if (result == IMGPROC_ALREADY_BINARY) {
            require(width > 0 && height > 0, "a 1-bit source reports its size");
            continue;
        }
        if (result < 0) {
            require(result >= IMGPROC_E_MEMORY, "a documented error");
            continue;
        }
        require(static_cast<std::uint64_t>(result) <= 5 * static_cast<std::uint64_t>(size), "output within bound");
        require(result >= 62 && work[0] == 'B' && work[1] == 'M', "a BMP file image");
        require(get32(&work[2]) == static_cast<std::uint32_t>(result), "its size is what was written");
        const std::uint64_t stride = (static_cast<std::uint64_t>(width) + 31) / 32 * 4;
        require(62 + stride * static_cast<std::uint64_t>(height) == static_cast<std::uint64_t>(result),
                "rows as the header says");
    }
    return 0;
}
