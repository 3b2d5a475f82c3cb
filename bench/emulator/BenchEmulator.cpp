// How fast the virtual printer interprets what the service object sends.
//
//   bench_emulator [RECEIPT.txt] [SECONDS]
//
// RECEIPT.txt is print data as an application hands it to PrintNormal (OPOS
// escape sequences ESC | ...); its simple sequences are turned into printer
// commands here the way the service object's standard translator does
// (alignment, double size, bold, underline, feeds, cuts, and ESC|#B as the
// bit-image bands of a 384 x 200 stored bitmap). Without a file a receipt of
// the same make-up is generated. Three workloads are timed: that receipt,
// the same receipt without its bitmap, and a 576 x 800 raster image. The
// data goes in as 4 KiB reads, as a transport would hand it over.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emulator/VirtualPrinter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void add(Bytes& out, std::initializer_list<int> bytes) {
    for (const int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
}

std::string generatedReceipt() {
    const std::string esc = "\x1b|";
    std::string text = esc + "cA" + esc + "4CACME STORE #0042\n" + esc + "cA" + esc + "4CTHANK YOU\n";
    for (int i = 1; i <= 30; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "Item %02d %-20.*s %2d x %5d.%02d\n", i, 6 + i % 14,
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 1 + i % 4, (i * 7919) % 10000 / 100, i % 100);
        text += (i % 5 == 0 ? esc + "bC" : i % 7 == 0 ? esc + "uC" : "") + line;
    }
    return text + esc + "bC" + esc + "2CTOTAL            1234.56\n" + esc + "1B" + esc + "4lF" + esc + "fP";
}

// A stored 384 x 200 bitmap as the bitmap path sends it at the default
// 8-dot level: 133 rows scaled to 17 bands of ESC * 0, each followed by the
// band trailer.
void addBitmap(Bytes& out) {
    add(out, {0x1B, 0x61, 1, 0x1B, 0x7B, 0});
    std::uint32_t noise = 12345;
    for (int band = 0; band < 17; ++band) {
        add(out, {0x1B, 0x2A, 0, 384 & 0xFF, 384 >> 8});
        for (int column = 0; column < 384; ++column) {
            noise = noise * 1103515245u + 12345u;
            out.push_back(static_cast<std::uint8_t>(noise >> 16));
        }
        add(out, {0x1B, 0x32, 0x1B, 0x4A, 0x18});
    }
}

// The standard translator's output for the receipt's escape sequences.
Bytes translate(const std::string& data, bool withBitmaps) {
    Bytes out;
    add(out, {0x1B, 0x4D, 0, 0x1B, 0x33, 60, 0x1B, 0x7B, 0});
    bool aligned = false;
    bool sized = false;
    bool bold = false;
    bool underlined = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\n') {
            out.push_back(0x0A);
            if (sized) add(out, {0x1D, 0x21, 0});
            if (aligned) add(out, {0x1B, 0x61, 0});
            if (bold) add(out, {0x1B, 0x45, 0});
            if (underlined) add(out, {0x1B, 0x2D, 0});
            aligned = sized = bold = underlined = false;
            continue;
        }
        if (data[i] != 0x1B || i + 1 >= data.size() || data[i + 1] != '|') {
            out.push_back(static_cast<std::uint8_t>(data[i]));
            continue;
        }
        std::size_t j = i + 2;
        int number = 0;
        while (j < data.size() && (data[j] < 'A' || data[j] > 'Z') && data[j] != 'p') {
            if (data[j] >= '0' && data[j] <= '9') number = number * 10 + (data[j] - '0');
            ++j;
        }
        if (j >= data.size()) break;
        const std::string sequence = data.substr(i + 2, j - i - 1);
        i = j;
        if (sequence == "cA") {
            add(out, {0x1B, 0x61, 1});
            aligned = true;
        } else if (sequence == "4C" || sequence == "2C") {
            add(out, {0x1D, 0x21, sequence == "4C" ? 0x11 : 0x10});
            sized = true;
        } else if (sequence == "bC") {
            add(out, {0x1B, 0x45, 1});
            bold = true;
        } else if (sequence == "uC") {
            add(out, {0x1B, 0x2D, 1});
            underlined = true;
        } else if (sequence.back() == 'F' && sequence[sequence.size() - 2] == 'l') {
            add(out, {0x1B, 0x64, number == 0 ? 1 : number});
        } else if (sequence.back() == 'P') {
            if (sequence.find('f') != std::string::npos) {
                add(out, {0x1D, 0x56, 0x42, number});
            } else {
                add(out, {0x1D, 0x56, 0x01});
            }
        } else if (sequence.back() == 'B' && number >= 1 && number <= 20 && withBitmaps) {
            addBitmap(out);
        }
    }
    return out;
}

Bytes rasterPhoto() {
    Bytes out;
    add(out, {0x1B, 0x61, 1, 0x1D, 0x76, 0x30, 0, 72, 0, 800 & 0xFF, 800 >> 8});
    std::uint32_t noise = 777;
    for (int i = 0; i < 72 * 800; ++i) {
        noise = noise * 1103515245u + 12345u;
        out.push_back(static_cast<std::uint8_t>(noise >> 16));
    }
    add(out, {0x1B, 0x61, 0, 0x1B, 0x64, 3, 0x1D, 0x56, 0x01});
    return out;
}

void time(const char* name, const Bytes& unit, double seconds) {
    Bytes stream;
    while (stream.size() < (std::size_t{4} << 20)) stream.insert(stream.end(), unit.begin(), unit.end());
    emulator::VirtualPrinter printer("A14");
    constexpr std::size_t kRead = 4096;
    std::uint64_t total = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    while (elapsed < seconds) {
        for (std::size_t at = 0; at < stream.size(); at += kRead) {
            printer.receive(std::span<const std::uint8_t>(stream.data() + at, std::min(kRead, stream.size() - at)));
        }
        total += stream.size();
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    std::printf("%-26s %7zu bytes each  %8.1f MB/s  %9.0f per second\n", name, unit.size(), total / elapsed / 1e6,
                static_cast<double>(total) / unit.size() / elapsed);
}

}  // namespace

int main(int argc, char** argv) {
    std::string receipt = generatedReceipt();
    if (argc > 1) {
        std::ifstream file(argv[1], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", argv[1]);
            return 2;
        }
        receipt.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    const double seconds = argc > 2 ? std::strtod(argv[2], nullptr) : 3.0;
    time("receipt with bitmap", translate(receipt, true), seconds);
    time("receipt, text only", translate(receipt, false), seconds);
    time("576 x 800 raster image", rasterPhoto(), seconds);
    return 0;
}
