// The picture of the paper, read back from the PNG file.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "PrinterStream.h"
#include "emulator/ModelCatalogue.h"
#include "emulator/ReferenceReceipt.h"
#include "emulator/VirtualPrinter.h"
#include "platform/paths.h"

using namespace emulator;
using emulatortest::PrinterStream;

namespace {

// The paper starts this far into the picture, on both axes.
constexpr int kMargin = 8;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    bool black(int x, int y) const {
        const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
        return rgb[at] == 0 && rgb[at + 1] == 0 && rgb[at + 2] == 0;
    }
    // Black dots in [x0, x1) x [y0, y1), in paper coordinates.
    int blackOnPaper(int x0, int y0, int x1, int y1) const {
        int count = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) count += black(x + kMargin, y + kMargin) ? 1 : 0;
        }
        return count;
    }
    std::array<std::uint8_t, 3> colour(int x, int y) const {
        const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
        return {rgb[at], rgb[at + 1], rgb[at + 2]};
    }
};

class TempPng {
public:
    TempPng() {
        std::string directory;
        EXPECT_EQ(platform::tempDirectory(&directory), 0);
        EXPECT_EQ(platform::tempFileName(directory, "paper", &m_path), 0);
    }
    ~TempPng() { std::remove(m_path.c_str()); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

Picture draw(const VirtualPrinter& printer) {
    TempPng file;
    std::string error;
    EXPECT_TRUE(printer.writePng(file.path(), &error)) << error;
    Picture picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.path().c_str())) {
        ADD_FAILURE() << "not a PNG: " << image.message;
        return picture;
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) << image.message;
    return picture;
}

