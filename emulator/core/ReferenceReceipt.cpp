#include "emulator/ReferenceReceipt.h"

#include <string_view>

namespace emulator {

namespace {

void add(Bytes& out, std::initializer_list<int> bytes) {
    for (const int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
}

void add(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

}  // namespace

Bytes referenceReceipt(const ModelInfo& model) {
    Bytes out;
    add(out, {0x1B, 0x40});                            // initialise
    add(out, {0x1B, 0x33, 60});                        // 30-dot lines
    add(out, {0x1B, 0x61, 1, 0x1D, 0x21, 0x11});       // centred, double size
    add(out, "CORVANE\n");
    add(out, {0x1D, 0x21, 0x00, 0x1B, 0x61, 0});
    add(out, "Left aligned\n");
    add(out, {0x1B, 0x61, 2});
    add(out, "Right aligned\n");
    add(out, {0x1B, 0x61, 0, 0x1B, 0x45, 1});
    add(out, "Bold");
    add(out, {0x1B, 0x45, 0, ' ', 0x1B, 0x2D, 1});
    add(out, "Underlined");
    add(out, {0x1B, 0x2D, 0, '\n', 0x1B, 0x4D, 1});
    add(out, "Font B");
    add(out, {0x1B, 0x4D, 0, '\n'});

    // Code 39 with its text below, centred.
    add(out, {0x1B, 0x61, 1, 0x1D, 0x77, 2, 0x1D, 0x68, 80, 0x1D, 0x48, 2, 0x1D, 0x66, 0});
    add(out, {0x1D, 0x6B, 69, 7});
    add(out, "CORVANE");
    add(out, {0x1B, 0x61, 0});

    // Two solid 24-dot bands, 128 columns each, fed as the bitmap path
    // feeds them.
    for (int band = 0; band < 2; ++band) {
        add(out, {0x1B, 0x2A, 33, 128, 0});
        out.insert(out.end(), 128 * 3, 0xFF);
        add(out, {0x1B, 0x32, 0x1B, 0x4A, 24});
    }

    add(out, {0x1B, 0x7B, 1});
    add(out, "UPSIDE DOWN\n");
    add(out, {0x1B, 0x7B, 0});

    // A page 120 dots tall across the whole paper, printed top to bottom.
    const int width = model.stationWidth(Station::Receipt);
    add(out, {0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, width & 0xFF, width >> 8, 120, 0, 0x1B, 0x54, 3});
    add(out, "PAGE MODE\n");
    add(out, {0x0C});

    add(out, {0x1B, 0x64, 3, 0x1D, 0x56, 0});
    return out;
}

}  // namespace emulator
