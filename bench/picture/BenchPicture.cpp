// bench_picture [picture directory] [seconds per picture] [bit-image level]
// Prints the standard pictures (a 384x200 grey gradient BMP, a 576x800
// photograph as 24-bit BMP and as JPEG) through PrintBitmap's pipeline, file
// to command bytes, over and over, and reports the time per picture: the
// JPEG decode (imgconv), the halftoning (imgproc), scaling and the bit-image
// encoding, with the image libraries loaded as the service object loads
// them. At levels 24 and 48 the photograph's bands as is exceed the 64 KiB
// command buffer and are refused, as PrintBitmap refuses them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/OposConstants.h"
#include "platform/paths.h"
#include "printer/ModelCatalogue.h"
#include "printer/bitmap/BitmapPipeline.h"
#include "printer/encode/CommandEncoder.h"
#include "printer/encode/EncodeLog.h"

namespace {

// The pipeline's error lines, for a picture that fails.
struct ErrorLog : printer::EncodeLog {
    bool debugEnabled() const override { return false; }
    void debug(std::string_view) override {}
    void error(std::string_view text) override { std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data()); }
};

struct Result {
    long long rounds = 0;
    double meanMs = 0;
    double bestMs = 0;
    std::int32_t bytes = 0;
};

bool run(const printer::BitmapContext& context, const std::string& file, double seconds, Result* result)
{
    using Clock = std::chrono::steady_clock;
    const std::wstring name(file.begin(), file.end());
    printer::CommandEncoder encoder;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    double total = 0;
    double best = 1e300;
    do {
        const auto start = Clock::now();
        encoder.setLineTerminated(true);
        const std::int32_t bytes =
            printer::DoPrintBmp(context, name, common::PTR_BM_ASIS, common::PTR_BM_CENTER, encoder);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (bytes < 0) return false;
        result->bytes = bytes;
        total += ms;
        best = std::min(best, ms);
        ++result->rounds;
    } while (Clock::now() < end);
    result->meanMs = total / static_cast<double>(result->rounds);
    result->bestMs = best;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string directory = argc > 1 ? argv[1] : "../shared/bench";
    if (!directory.empty() && directory.back() != '/') directory += '/';
    const double seconds = argc > 2 ? std::stod(argv[2]) : 3.0;
    printer::BitmapContext context;
    context.model = printer::model::A14;
    context.bitmapLevel = argc > 3 ? std::stoi(argv[3]) : 8;
    context.dpi = 203;
    context.installDirectory = std::string(IMAGING_LIBRARY_DIR);
    std::string temp;
    if (platform::tempDirectory(&temp) != 0) {
        std::fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    context.bitmapDirectory = temp;
    ErrorLog log;
    context.log = &log;

    std::printf("A14, bit-image level %d, PTR_BM_ASIS, %.1f s per picture\n", context.bitmapLevel, seconds);
    std::printf("%-24s %8s %10s %10s %10s\n", "picture", "rounds", "mean ms", "best ms", "bytes out");
    int status = 0;
    for (const char* picture : {"gradient_384x200.bmp", "photo_576x800.bmp", "photo_576x800.jpg"}) {
        Result result;
        if (!run(context, directory + picture, seconds, &result)) {
            std::printf("%-24s failed (error lines above)\n", picture);
            status = 1;
            continue;
        }
        std::printf("%-24s %8lld %10.2f %10.2f %10d\n", picture, result.rounds, result.meanMs, result.bestMs,
                    result.bytes);
    }
    return status;
}
