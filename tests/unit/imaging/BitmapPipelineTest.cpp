#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "ImagingTestSupport.h"
#include "common/OposConstants.h"
#include "platform/module.h"
#include "printer/ModelCatalogue.h"
#include "printer/TransactionBuffer.h"
#include "printer/bitmap/BitmapPipeline.h"
#include "printer/encode/EscapeTranslator.h"
#include "support/TempRegistry.h"

using namespace imagingtest;
using common::PTR_BM_ASIS;
using common::PTR_BM_CENTER;
using common::PTR_BM_LEFT;
using common::PTR_BM_RIGHT;
using printer::BitmapContext;
using printer::CommandEncoder;

namespace fs = std::filesystem;

namespace {

const std::vector<std::uint8_t> kLineFeed = {0x1B, 0x64, 0x01};

class BitmapPipeline : public ::testing::Test {
protected:
    BitmapContext context()
    {
        BitmapContext c;
        c.installDirectory = IMAGING_LIBRARY_DIR;
        c.bitmapDirectory = stored.path();
        c.log = &log;
        return c;
    }

    std::wstring source(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        writeFile(sources.file(name), bytes);
        return fs::path(sources.file(name)).wstring();
    }

    // DoPrintBmp's command bytes, read back after the leading ESC d 1.
    PrintedImage print(const BitmapContext& c, const std::wstring& file, std::int32_t width = PTR_BM_ASIS,
                       std::int32_t alignment = PTR_BM_CENTER)
    {
        auto encoder = std::make_unique<CommandEncoder>();
        const std::int32_t fill = printer::DoPrintBmp(c, file, width, alignment, *encoder);
        PrintedImage image;
        EXPECT_GT(fill, 0) << (log.errors.empty() ? "" : log.errors.back());
        if (fill <= 0) return image;
        const auto commands = encoder->commands();
        EXPECT_EQ(fill, static_cast<std::int32_t>(commands.size()));
        EXPECT_TRUE(std::equal(kLineFeed.begin(), kLineFeed.end(), commands.begin()));
        std::string why;
        EXPECT_TRUE(readBitImage(commands.subspan(3), &image, &why)) << why;
        return image;
    }

    std::vector<std::uint8_t> storedBitmapCommands(const BitmapContext& c, std::int32_t number, bool rotate = false)
    {
        CommandEncoder encoder;
        printer::BitmapPrinted printed;
        const std::int32_t fill = printer::PrintBitmapToRAM(c, printer::storedBitmapPath(stored.path(), number),
                                                            &printed, rotate, PTR_BM_LEFT, number, encoder);
        if (fill < 0) return {};
        EXPECT_EQ(printed.bytes, fill);
        return {encoder.commands().begin(), encoder.commands().end()};
    }