TEST(PaperPicture, ReferenceReceiptHasItsSizeAndInkWhereItBelongs) {
    VirtualPrinter printer("H81");
    printer.receive(referenceReceipt(*findModel("H81")));
    const Picture p = draw(printer);
    ASSERT_EQ(p.width, 640 + 2 * kMargin);
    ASSERT_EQ(p.height, 562 + 2 * kMargin);

    // Double-size title, centred: 7 characters of 24 dots from x 236.
    EXPECT_GT(p.blackOnPaper(236, 0, 404, 48), 400);
    EXPECT_EQ(p.blackOnPaper(0, 0, 236, 48), 0);
    EXPECT_EQ(p.blackOnPaper(404, 0, 640, 48), 0);
    EXPECT_GT(p.blackOnPaper(236, 24, 404, 48), 200) << "twice as tall as font A";

    // Left and right alignment.
    EXPECT_GT(p.blackOnPaper(0, 48, 144, 72), 100);
    EXPECT_EQ(p.blackOnPaper(144, 48, 640, 78), 0);
    EXPECT_GT(p.blackOnPaper(484, 78, 640, 102), 100);
    EXPECT_EQ(p.blackOnPaper(0, 78, 484, 108), 0);

    // Underline: a solid row under "Underlined" (x 60-179) at the cell's foot.
    EXPECT_EQ(p.blackOnPaper(60, 131, 180, 132), 120);
    // Font B is at most 17 dots tall.
    EXPECT_GT(p.blackOnPaper(0, 138, 60, 155), 50);
    EXPECT_EQ(p.blackOnPaper(0, 155, 640, 168), 0);

    // Barcode: full-height bars in the middle, none at the sides; text below.
    int bars = 0;
    for (int x = 150; x < 490; ++x) bars += p.blackOnPaper(x, 168, x + 1, 248) == 80 ? 1 : 0;
    EXPECT_GT(bars, 40);
    EXPECT_EQ(p.blackOnPaper(0, 168, 150, 274), 0);
    EXPECT_EQ(p.blackOnPaper(490, 168, 640, 274), 0);
    EXPECT_GT(p.blackOnPaper(150, 250, 490, 274), 50) << "human-readable text";

    // The solid bit image, 128 x 48.
    EXPECT_EQ(p.blackOnPaper(0, 274, 128, 322), 128 * 48);
    EXPECT_EQ(p.blackOnPaper(128, 274, 640, 322), 0);

    // Upside down: the line starts at the left, so it ends up at the right.
    EXPECT_GT(p.blackOnPaper(508, 322, 640, 346), 100);
    EXPECT_EQ(p.blackOnPaper(0, 322, 508, 352), 0);

    // The page printed top to bottom: "PAGE MODE" runs down the right edge.
    EXPECT_GT(p.blackOnPaper(616, 352, 640, 460), 150);
    EXPECT_EQ(p.blackOnPaper(0, 352, 616, 472), 0);
    EXPECT_EQ(p.blackOnPaper(616, 460, 640, 472), 0);

    // The cut: a dashed grey line, not ink.
    const auto dash = p.colour(kMargin + 2, kMargin + 561);
    const auto gap = p.colour(kMargin + 10, kMargin + 561);
    EXPECT_NE(dash, (std::array<std::uint8_t, 3>{255, 255, 255}));
    EXPECT_NE(dash, (std::array<std::uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(gap, (std::array<std::uint8_t, 3>{255, 255, 255}));
}

// One dot in each bit-image density, each band fed on by the ESC J 24 the
// service object sends after it: single density prints a column two dots
// wide, the 8-dot modes a row three dots tall, so every band is 24 dots.
TEST(PaperPicture, BitImageDotsAreAsLargeAsTheirDensityPrintsThem) {
    struct Mode {
        int m;
        int dotWidth;
        int dotHeight;
    };
    const Mode modes[] = {{0, 2, 3}, {1, 1, 3}, {32, 2, 1}, {33, 1, 1}};
    PrinterStream s;
    for (const Mode& mode : modes) {
        // Four columns; in the second, the third dot from the top of the
        // band's second byte (or its only byte, in the 8-dot modes).
        s({0x1B, 0x2A, mode.m, 4, 0});
        if (mode.m < 32) {
            s({0x00, 0x20, 0x00, 0x00});
        } else {
            s({0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0, 0});
        }
        s({0x1B, 0x4A, 24});
    }
    VirtualPrinter printer("A14");
    printer.receive(s);
    const Picture p = draw(printer);
    for (std::size_t band = 0; band < std::size(modes); ++band) {
        const Mode& mode = modes[band];
        const int top = 24 * static_cast<int>(band);
        const int row = mode.m < 32 ? 2 : 10;
        const int x = mode.dotWidth;
        const int y = top + row * mode.dotHeight;
        const int dot = mode.dotWidth * mode.dotHeight;
        EXPECT_EQ(p.blackOnPaper(x, y, x + mode.dotWidth, y + mode.dotHeight), dot) << "ESC * " << mode.m;
        EXPECT_EQ(p.blackOnPaper(0, top, 640, top + 24), dot) << "ESC * " << mode.m;
    }
}

TEST(PaperPicture, F60DrawsItsThreeStationsSideBySide) {
    VirtualPrinter printer("F60");
    printer.receive(PrinterStream()({0x1B, 0x63, 0x30, 0x01})("J")({0x0A, 0x1B, 0x63, 0x30, 0x04})("S")({0x0A}));
    const Picture p = draw(printer);
    ASSERT_EQ(p.width, kMargin + 360 + 16 + 360 + 16 + 832 + kMargin);
    const int slipX = 360 + 16 + 360 + 16;
    EXPECT_GT(p.blackOnPaper(0, 0, 12, 24), 20) << "journal";
    EXPECT_EQ(p.blackOnPaper(376, 0, 376 + 360, 24), 0) << "receipt";
    EXPECT_GT(p.blackOnPaper(slipX, 0, slipX + 12, 24), 20) << "slip";
    EXPECT_NE(p.colour(kMargin + 365, kMargin), (std::array<std::uint8_t, 3>{255, 255, 255}))
        << "a gap between the strips";
}

TEST(PaperPicture, FailsWithAReasonWhenTheFileCannotBeWritten) {
    VirtualPrinter printer("H81");
    std::string error;
    EXPECT_FALSE(printer.writePng("/nonexistent-directory/paper.png", &error));
    EXPECT_NE(error.find("/nonexistent-directory/paper.png"), std::string::npos);
}

}  // namespace
