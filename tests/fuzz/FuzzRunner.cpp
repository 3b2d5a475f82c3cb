// Runs a libFuzzer-style target (LLVMFuzzerTestOneInput) where libFuzzer is
// not available, as with GCC: first the files named on the command line (to
// replay an input libFuzzer saved), then seeded random inputs until the
// time or iteration limit.
//
//   runner [--seconds N] [--iterations N] [--seed N] [--max-length N] [FILE...]
//
// Random inputs are built from pieces: random bytes, runs of bytes that
// start commands and frame data in byte-stream protocols (NUL, LF, FF, DLE,
// ESC, FS, GS, 0xFF, digits), and copies of earlier pieces, so that the
// target sees command structure far more often than pure noise would give.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

struct Options {
    double seconds = 10;
    unsigned long long iterations = 0;  // 0: until the time is up
    unsigned long long seed = 1;
    std::size_t maxLength = 4096;
    std::vector<std::string> files;
};

bool parse(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--seconds" && hasValue) {
            options->seconds = std::strtod(argv[++i], nullptr);
        } else if (arg == "--iterations" && hasValue) {
            options->iterations = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--seed" && hasValue) {
            options->seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--max-length" && hasValue) {
            options->maxLength = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg.rfind("--", 0) == 0) {
            return false;
        } else {
            options->files.push_back(arg);
        }
    }
    return options->maxLength > 0;
}

std::vector<std::uint8_t> randomInput(std::mt19937_64& random, std::size_t maxLength) {
    static constexpr std::uint8_t kStructural[] = {0x00, 0x0A, 0x0C, 0x10, 0x14, 0x1B, 0x1C, 0x1D,
                                                   0x1E, 0xFF, '0',  '1',  'A',  'k',  'v',  '*'};
    const std::size_t length = random() % (maxLength + 1);
    std::vector<std::uint8_t> input;
    input.reserve(length);
    while (input.size() < length) {
        const std::size_t piece = std::min<std::size_t>(length - input.size(), random() % 32 + 1);
        switch (random() % 4) {
        case 0:
            for (std::size_t i = 0; i < piece; ++i) input.push_back(static_cast<std::uint8_t>(random()));
            break;
        case 1:
            for (std::size_t i = 0; i < piece; ++i) {
                input.push_back(kStructural[random() % sizeof kStructural]);
            }
            break;
        case 2:
            for (std::size_t i = 0; i < piece; ++i) input.push_back(static_cast<std::uint8_t>(0x20 + random() % 0x5F));
            break;
        default:
            if (input.empty()) break;
            {
                const std::size_t from = random() % input.size();
                const std::size_t count = std::min(piece, input.size() - from);
                for (std::size_t i = 0; i < count; ++i) input.push_back(input[from + i]);
            }
            break;
        }
    }
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: %s [--seconds N] [--iterations N] [--seed N] [--max-length N] [FILE...]\n",
                     argv[0]);
        return 2;
    }
    for (const std::string& name : options.files) {
        std::ifstream file(name, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", name.c_str());
            return 2;
        }
        const std::vector<std::uint8_t> input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::mt19937_64 random(options.seed);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(options.seconds));
    unsigned long long runs = 0;
    while ((options.iterations == 0 || runs < options.iterations) &&
           std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::uint8_t> input = randomInput(random, options.maxLength);
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++runs;
    }
    std::printf("%llu random inputs (seed %llu), no failure\n", runs, options.seed);
    return 0;
}
