// bench_translate [receipt file] [seconds]
// Translates the receipt with the A14 translator over and over and prints
// the rate in MB/s of input, once with debug lines off (the default log
// level) and once with a log that wants every line but discards it, which is
// the cost of formatting when the level is debug.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "printer/ModelCatalogue.h"
#include "printer/encode/EscapeTranslator.h"

namespace {

struct DiscardLog : printer::EncodeLog {
    explicit DiscardLog(bool debug) : m_debug(debug) {}
    bool debugEnabled() const override { return m_debug; }
    void debug(std::string_view) override {}
    void error(std::string_view) override {}
    bool m_debug;
};

double rate(const std::vector<std::uint8_t>& data, bool debug, double seconds, std::int32_t* bytesOut)
{
    DiscardLog log(debug);
    printer::EscapeTranslator translator(&log);
    printer::TranslatorSettings settings;
    settings.model = printer::model::A14;
    settings.recLineChars = 42;
    translator.setSettings(settings);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    long long rounds = 0;
    std::int32_t n = 0;
    while (Clock::now() < end) {
        for (int i = 0; i < 100; ++i) {
            translator.resetMetrics();
            n = translator.translate(2, data);
        }
        rounds += 100;
    }
    *bytesOut = n;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    return static_cast<double>(rounds) * static_cast<double>(data.size()) / elapsed / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : "../shared/bench/text_receipt.txt";
    const double seconds = argc > 2 ? std::stod(argv[2]) : 2.0;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::int32_t out = 0;
    const double quiet = rate(data, false, seconds, &out);
    std::printf("input %zu bytes, output %d bytes\n", data.size(), out);
    std::printf("A14 translator, debug off:   %.1f MB/s (%.2f us per receipt)\n", quiet, data.size() / quiet);
    const double loud = rate(data, true, seconds, &out);
    std::printf("A14 translator, debug lines: %.1f MB/s (%.2f us per receipt)\n", loud, data.size() / loud);
    return 0;
}
