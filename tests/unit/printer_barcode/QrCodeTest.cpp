// QR codes (PTR_BCS_QRCODE) through the barcode encoder: the version the
// data needs, the module size the width allows, and the GS ( k bytes.
#include <gtest/gtest.h>

#include <string>

#include "BarCodeTestSupport.h"
#include "common/OposConstants.h"
#include "printer/encode/BarCodeEncoder.h"

using namespace barcodetest;
using namespace common;
using printer::BarCodeContext;
using printer::BarCodeRequest;
using printer::CommandEncoder;
using printer::LineMetrics;
namespace model = printer::model;

namespace {

const std::string kShort = "https://r.example/1";  // 19 bytes: version 2, 25 modules
const std::string kLong = "https://receipts.example/e/" + std::string(273, 'x');  // 300 bytes: version 13, 69

BarCodeContext on(std::int32_t modelNumber)
{
    BarCodeContext context;
    context.model = modelNumber;
    context.dpi = 203;
    return context;
}

Bytes printed(const BarCodeContext& context, const std::string& data, std::int32_t width,
              LineMetrics* metrics = nullptr)
{
    CommandEncoder e;
    e.setLineTerminated(true);
    LineMetrics ignored;
    std::int32_t mode = 0;
    const BarCodeRequest r{data, PTR_BCS_QRCODE, 80, width, PTR_BC_CENTER, PTR_BC_TEXT_BELOW};
    if (printer::DoPrintBarCode(context, r, e, metrics != nullptr ? *metrics : ignored, &mode) <= 0) return {};
    return out(e);
}

// The five GS ( k commands of one QR code at level M.
Bytes qrCommands(int module, const std::string& data)
{
    const auto stored = static_cast<int>(data.size() + 3);
    return bytes({0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00,       // model 2
                  0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, module,           // module size
                  0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, 0x31,             // level M
                  0x1D, 0x28, 0x6B, stored & 0xFF, stored >> 8, 0x31, 0x50, 0x30}) +
           bytes(data) + bytes({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30});  // print
}

const Bytes kCentred = bytes({0x1B, 0x61, 0x01, 0x1B, 0x7B, 0x00});
const Bytes kLeft = bytes({0x1B, 0x61, 0x00});

TEST(QrCode, VersionFollowsTheLevelMCapacityOfEachMode)
{
    struct Case {
        std::string data;
        std::int32_t version;
    };
    const Case cases[] = {
        {std::string(34, '7'), 1},   {std::string(35, '7'), 2},     // numeric
        {std::string(20, 'A'), 1},   {std::string(21, 'A'), 2},     // alphanumeric
        {std::string(14, 'a'), 1},   {std::string(15, 'a'), 2},     // bytes
        {std::string(180, 'a'), 9},  {std::string(181, 'a'), 10},  // the count field grows
        {std::string(213, 'a'), 10}, {std::string(214, 'a'), 11},
        {std::string(5596, '7'), 40}, {std::string(5597, '7'), 0},
        {std::string(3391, 'A'), 40}, {std::string(3392, 'A'), 0},
        {std::string(2331, 'a'), 40}, {std::string(2332, 'a'), 0},
        {"", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(printer::qrSymbolVersion(c.data), c.version) << c.data.size();
}

TEST(QrCode, GoldenBytesForAShortAndALongPayloadAtTwoWidths)
{
    struct Case {
        const std::string& data;
        std::int32_t width;
        int module;
    };
    const Case cases[] = {
        {kShort, 100, 4}, {kShort, 200, 8},  // 25 modules
        {kLong, 200, 2},  {kLong, 400, 5},   // 69 modules
    };
    for (const Case& c : cases) {
        EXPECT_EQ(printed(on(model::A14), c.data, c.width), kCentred + qrCommands(c.module, c.data) + kLeft)
            << c.data.size() << " bytes, width " << c.width;
    }
}

TEST(QrCode, ModuleSizeStaysWithinThePrintersRange)
{
    EXPECT_EQ(printed(on(model::A14), kShort, 10), kCentred + qrCommands(1, kShort) + kLeft);
    EXPECT_EQ(printed(on(model::A14), kShort, 2000), kCentred + qrCommands(16, kShort) + kLeft);
}

TEST(QrCode, RefusedWithoutTwoDimensionalCodesOrBeyondCapacity)
{
    EXPECT_TRUE(printer::printsSymbology(model::A14, PTR_BCS_QRCODE));
    EXPECT_TRUE(printer::printsSymbology(model::D40, PTR_BCS_QRCODE));
    EXPECT_FALSE(printer::printsSymbology(model::A16, PTR_BCS_QRCODE));
    EXPECT_FALSE(printer::printsSymbology(model::B20, PTR_BCS_QRCODE));
    EXPECT_TRUE(printer::validBarCodeData(PTR_BCS_QRCODE, std::string(2331, 'a')));
    EXPECT_FALSE(printer::validBarCodeData(PTR_BCS_QRCODE, std::string(2332, 'a')));
    EXPECT_FALSE(printer::validBarCodeData(PTR_BCS_QRCODE, ""));

    CommandEncoder e;
    EXPECT_EQ(printer::TranslateBarCode(on(model::A16), e, kShort, PTR_BCS_QRCODE, 100, 4, PTR_BC_LEFT,
                                        PTR_BC_TEXT_NONE),
              printer::kBarCodeBadSymbology);
    EXPECT_EQ(printer::TranslateBarCode(on(model::A14), e, std::string(2332, 'a'), PTR_BCS_QRCODE, 100, 4,
                                        PTR_BC_LEFT, PTR_BC_TEXT_NONE),
              printer::kBarCodeBadData);
    EXPECT_EQ(printer::TranslateBarCode(on(model::A14), e, kShort, PTR_BCS_QRCODE, 100, 17, PTR_BC_LEFT,
                                        PTR_BC_TEXT_NONE),
              printer::kBarCodeBadSize);
    EXPECT_EQ(e.fillCount(), 0);
}

// A side of 345 dots: the rotated block is fed in two ESC J steps and its
// area is twice the side long.
TEST(QrCode, RotatedBlockMakesRoomForASideBeyondOneFeed)
{
    BarCodeContext context = on(model::A14);
    context.rotateSpecial = PTR_RP_RIGHT90;
    const Bytes expected = bytes({0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, 0x80, 0x02, 0xB2, 0x02, 0x1B, 0x54, 3,
                                  0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 90}) +
                           kCentred + qrCommands(5, kLong) + kLeft + bytes({0x0C});
    EXPECT_EQ(printed(context, kLong, 400), expected);
}

TEST(QrCode, PageModeCountsTheSquareSideAndNoTextLine)
{
    BarCodeContext context = on(model::A14);
    context.pageMode = true;
    context.barcodeRotation = true;
    LineMetrics metrics;
    const Bytes commands = printed(context, kShort, 200, &metrics);  // side 25 x 8 = 200 dots
    EXPECT_EQ(metrics.totalHeight, 200);
    EXPECT_EQ(metrics.widestLine, 200);
    // Fed by the side less the printers' 21-dot offset before the symbol.
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(Bytes(commands.begin(), commands.begin() + 3), bytes({0x1B, 0x4A, 179}));
}

}  // namespace