    testsupport::TempRegistry registry;
    TempDir sources;
    TempDir stored;
    CapturingLog log;
};

std::int32_t rowsWithDots(const PrintedImage& image)
{
    std::int32_t rows = 0;
    for (const auto& row : image.dots) rows += std::find(row.begin(), row.end(), true) != row.end() ? 1 : 0;
    return rows;
}

std::int32_t columnsWithDots(const PrintedImage& image)
{
    std::int32_t columns = 0;
    for (std::int32_t x = 0; x < image.width; ++x) {
        bool any = false;
        for (const auto& row : image.dots) any = any || row[static_cast<std::size_t>(x)];
        columns += any ? 1 : 0;
    }
    return columns;
}

bool leftHalfAndTopRow(std::int32_t x, std::int32_t y) { return x < 30 || y == 0; }

TEST_F(BitmapPipeline, Width640AtLevel8PrintsBandsOfEscStar0With640Columns)
{
    const auto file = source("wide.bmp", makeOneBitBmp(640, 48, true, [](std::int32_t x, std::int32_t y) {
                                 return (x + y) % 3 == 0;
                             }));
    CommandEncoder encoder;
    printer::BitmapJob job;
    const std::int32_t fill = printer::DoPrintBmp(context(), file, PTR_BM_ASIS, PTR_BM_CENTER, encoder, &job);
    // 48 rows at level 8 print as 32 (bit-image rows are 1.5 dots tall): 4 bands.
    const std::size_t band = 5 + 640 + 5;
    ASSERT_EQ(fill, static_cast<std::int32_t>(3 + 6 + 4 * band));
    const auto commands = encoder.commands();
    for (std::size_t b = 0; b < 4; ++b) {
        const std::size_t at = 9 + b * band;
        EXPECT_EQ(std::vector<std::uint8_t>(commands.begin() + at, commands.begin() + at + 5),
                  (std::vector<std::uint8_t>{0x1B, 0x2A, 0x00, 0x80, 0x02}))
            << "band " << b;
    }
    EXPECT_EQ(job.widthDots, 640);
    EXPECT_EQ(job.jobMode, printer::job_mode::NORMAL);
    EXPECT_EQ(job.widestLineAtLeast, 0);
    EXPECT_TRUE(encoder.lineTerminated());
}

TEST_F(BitmapPipeline, BothPaletteOrdersPrintTheSamePicture)
{
    const auto blackFirst = print(context(), source("a.bmp", makeOneBitBmp(70, 30, true, leftHalfAndTopRow)));
    const auto whiteFirst = print(context(), source("b.bmp", makeOneBitBmp(70, 30, false, leftHalfAndTopRow)));
    ASSERT_EQ(blackFirst.dots.size(), 24u);  // 30 rows at level 8 print as 20, padded to 24
    EXPECT_EQ(blackFirst.dots, whiteFirst.dots);
    EXPECT_TRUE(blackFirst.dots[10][0]);    // left half: black
    EXPECT_FALSE(blackFirst.dots[10][60]);  // right half: white
    // The one-pixel top row makes up two thirds of the first printed row,
    // after the 4 rows of band padding, and nothing of the next.
    EXPECT_NEAR(density(blackFirst, 30, 70, 4, 5), 2.0 / 3, 0.1);
    EXPECT_EQ(density(blackFirst, 30, 70, 5, 24), 0.0);
}

// The whole way from a file to bands and back: a 1-bit source made of
// 3-row stripes, printed as is (every pixel two dots wide and tall), scales
// to 2-row stripes in the 8-dot modes (rows three dots tall) and to 6-row
// stripes in the 24-dot modes, and to two columns a pixel in double density.
TEST_F(BitmapPipeline, PrintedDotsAreTheSourcePixelsAtEveryLevel)
{
    constexpr std::int32_t width = 96, height = 72;
    std::mt19937 random(11);
    std::vector<std::vector<bool>> stripes(height / 3, std::vector<bool>(width));
    for (auto& stripe : stripes)
        for (std::size_t x = 0; x < stripe.size(); ++x) stripe[x] = random() % 2 == 0;
    const auto file = source("stripes.bmp", makeOneBitBmp(width, height, true, [&](std::int32_t x, std::int32_t y) {
                                 return stripes[static_cast<std::size_t>(y / 3)][static_cast<std::size_t>(x)];
                             }));
    for (std::int32_t level : {8, 16, 24, 48}) {
        BitmapContext c = context();
        c.bitmapLevel = level;
        const PrintedImage image = print(c, file);
        const std::int32_t scale = level == 16 || level == 48 ? 2 : 1;
        const std::int32_t rowsPerStripe = level == 24 || level == 48 ? 6 : 2;
        ASSERT_EQ(image.width, width * scale) << level;
        ASSERT_EQ(static_cast<std::int32_t>(image.dots.size()), height / 3 * rowsPerStripe) << level;
        int wrong = 0;
        for (std::int32_t y = 0; y < static_cast<std::int32_t>(image.dots.size()); ++y)
            for (std::int32_t x = 0; x < image.width; ++x)
                if (image.dots[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] !=
                    stripes[static_cast<std::size_t>(y / rowsPerStripe)][static_cast<std::size_t>(x / scale)])
                    ++wrong;
        EXPECT_EQ(wrong, 0) << "level " << level;
    }
}

TEST_F(BitmapPipeline, WidthModelAndLevelSetThePrintedSize)
{
    const auto file =
        source("black.bmp", makeOneBitBmp(100, 30, true, [](std::int32_t, std::int32_t) { return true; }));
    struct Case {
        const char* name;
        std::int32_t model, level, mapMode, width;
        std::int32_t columns, rows;
    };
    const Case cases[] = {
        // Width halved into columns; rows for the source's proportions,
        // with single density printing two dots a column and the 8-dot
        // modes three dots a row.
        {"dots", printer::model::A14, 8, 1, 400, 200, 40},           // 30 x (2 x 200 / 100) / 3
        {"twips", printer::model::A14, 8, 2, 1600, 100, 20},         // 800 twips at 180 dpi
        {"K92 step feed", printer::model::K92, 8, 1, 400, 200, 54},  // 200 x 30 x 0.9 / 100
        {"F60 step feed", printer::model::F60, 24, 1, 400, 200, 54},
        {"level 16", printer::model::A14, 16, 1, 400, 200, 20},      // 30 x (200 / 100) / 3
        {"level 24", printer::model::A14, 24, 1, 400, 200, 120},     // 30 x (2 x 200 / 100)
        {"level 48", printer::model::A14, 48, 1, 400, 200, 60},      // 30 x (200 / 100)
    };
    for (const Case& c : cases) {
        BitmapContext ctx = context();
        ctx.model = c.model;
        ctx.bitmapLevel = c.level;
        ctx.mapMode = c.mapMode;
        const PrintedImage image = print(ctx, file, c.width);
        EXPECT_EQ(columnsWithDots(image), c.columns) << c.name;
        EXPECT_EQ(rowsWithDots(image), c.rows) << c.name;
    }
}

TEST_F(BitmapPipeline, StoredBitmapNumbersRunFromOneToTwenty)
{
    const auto first = source("first.bmp", makeOneBitBmp(40, 12, true, leftHalfAndTopRow));
    const auto second =
        source("second.bmp", makeOneBitBmp(40, 12, true, [](std::int32_t x, std::int32_t) { return x > 20; }));
    const BitmapContext c = context();

    EXPECT_EQ(printer::DoSetBmp(c, 21, first, PTR_BM_ASIS, PTR_BM_LEFT), -1);
    EXPECT_TRUE(log.hasError("DoSetBmp 1:BitmapNumber(21) should <= 20"));
    EXPECT_TRUE(stored.entries().empty());

    EXPECT_EQ(printer::DoSetBmp(c, 0, first, PTR_BM_ASIS, PTR_BM_LEFT), 1);
    EXPECT_EQ(stored.entries(), std::vector<std::string>{"cvopos_bmp1"});
    const auto firstCommands = storedBitmapCommands(c, 1);
    ASSERT_FALSE(firstCommands.empty());

    EXPECT_EQ(printer::DoSetBmp(c, -5, second, PTR_BM_ASIS, PTR_BM_RIGHT), 1);
    EXPECT_EQ(stored.entries(), std::vector<std::string>{"cvopos_bmp1"});
    const auto secondCommands = storedBitmapCommands(c, 1);
    EXPECT_NE(secondCommands, firstCommands);
    ASSERT_GT(secondCommands.size(), 3u);
    EXPECT_EQ(secondCommands[2], 2);  // the stored alignment, not the caller's

    EXPECT_EQ(printer::DoSetBmp(c, 20, second, PTR_BM_ASIS, PTR_BM_RIGHT), 1);
    const auto file20 = readFile(printer::storedBitmapPath(stored.path(), 20));
    ASSERT_GT(file20.size(), 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(file20.end() - 4, file20.end()),
              (std::vector<std::uint8_t>{0xFD, 0xFF, 0xFF, 0xFF}));  // PTR_BM_RIGHT
}

TEST_F(BitmapPipeline, HalfTurnMirrorsTheAlignmentAndTurnsThePicture)
{
    // A black block in the top left corner only.
    const auto file = source("corner.bmp", makeOneBitBmp(64, 24, true, [](std::int32_t x, std::int32_t y) {
                                 return x < 8 && y < 6;
                             }));
    const BitmapContext c = context();
    ASSERT_EQ(printer::DoSetBmp(c, 3, file, PTR_BM_ASIS, PTR_BM_RIGHT), 1);

    PrintedImage upright, turned;
    std::string why;
    ASSERT_TRUE(readBitImage(storedBitmapCommands(c, 3, false), &upright, &why)) << why;
    ASSERT_TRUE(readBitImage(storedBitmapCommands(c, 3, true), &turned, &why)) << why;
    EXPECT_EQ(upright.alignment, 2);
    EXPECT_EQ(turned.alignment, 0);
    ASSERT_EQ(upright.dots.size(), 16u);
    ASSERT_EQ(turned.dots.size(), 16u);
    EXPECT_TRUE(upright.dots[0][0]);
    EXPECT_FALSE(upright.dots[15][63]);
    EXPECT_FALSE(turned.dots[0][0]);
    EXPECT_TRUE(turned.dots[15][63]);
    EXPECT_EQ(rowsWithDots(upright), rowsWithDots(turned));
    EXPECT_EQ(columnsWithDots(upright), columnsWithDots(turned));
}

TEST_F(BitmapPipeline, PrintBmpAndTheBitmapSequencePrintStoredBitmaps)
{
    const BitmapContext c = context();
    ASSERT_EQ(printer::DoSetBmp(c, 5, source("logo.bmp", makeOneBitBmp(64, 24, true, leftHalfAndTopRow)), PTR_BM_ASIS,
                                PTR_BM_CENTER),
              1);
    const auto expected = storedBitmapCommands(c, 5);
    ASSERT_FALSE(expected.empty());

    printer::EscapeTranslator translator(&log);
    translator.encoder().setBitmapDirectory(stored.path());
    translator.encoder().setBitmapToCommands(printer::makeBitmapToCommands(c));
    const std::string data = "\x1b|5B\x1b|21B";
    const auto n = translator.translate(2, {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()});
    ASSERT_GT(n, 0);
    const auto commands = translator.commands();
    const auto found = std::search(commands.begin(), commands.end(), expected.begin(), expected.end());
    ASSERT_NE(found, commands.end());
    // 21 printed nothing; the picture is followed only by the text's own
    // alignment and line spacing, which its commands replaced.
    const std::vector<std::uint8_t> after(found + static_cast<std::ptrdiff_t>(expected.size()), commands.end());
    EXPECT_EQ(after, (std::vector<std::uint8_t>{0x1B, 0x61, 0x00, 0x1B, 0x33, 0x3C}));
    EXPECT_EQ(translator.metrics().widestLine, 2 * 64);

    std::int32_t width = 0;
    EXPECT_EQ(translator.encoder().PrintBMP(7, 0, &width), -1);  // never stored
    EXPECT_TRUE(log.hasError("PrintBMP -1:PrintBitmapToRAM fail"));
}

Rgb leftBlack(std::int32_t x, std::int32_t) { return x < 32 ? Rgb{0, 0, 0} : Rgb{255, 255, 255}; }

TEST_F(BitmapPipeline, EveryKindOfJpegPrints)
{
    for (JpegKind kind : jpegKindsMadeHere()) {
        const PrintedImage image = print(context(), source("photo.jpg", makeJpeg(64, 48, kind, leftBlack)));
        ASSERT_EQ(image.width, 64);
        ASSERT_EQ(image.dots.size(), 32u);
        EXPECT_GT(density(image, 0, 28, 0, 32), 0.97) << static_cast<int>(kind);
        EXPECT_LT(density(image, 36, 64, 0, 32), 0.03) << static_cast<int>(kind);
    }
}

TEST_F(BitmapPipeline, JpegOfOneMebibyteLessFourBytesIsRefused)
{
    auto jpeg = makeJpeg(64, 48, JpegKind::Baseline, leftBlack);
    jpeg.resize(1048571, 0);  // decoders stop at the end-of-image marker
    EXPECT_EQ(print(context(), source("largest.jpg", jpeg)).width, 64);
    jpeg.push_back(0);
    CommandEncoder encoder;
    EXPECT_EQ(printer::DoPrintBmp(context(), source("too-large.jpg", jpeg), PTR_BM_ASIS, PTR_BM_CENTER, encoder), -1);
    EXPECT_TRUE(log.hasError("PrintBitmapToRAM :file_in JPEG length=1048576>1024*1024, "));
    EXPECT_EQ(encoder.fillCount(), 0);
}

// The end of a JPEG is its bottom rows: a decoder that was not handed the
// whole file loses them.
TEST_F(BitmapPipeline, JpegIsReadToItsLastByte)
{
    const auto jpeg = makeJpeg(64, 48, JpegKind::Baseline, [](std::int32_t, std::int32_t y) {
        return y >= 40 ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
    });
    const PrintedImage image = print(context(), source("bottom.jpg", jpeg));
    ASSERT_EQ(image.dots.size(), 32u);
    EXPECT_GT(density(image, 0, 64, 28, 32), 0.97);
    EXPECT_LT(density(image, 0, 64, 0, 24), 0.03);
}

TEST_F(BitmapPipeline, UndecodableJpegFailsTheCall)
{
    auto jpeg = makeJpeg(64, 48, JpegKind::Baseline, leftBlack);
    jpeg.resize(jpeg.size() / 2);
    CommandEncoder encoder;
    EXPECT_EQ(printer::DoPrintBmp(context(), source("cut.jpg", jpeg), PTR_BM_ASIS, PTR_BM_CENTER, encoder), -1);
    EXPECT_TRUE(log.hasError("PrintBitmapToRAM :error_code JPEG_Err_Ok "));
    EXPECT_EQ(encoder.fillCount(), 0);
}

// Scratch files go to the bitmap directory under names of their own and
// are gone when the call returns; the install directory is only read.
TEST_F(BitmapPipeline, InstallDirectoryIsOnlyReadAndScratchFilesDoNotOutliveTheCall)
{
    TempDir install;
    const std::vector<std::string> libraries = {platform::libraryFileName("imgconv.dll"),
                                                platform::libraryFileName("imgproc.dll")};
    for (const std::string& library : libraries) {
        // Linked where the system lets a test make links (a copy would be
        // loaded beside the one the test links), copied elsewhere.
        std::error_code notLinked;
        fs::create_symlink(std::string(IMAGING_LIBRARY_DIR) + library, install.file(library), notLinked);
        if (notLinked) fs::copy_file(std::string(IMAGING_LIBRARY_DIR) + library, install.file(library));
    }
    fs::permissions(install.path(), fs::perms::owner_read | fs::perms::owner_exec);
    BitmapContext c = context();
    c.installDirectory = install.path();
    const auto jpeg = source("photo.jpg", makeJpeg(64, 48, JpegKind::Baseline, leftBlack));
    const auto bmp = source("photo.bmp", makeGreyBmp(64, 48, [](std::int32_t x, std::int32_t) {
                                return static_cast<std::uint8_t>(x * 4);
                            }));

    EXPECT_EQ(print(c, jpeg).width, 64);
    EXPECT_EQ(print(c, bmp).width, 64);
    EXPECT_TRUE(stored.entries().empty());
    EXPECT_EQ(printer::DoSetBmp(c, 2, jpeg, PTR_BM_ASIS, PTR_BM_LEFT), 1);
    EXPECT_EQ(stored.entries(), std::vector<std::string>{"cvopos_bmp2"});
    EXPECT_EQ(install.entries(), libraries);
}

// Two service objects preparing bitmaps at once share the temporary
// directory; each must print its own picture.
TEST_F(BitmapPipeline, TwoCallersAtOnceEachPrintTheirOwnPicture)
{
    const auto black = source("black.jpg", makeJpeg(64, 48, JpegKind::Baseline, [](std::int32_t, std::int32_t) {
                                  return Rgb{0, 0, 0};
                              }));
    const auto white = source("white.jpg", makeJpeg(64, 48, JpegKind::Baseline, [](std::int32_t, std::int32_t) {
                                  return Rgb{255, 255, 255};
                              }));
    auto worker = [&](const std::wstring& file, double* lowest, double* highest) {
        CapturingLog ownLog;
        BitmapContext c = context();
        c.log = &ownLog;
        for (int i = 0; i < 8; ++i) {
            auto encoder = std::make_unique<CommandEncoder>();
            if (printer::DoPrintBmp(c, file, PTR_BM_ASIS, PTR_BM_CENTER, *encoder) <= 0) {
                *lowest = -1;
                return;
            }
            PrintedImage image;
            std::string why;
            if (!readBitImage(encoder->commands().subspan(3), &image, &why)) {
                *lowest = -1;
                return;
            }
            const double d = density(image, 0, 64, 0, 32);
            *lowest = std::min(*lowest, d);
            *highest = std::max(*highest, d);
        }
    };
    double blackLow = 2, blackHigh = -1, whiteLow = 2, whiteHigh = -1;
    std::thread a(worker, black, &blackLow, &blackHigh);
    std::thread b(worker, white, &whiteLow, &whiteHigh);
    a.join();
    b.join();
    EXPECT_EQ(blackLow, 1.0);
    EXPECT_EQ(whiteHigh, 0.0);
    EXPECT_GE(whiteLow, 0.0);
    EXPECT_TRUE(stored.entries().empty());
}

TEST_F(BitmapPipeline, MalformedSourcesFailCleanly)
{
    const auto grey =
        makeGreyBmp(40, 20, [](std::int32_t x, std::int32_t) { return static_cast<std::uint8_t>(x * 6); });
    const auto mono = makeOneBitBmp(40, 20, true, leftHalfAndTopRow);
    BmpShape eightBit;
    eightBit.width = 40;
    eightBit.height = 20;
    eightBit.bitCount = 8;
    eightBit.palette.assign(256, Rgb{100, 100, 100});
    const auto palette = makeBmp(eightBit, [](std::int32_t x, std::int32_t) { return static_cast<std::uint32_t>(x); });
    auto jpeg = makeJpeg(64, 48, JpegKind::Baseline, leftBlack);

    struct Case {
        std::string name;
        std::vector<std::uint8_t> file;
    };
    std::vector<Case> cases;
    auto changed = [&](std::string name, std::vector<std::uint8_t> f, auto change) {
        change(f);
        cases.push_back({std::move(name), std::move(f)});
    };
    changed("truncated header", grey, [](auto& f) { f.resize(30); });
    changed("truncated rows", grey, [](auto& f) { f.resize(f.size() - 10); });
    changed("lying offset", grey, [](auto& f) { put32le(f, 10, 0x7FFFFFFF); });
    changed("huge dimensions", grey, [](auto& f) { put32le(f, 18, 60000); put32le(f, 22, 60000); });
    changed("palette count too big", palette, [](auto& f) { put32le(f, 46, 300); });
    changed("1-bit lying offset", mono, [](auto& f) { put32le(f, 10, 0x7FFFFFFF); });
    changed("1-bit palette count too big", mono, [](auto& f) { put32le(f, 46, 3); });
    changed("1-bit huge dimensions", mono, [](auto& f) { put32le(f, 18, 0x7FFFFFFF); put32le(f, 22, 0x7FFFFFFF); });
    changed("not an image", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, [](auto&) {});
    changed("empty", {}, [](auto&) {});
    changed("JPEG header only", jpeg, [](auto& f) { f.resize(20); });
    changed("JPEG claiming 8000 x 8000", jpeg, [](auto& f) {
        for (std::size_t i = 2; i + 9 < f.size(); ++i)
            if (f[i] == 0xFF && f[i + 1] == 0xC0) {
                f[i + 5] = 0x1F, f[i + 6] = 0x40, f[i + 7] = 0x1F, f[i + 8] = 0x40;
                break;
            }
    });

    const BitmapContext c = context();
    for (const Case& k : cases) {
        log.errors.clear();
        const auto file = source("bad", k.file);
        CommandEncoder encoder;
        EXPECT_EQ(printer::DoPrintBmp(c, file, PTR_BM_ASIS, PTR_BM_CENTER, encoder), -1) << k.name;
        EXPECT_EQ(encoder.fillCount(), 0) << k.name;
        EXPECT_EQ(printer::DoSetBmp(c, 4, file, PTR_BM_ASIS, PTR_BM_CENTER), -1) << k.name;
        EXPECT_FALSE(log.errors.empty()) << k.name;
    }
    CommandEncoder encoder;
    EXPECT_EQ(printer::DoPrintBmp(c, L"/no/such/file.bmp", PTR_BM_ASIS, PTR_BM_CENTER, encoder), -1);
    EXPECT_TRUE(log.hasError("CreateFile(\"/no/such/file.bmp\") fail"));
    EXPECT_TRUE(stored.entries().empty());
}

TEST_F(BitmapPipeline, MissingImageLibraryOrInstallDirectoryFailsTheCall)
{
    TempDir empty;
    BitmapContext c = context();
    c.installDirectory = empty.path();
    CommandEncoder encoder;
    const auto file = source("a.bmp", makeOneBitBmp(8, 8, true, leftHalfAndTopRow));
    EXPECT_EQ(printer::DoPrintBmp(c, file, PTR_BM_ASIS, PTR_BM_CENTER, encoder), -1);
    EXPECT_TRUE(log.hasError("PrintBitmapToRAM :LoadLibrary fail"));

    c.installDirectory.reset();  // the fixture's registry has no uninstall entry
    EXPECT_EQ(printer::DoPrintBmp(c, file, PTR_BM_ASIS, PTR_BM_CENTER, encoder), -1);
    EXPECT_TRUE(log.hasError("PrintBitmapToRAM :GetCVOPOSSetupPath fail"));
    EXPECT_EQ(encoder.fillCount(), 0);
}

TEST_F(BitmapPipeline, JobModeAndPageWidthFollowTheRotation)
{
    const auto file = source("a.bmp", makeOneBitBmp(64, 24, true, leftHalfAndTopRow));
    struct Case {
        const char* name;
        std::int32_t rotation;
        bool pageMode, transaction;
        std::int32_t mode, widest;
        std::uint8_t alignment;  // for PTR_BM_RIGHT
    };
    using namespace printer;
    const Case cases[] = {
        {"normal", kRotationNormal, false, false, job_mode::NORMAL, 0, 2},
        {"normal in a transaction", kRotationNormal, false, true, job_mode::NORMAL, 0, 2},
        {"upside down", kRotation180, false, false, job_mode::NORMAL, 0, 0},
        {"upside down in a transaction", kRotation180, false, true, job_mode::IMMEDIATE, 0, 0},
        {"page mode in a transaction", kRotation90, true, true, job_mode::NORMAL, 128, 2},
    };
    for (const Case& k : cases) {
        BitmapContext c = context();
        c.rotationState = k.rotation;
        c.pageMode = k.pageMode;
        c.inTransaction = k.transaction;
        CommandEncoder encoder;
        encoder.setLineTerminated(true);
        BitmapJob job;
        ASSERT_GT(DoPrintBmp(c, file, PTR_BM_ASIS, PTR_BM_RIGHT, encoder, &job), 0) << k.name;
        EXPECT_EQ(job.jobMode, k.mode) << k.name;
        EXPECT_EQ(job.widestLineAtLeast, k.widest) << k.name;
        ASSERT_GT(encoder.commands().size(), 3u);
        EXPECT_EQ(encoder.commands()[0], 0x1B) << k.name;  // no line feed: the line was ended
        EXPECT_EQ(encoder.commands()[1], 0x61) << k.name;
        EXPECT_EQ(encoder.commands()[2], k.alignment) << k.name;
    }
}

}  // namespace
