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
namespace job_mode = printer::job_mode;

namespace {

constexpr std::int32_t kUntouched = -99;

struct Printed {
    std::int32_t result = 0;
    std::int32_t jobMode = kUntouched;
    Bytes commands;
    LineMetrics metrics;
};

BarCodeContext on(std::int32_t modelNumber, std::int32_t dpi = 203)
{
    BarCodeContext context;
    context.model = modelNumber;
    context.dpi = dpi;
    return context;
}

BarCodeRequest request(std::string_view data, std::int32_t symbology, std::int32_t height, std::int32_t width,
                       std::int32_t alignment = PTR_BC_LEFT, std::int32_t textPosition = PTR_BC_TEXT_NONE)
{
    return {data, symbology, height, width, alignment, textPosition};
}

Printed print(const BarCodeContext& context, const BarCodeRequest& r, LineMetrics metrics = {},
          printer::EncodeLog* log = nullptr)
{
    CommandEncoder e(log);
    e.setLineTerminated(true);
    Printed run;
    run.metrics = metrics;
    run.result = printer::DoPrintBarCode(context, r, e, run.metrics, &run.jobMode);
    run.commands = out(e);
    return run;
}

std::uint8_t moduleOf(const Printed& run)
{
    const auto found = findBarCode(run.commands);
    return found ? found->module : 0;
}

std::uint8_t heightOf(const Printed& run)
{
    const auto found = findBarCode(run.commands);
    return found ? found->height : 0;
}

TEST(DoPrintBarCode, Code39OfTenCharactersAcross600DotsUsesModule3)
{
    const Printed run = print(on(model::A14), request("0123456789", PTR_BCS_Code39, 100, 600, PTR_BC_CENTER,
                                                   PTR_BC_TEXT_BELOW));
    const Bytes expected = bytes({0x1D, 0x48, 0x02, 0x1D, 0x66, 0x00, 0x1B, 0x61, 0x01, 0x1B, 0x7B, 0x00, 0x1D,
                                  0x77, 0x03, 0x1D, 0x68, 0x64, 0x1D, 0x6B, 0x45, 0x0A}) +
                           bytes("0123456789") + bytes({0x1B, 0x61, 0x00});
    EXPECT_EQ(run.commands, expected);
    EXPECT_EQ(run.result, static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(run.jobMode, job_mode::NORMAL);
}

TEST(DoPrintBarCode, ModuleWidthStaysWithin2To6)
{
    EXPECT_EQ(moduleOf(print(on(model::A14), request("4901234567894", PTR_BCS_EAN13, 80, 200))), 2);
    EXPECT_EQ(moduleOf(print(on(model::A14), request("4901234567894", PTR_BCS_EAN13, 80, 0))), 2);
    EXPECT_EQ(moduleOf(print(on(model::A14), request("4901234567894", PTR_BCS_EAN13, 80, -500))), 2);
    EXPECT_EQ(moduleOf(print(on(model::A14), request("4901234567894", PTR_BCS_EAN13, 80, 565))), 5);
    EXPECT_EQ(moduleOf(print(on(model::A14), request("4901234567894", PTR_BCS_EAN13, 80, 100000))), 6);
    EXPECT_EQ(moduleOf(print(on(model::A14), request("12", PTR_BCS_Codabar, 80, 2000000000))), 6);
}

TEST(DoPrintBarCode, Code128IsSizedBySymbolsNotBytes)
{
    // "{C1234": 6 bytes, 9 counted symbols: 300 / (11 x 11 + 2) = 2, where
    // the byte count would give 300 / 90 = 3.
    const Printed run = print(on(model::A14), request("{C1234", PTR_BCS_Code128, 80, 300));
    EXPECT_EQ(moduleOf(run), 2);
    // Counted before code set A is named: "ABC" is 3 symbols, 300 / 57 = 5.
    EXPECT_EQ(moduleOf(print(on(model::A14), request("ABC", PTR_BCS_Code128, 80, 300))), 5);
}

TEST(DoPrintBarCode, SizesInMapModeUnitsBecomeDots)
{
    BarCodeContext twips = on(model::A14, 203);
    twips.mapMode = PTR_MM_TWIPS;
    Printed run = print(twips, request("0123456789", PTR_BCS_Code39, 1440, 7200));
    EXPECT_EQ(heightOf(run), 203);
    EXPECT_EQ(moduleOf(run), 6);  // 1015 dots / 162
    run = print(twips, request("0123456789", PTR_BCS_Code39, 2000, 7200));
    EXPECT_EQ(heightOf(run), 255);  // 281 dots is more than GS h takes

    BarCodeContext metric = on(model::H81, 180);
    metric.mapMode = PTR_MM_METRIC;
    run = print(metric, request("0123456789", PTR_BCS_Code39, 1000, 10000));
    EXPECT_EQ(heightOf(run), 70);
    EXPECT_EQ(moduleOf(run), 4);  // 700 dots / 162

    BarCodeContext english = on(model::H81, 180);
    english.mapMode = PTR_MM_ENGLISH;
    run = print(english, request("0123456789", PTR_BCS_Code39, 500, 5000));
    EXPECT_EQ(heightOf(run), 90);
    EXPECT_EQ(moduleOf(run), 5);  // 900 dots / 162

    EXPECT_EQ(heightOf(print(on(model::A14), request("1", PTR_BCS_Code39, 300, 600))), 255);
}

TEST(DoPrintBarCode, TwoDimensionalCodesFollowTheModel)
{
    CapturingLog log;
    const Printed refused = print(on(model::A16, 180), request("PDF417 DATA", PTR_BCS_PDF417, 80, 400), {}, &log);
    EXPECT_EQ(refused.result, -1);
    EXPECT_EQ(refused.jobMode, kUntouched);
    EXPECT_TRUE(refused.commands.empty());
    EXPECT_TRUE(log.hasError("TranslateBarCode 1:BarType2(201)"));
    EXPECT_TRUE(log.hasError("DoPrintBarCode 1:TranslateBarCode fail"));

    const Printed printed = print(on(model::A14), request("PDF417 DATA", PTR_BCS_PDF417, 80, 400));
    EXPECT_GT(printed.result, 0);
    const auto found = findBarCode(printed.commands);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->system, 0x4B);
    EXPECT_EQ(found->data, "PDF417 DATA");
}

TEST(DoPrintBarCode, BadAlignmentOrTextPositionFails)
{
    EXPECT_EQ(print(on(model::A14), request("123", PTR_BCS_Code39, 80, 400, -4)).result, -1);
    EXPECT_EQ(print(on(model::A14), request("123", PTR_BCS_Code39, 80, 400, PTR_BC_LEFT, -10)).result, -1);
    EXPECT_EQ(print(on(model::A14), request("123", PTR_BCS_Code39, 0, 400)).result, -1);
}

Bytes rotatedHeader(std::uint8_t dyLow, std::uint8_t dyHigh, std::uint8_t direction, std::uint8_t height)
{
    return bytes({0x1B, 0x4C, 0x1B, 0x57, 0x00, 0x00, 0x00, 0x00, 0x80, 0x02, dyLow, dyHigh, 0x1B, 0x54, direction,
                  0x1B, 0x4A, height});
}

TEST(DoPrintBarCode, RotatedQuarterTurnBecomesItsOwnPageModeBlock)
{
    BarCodeContext context = on(model::A14);
    context.rotateSpecial = PTR_RP_RIGHT90;
    const Printed run = print(context, request("12345", PTR_BCS_Code39, 50, 300));
    // 300 dots across become 600 dots along the block: 58 02.
    const Bytes barCode = bytes({0x1D, 0x48, 0x00, 0x1D, 0x66, 0x00, 0x1B, 0x61, 0x00, 0x1B, 0x7B, 0x00, 0x1D, 0x77,
                                 0x03, 0x1D, 0x68, 0x32, 0x1D, 0x6B, 0x45, 0x05}) +
                          bytes("12345") + bytes({0x1B, 0x61, 0x00});
    const Bytes expected = rotatedHeader(0x58, 0x02, 0x03, 0x32) + barCode + bytes({0x0C});
    EXPECT_EQ(run.commands, expected);
    EXPECT_EQ(run.result, static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(run.jobMode, job_mode::NORMAL);

    context.rotateSpecial = PTR_RP_LEFT90;
    const Printed left = print(context, request("12345", PTR_BCS_Code39, 50, 300));
    EXPECT_EQ(left.commands, rotatedHeader(0x58, 0x02, 0x01, 0x32) + barCode + bytes({0x0C}));
}

TEST(DoPrintBarCode, SomeModelsNeedStandardModeSelectedAfterTheRotatedBlock)
{
    for (const std::int32_t m : {model::B21, model::H80, model::B20, model::A10X, model::A14, model::H81}) {
        BarCodeContext context = on(m);
        context.rotateSpecial = PTR_RP_RIGHT90;
        const Printed run = print(context, request("12345", PTR_BCS_Code39, 50, 300));
        const bool escS = m == model::B21 || m == model::H80 || m == model::B20 || m == model::A10X;
        const Bytes end = escS ? bytes({0x1B, 0x61, 0x00, 0x0C, 0x1B, 0x53}) : bytes({0x1B, 0x61, 0x00, 0x0C});
        ASSERT_GE(run.commands.size(), end.size());
        EXPECT_EQ(Bytes(run.commands.end() - static_cast<std::ptrdiff_t>(end.size()), run.commands.end()), end) << m;
    }
}

TEST(DoPrintBarCode, RotatedBlockLengthSaturatesInsteadOfWrapping)
{
    BarCodeContext context = on(model::A14);
    context.rotateSpecial = PTR_RP_RIGHT90;
    // 2 x 40000 dots does not fit 16 bits; wrapped it would be 14464 (80 38)
    // and cut the barcode off.
    Printed run = print(context, request("12345", PTR_BCS_Code39, 50, 40000));
    EXPECT_EQ(Bytes(run.commands.begin() + 10, run.commands.begin() + 12), bytes({0xFF, 0xFF}));
    run = print(context, request("12345", PTR_BCS_Code39, 50, -100));
    EXPECT_EQ(Bytes(run.commands.begin() + 10, run.commands.begin() + 12), bytes({0x00, 0x00}));
}

TEST(DoPrintBarCode, HalfTurnOutsidePageModePrintsUpsideDownInLine)
{
    BarCodeContext context = on(model::A14);
    context.rotateSpecial = PTR_RP_ROTATE180;
    const Printed run = print(context, request("12345", PTR_BCS_Code39, 50, 300));
    EXPECT_EQ(run.jobMode, job_mode::NORMAL);
    EXPECT_EQ(Bytes(run.commands.begin(), run.commands.begin() + 2), bytes({0x1D, 0x48}));  // no page block
    EXPECT_EQ(Bytes(run.commands.end() - 3, run.commands.end()), bytes({0x1B, 0x7B, 0x00}));
}

TEST(DoPrintBarCode, InARotatingPageBlockTheBarcodeJoinsTheBlockAndGrowsIt)
{
    BarCodeContext context = on(model::A14);
    context.pageMode = true;
    context.barcodeRotation = true;
    context.rotationState = printer::kRotation90;
    context.rotateSpecial = PTR_RP_RIGHT90;  // already turned by the block: no block of its own

    LineMetrics before;
    before.widestLine = 100;
    before.totalHeight = 68;
    Printed run = print(context, request("12345", PTR_BCS_Code39, 100, 400, PTR_BC_LEFT, PTR_BC_TEXT_BELOW), before);
    EXPECT_EQ(run.jobMode, job_mode::NORMAL);
    EXPECT_EQ(run.metrics.totalHeight, 68 + 100 + 34);
    EXPECT_EQ(run.metrics.widestLine, 400);
    EXPECT_EQ(Bytes(run.commands.begin(), run.commands.begin() + 3), bytes({0x1B, 0x4A, 0x4F}));
    EXPECT_EQ(Bytes(run.commands.end() - 3, run.commands.end()), bytes({0x1B, 0x4A, 0x18}));

    before.widestLine = 500;
    run = print(context, request("12345", PTR_BCS_Code39, 300, 400, PTR_BC_LEFT, PTR_BC_TEXT_NONE), before);
    EXPECT_EQ(run.metrics.totalHeight, 68 + 255);  // the height as printed
    EXPECT_EQ(run.metrics.widestLine, 500);
}

TEST(DoPrintBarCode, InAPageBlockThatKeepsBarcodesUprightTheBarcodeGoesOutAtOnce)
{
    BarCodeContext context = on(model::A14);
    context.pageMode = true;
    context.rotationState = printer::kRotation90;
    context.rotateSpecial = PTR_RP_RIGHT90;
    LineMetrics before;
    before.widestLine = 100;
    before.totalHeight = 68;
    const Printed run =
        print(context, request("12345", PTR_BCS_Code39, 100, 400, PTR_BC_LEFT, PTR_BC_TEXT_BELOW), before);
    EXPECT_EQ(run.jobMode, job_mode::IMMEDIATE);
    EXPECT_EQ(run.metrics.totalHeight, 68);
    EXPECT_EQ(run.metrics.widestLine, 100);
    EXPECT_EQ(Bytes(run.commands.begin(), run.commands.begin() + 2), bytes({0x1B, 0x4A}));  // no block header
}

TEST(DoPrintBarCode, OnlyTheNarrowAndTwoStationModelsCannotPrintBarcodes)
{
    for (const std::int32_t m : {model::K90, model::K91, model::K92, model::F60})
        EXPECT_FALSE(printer::printsBarCodes(m));
    for (const std::int32_t m : {model::A14, model::B20, model::H81, model::A16, model::E50, model::C31, model::None})
        EXPECT_TRUE(printer::printsBarCodes(m));
}

TEST(DoPrintBarCode, LogsItsArgumentsAndSteps)
{
    CapturingLog log;
    print(on(model::A14), request("0123456789", PTR_BCS_Code39, 100, 600, PTR_BC_CENTER, PTR_BC_TEXT_BELOW), {},
          &log);
    for (const char* line : {"DoPrintBarCode(10,108,100,600,-2,-13)", "SetLinParInDot(1,100,100) ok",
                             "SetLinParInDot(1,600,600) ok", "GetCodeBarUnitLen(108,10,600)", "GetCodeBarUnitLen:3",
                             "TranslateBarCode Begin", "DoPrintBarCode ok"})
        EXPECT_TRUE(log.hasDebug(line)) << line;
    EXPECT_TRUE(log.errors.empty());
}

}  // namespace
