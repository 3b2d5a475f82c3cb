#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "BarCodeTestSupport.h"
#include "common/OposConstants.h"
#include "printer/encode/BarCodeEncoder.h"

using namespace barcodetest;
using namespace common;
using printer::BarCodeContext;
using printer::CommandEncoder;
using printer::TranslateBarCode;
namespace model = printer::model;

namespace {

BarCodeContext on(std::int32_t modelNumber)
{
    BarCodeContext context;
    context.model = modelNumber;
    return context;
}

std::int32_t translate(const BarCodeContext& context, CommandEncoder& e, std::string_view data,
                       std::int32_t symbology, std::int32_t height = 80, std::int32_t module = 3,
                       std::int32_t alignment = PTR_BC_LEFT, std::int32_t textPosition = PTR_BC_TEXT_NONE)
{
    return TranslateBarCode(context, e, data, symbology, height, module, alignment, textPosition);
}

std::string sentData(const BarCodeContext& context, std::string_view data, std::int32_t symbology)
{
    CommandEncoder e;
    if (translate(context, e, data, symbology) <= 0) return "<refused>";
    const auto found = findBarCode(e.commands());
    return found ? found->data : "<no barcode>";
}

TEST(TranslateBarCode, GoldenBytesOfACentredCode39WithTextBelow)
{
    CommandEncoder e;
    const std::int32_t n =
        translate(on(model::A14), e, "0123456789", PTR_BCS_Code39, 100, 3, PTR_BC_CENTER, PTR_BC_TEXT_BELOW);
    const Bytes expected = bytes({0x1B, 0x64, 0x01,                          // finish the pending line
                                  0x1D, 0x48, 0x02, 0x1D, 0x66, 0x00,        // HRI below, font A
                                  0x1B, 0x61, 0x01,                          // centred
                                  0x1B, 0x7B, 0x00,                          // upright
                                  0x1D, 0x77, 0x03, 0x1D, 0x68, 0x64,        // module 3, 100 dots
                                  0x1D, 0x6B, 0x45, 0x0A}) +
                           bytes("0123456789") + bytes({0x1B, 0x61, 0x00});
    EXPECT_EQ(out(e), expected);
    EXPECT_EQ(n, static_cast<std::int32_t>(expected.size()));
    EXPECT_TRUE(e.lineTerminated());
}

TEST(TranslateBarCode, AlignmentAndTextPositionMapToTheirCommandValues)
{
    const std::int32_t alignments[] = {PTR_BC_LEFT, PTR_BC_CENTER, PTR_BC_RIGHT};
    const std::int32_t positions[] = {PTR_BC_TEXT_NONE, PTR_BC_TEXT_ABOVE, PTR_BC_TEXT_BELOW};
    for (int a = 0; a < 3; ++a) {
        for (int p = 0; p < 3; ++p) {
            CommandEncoder e;
            e.setLineTerminated(true);
            ASSERT_GT(translate(on(model::A14), e, "12345", PTR_BCS_Code39, 80, 3, alignments[a], positions[p]), 0);
            const Bytes head(e.commands().begin(), e.commands().begin() + 9);
            EXPECT_EQ(head, bytes({0x1D, 0x48, p, 0x1D, 0x66, 0x00, 0x1B, 0x61, a})) << a << "," << p;
        }
    }
}

TEST(TranslateBarCode, EverySymbologySendsItsSystemByte)
{
    struct Case {
        std::int32_t symbology;
        std::uint8_t m;
    };
    const Case cases[] = {{PTR_BCS_UPCA, 0x41},  {PTR_BCS_UPCE, 0x42},    {PTR_BCS_EAN8, 0x44},
                          {PTR_BCS_EAN13, 0x43}, {PTR_BCS_ITF, 0x46},     {PTR_BCS_Codabar, 0x47},
                          {PTR_BCS_Code39, 0x45}, {PTR_BCS_Code93, 0x48}, {PTR_BCS_Code128, 0x49},
                          {PTR_BCS_PDF417, 0x4B}, {PTR_BCS_MAXICODE, 0x4D}};
    for (const Case& c : cases) {
        CommandEncoder e;
        ASSERT_GT(translate(on(model::A14), e, "A12B", c.symbology), 0) << c.symbology;
        const auto found = findBarCode(e.commands());
        ASSERT_TRUE(found) << c.symbology;
        EXPECT_EQ(found->system, c.m) << c.symbology;
    }
}

TEST(TranslateBarCode, AcceptedSymbologiesWithoutACommandKeepTheSurroundingCommands)
{
    for (const std::int32_t symbology : {PTR_BCS_TF, PTR_BCS_UPCA_S, PTR_BCS_EAN128, PTR_BCS_OCRB}) {
        CommandEncoder e;
        e.setLineTerminated(true);
        ASSERT_GT(translate(on(model::A14), e, "12345", symbology), 0) << symbology;
        EXPECT_EQ(out(e), bytes({0x1D, 0x48, 0x00, 0x1D, 0x66, 0x00, 0x1B, 0x61, 0x00, 0x1B, 0x7B, 0x00, 0x1B,
                                 0x61, 0x00}))
            << symbology;
    }
}

TEST(TranslateBarCode, TwoDimensionalCodesOnlyOnTheModelsThatHaveThem)
{
    for (const std::int32_t m : {model::A14, model::A14X, model::A15, model::G70, model::A18, model::D40}) {
        CommandEncoder e;
        EXPECT_GT(translate(on(m), e, "PDF", PTR_BCS_PDF417), 0) << m;
        EXPECT_GT(translate(on(m), e, "MAXI", PTR_BCS_MAXICODE), 0) << m;
    }
    // A17 is a two-colour model like A14, yet has no two-dimensional codes.
    for (const std::int32_t m : {model::A16, model::A17, model::B20, model::H81, model::C31, model::None}) {
        CapturingLog log;
        CommandEncoder e(&log);
        EXPECT_EQ(translate(on(m), e, "PDF", PTR_BCS_PDF417), printer::kBarCodeBadSymbology) << m;
        EXPECT_TRUE(out(e).empty());
        EXPECT_TRUE(log.hasError("TranslateBarCode 1:BarType2(201)")) << m;
    }
}

TEST(TranslateBarCode, UnknownSymbologiesAreRefusedWithTheModelsTypeText)
{
    CapturingLog log;
    CommandEncoder e(&log);
    EXPECT_EQ(translate(on(model::A14), e, "1", 100), printer::kBarCodeBadSymbology);
    EXPECT_EQ(translate(on(model::A14), e, "1", PTR_BCS_Code128_Parsed), printer::kBarCodeBadSymbology);
    EXPECT_EQ(translate(on(model::A14), e, "1", PTR_BCS_DATAMATRIX), printer::kBarCodeBadSymbology);
    EXPECT_EQ(translate(on(model::A16), e, "1", PTR_BCS_DATAMATRIX), printer::kBarCodeBadSymbology);
    EXPECT_TRUE(log.hasError("TranslateBarCode 1:BarType1(100)"));
    EXPECT_TRUE(log.hasError("TranslateBarCode 1:BarType1(123)"));
    EXPECT_TRUE(log.hasError("TranslateBarCode 1:BarType1(203)"));
    EXPECT_TRUE(log.hasError("TranslateBarCode 1:BarType2(203)"));
    EXPECT_GT(translate(on(model::A16), e, "1", PTR_BCS_UPCA), 0);
    EXPECT_GT(translate(on(model::A16), e, "1", PTR_BCS_OCRB), 0);
}

TEST(TranslateBarCode, ArgumentsOutOfRangeAreRefusedAndPrintNothing)
{
    struct Case {
        std::int32_t height, module, alignment, textPosition, result;
    };
    const Case cases[] = {
        {0, 3, PTR_BC_LEFT, PTR_BC_TEXT_NONE, printer::kBarCodeBadSize},
        {256, 3, PTR_BC_LEFT, PTR_BC_TEXT_NONE, printer::kBarCodeBadSize},
        {80, 0, PTR_BC_LEFT, PTR_BC_TEXT_NONE, printer::kBarCodeBadSize},
        {80, 7, PTR_BC_LEFT, PTR_BC_TEXT_NONE, printer::kBarCodeBadSize},
        {80, 3, -4, PTR_BC_TEXT_NONE, printer::kBarCodeBadAlignment},
        {80, 3, 0, PTR_BC_TEXT_NONE, printer::kBarCodeBadAlignment},
        {80, 3, PTR_BC_LEFT, -10, printer::kBarCodeBadTextPosition},
        {80, 3, PTR_BC_LEFT, -14, printer::kBarCodeBadTextPosition},
        // The edges themselves are fine.
        {1, 1, PTR_BC_RIGHT, PTR_BC_TEXT_BELOW, 1},
        {255, 6, PTR_BC_LEFT, PTR_BC_TEXT_NONE, 1},
    };
    for (const Case& c : cases) {
        CommandEncoder e;
        const std::int32_t n = translate(on(model::A14), e, "12345", PTR_BCS_Code39, c.height, c.module,
                                         c.alignment, c.textPosition);
        if (c.result > 0) {
            EXPECT_GT(n, 0);
            EXPECT_TRUE(e.lineTerminated());
        } else {
            EXPECT_EQ(n, c.result) << c.height << "," << c.module << "," << c.alignment << "," << c.textPosition;
            EXPECT_TRUE(out(e).empty());
            // The pending line end is still pending for the next output.
            EXPECT_FALSE(e.lineTerminated());
        }
    }
}

TEST(TranslateBarCode, RefusalsLogTheirReason)
{
    CapturingLog log;
    CommandEncoder e(&log);
    translate(on(model::A14), e, "1", PTR_BCS_Code39, 300, 3);
    translate(on(model::A14), e, "1", PTR_BCS_Code39, 80, 3, -4);
    translate(on(model::A14), e, "1", PTR_BCS_Code39, 80, 3, PTR_BC_LEFT, -10);
    EXPECT_TRUE(log.hasError("TranslateBarCode 1:Height(300) or width(3)"));
    EXPECT_TRUE(log.hasError("TranslateBarCode 1:Alignment"));
    EXPECT_TRUE(log.hasError("TranslateBarCode 1:HRI TextPosition"));
}

TEST(TranslateBarCode, CodabarGetsTheStartAndStopCharactersItLacks)
{
    const auto a14 = on(model::A14);
    EXPECT_EQ(sentData(a14, "123", PTR_BCS_Codabar), "A123A");
    EXPECT_EQ(sentData(a14, "A123", PTR_BCS_Codabar), "A123A");
    EXPECT_EQ(sentData(a14, "123B", PTR_BCS_Codabar), "A123B");
    EXPECT_EQ(sentData(a14, "C45D", PTR_BCS_Codabar), "C45D");
    EXPECT_EQ(sentData(a14, "a1", PTR_BCS_Codabar), "Aa1A");  // lower case is data
    EXPECT_EQ(sentData(a14, "B", PTR_BCS_Codabar), "B");      // one character both starts and stops
    // Other symbologies keep their letters as they are.
    EXPECT_EQ(sentData(a14, "123", PTR_BCS_Code39), "123");
}

TEST(TranslateBarCode, Code128NamesCodeSetAExceptOnB20)
{
    EXPECT_EQ(sentData(on(model::A14), "ABC", PTR_BCS_Code128), "{AABC");
    EXPECT_EQ(sentData(on(model::B20), "ABC", PTR_BCS_Code128), "ABC");
    EXPECT_EQ(sentData(on(model::A14), "{BAbc", PTR_BCS_Code128), "{BAbc");
    EXPECT_EQ(sentData(on(model::A14), "{C1234", PTR_BCS_Code128), "{C1234");
    EXPECT_EQ(sentData(on(model::A14), "{D12", PTR_BCS_Code128), "{A{D12");
    EXPECT_EQ(sentData(on(model::A14), "{", PTR_BCS_Code128), "{A{");
    EXPECT_EQ(sentData(on(model::A14), "{AB", PTR_BCS_Code39), "{AB");
}

TEST(TranslateBarCode, DataTheLengthByteCannotAnnounceIsRefused)
{
    const auto a14 = on(model::A14);
    EXPECT_EQ(sentData(a14, std::string(255, '7'), PTR_BCS_Code39), std::string(255, '7'));
    EXPECT_EQ(sentData(a14, std::string(256, '7'), PTR_BCS_Code39), "<refused>");
    // The fixes count: 253 digits become 255 bytes, 254 would become 256.
    EXPECT_EQ(sentData(a14, std::string(253, '7'), PTR_BCS_Codabar).size(), 255u);
    EXPECT_EQ(sentData(a14, std::string(254, '7'), PTR_BCS_Codabar), "<refused>");
    EXPECT_EQ(sentData(a14, std::string(254, 'x'), PTR_BCS_Code128), "<refused>");
    EXPECT_EQ(sentData(on(model::B20), std::string(254, 'x'), PTR_BCS_Code128), std::string(254, 'x'));
    // Nothing to encode is not made into a start and stop character.
    EXPECT_EQ(sentData(a14, "", PTR_BCS_Code39), "<refused>");
    EXPECT_EQ(sentData(a14, "", PTR_BCS_Codabar), "<refused>");
    EXPECT_EQ(sentData(a14, "", PTR_BCS_Code128), "<refused>");

    CapturingLog log;
    CommandEncoder e(&log);
    EXPECT_EQ(translate(a14, e, std::string(300, '7'), PTR_BCS_Code39), printer::kBarCodeBadData);
    EXPECT_TRUE(out(e).empty());
    EXPECT_TRUE(log.hasError("TranslateBarCode 1:Data length(300)"));
}

TEST(TranslateBarCode, APendingLineIsFinishedOnce)
{
    CommandEncoder e;
    e.setLineTerminated(false);
    translate(on(model::A14), e, "12345", PTR_BCS_Code39);
    EXPECT_EQ(Bytes(e.commands().begin(), e.commands().begin() + 3), bytes({0x1B, 0x64, 0x01}));
    EXPECT_TRUE(e.lineTerminated());
    translate(on(model::A14), e, "12345", PTR_BCS_Code39);
    EXPECT_EQ(e.commands()[0], 0x1D);  // straight to HRI
}

TEST(TranslateBarCode, UpsideDownWhenTheBarcodeFollowsAHalfTurnOrRotateSpecialAsksForIt)
{
    struct Case {
        std::int32_t rotationState;
        bool barcodeRotation;
        std::int32_t rotateSpecial;
        bool pageMode;
        bool upsideDown;
    };
    const Case cases[] = {
        {printer::kRotation180, true, PTR_RP_NORMAL, false, true},
        {printer::kRotation180, false, PTR_RP_NORMAL, false, false},
        {printer::kRotationNormal, true, PTR_RP_NORMAL, false, false},
        {printer::kRotationNormal, false, PTR_RP_ROTATE180, false, true},
        {printer::kRotation90, false, PTR_RP_ROTATE180, true, false},
        {printer::kRotationNormal, false, PTR_RP_RIGHT90, false, false},
    };
    for (const Case& c : cases) {
        BarCodeContext context = on(model::A14);
        context.rotationState = c.rotationState;
        context.barcodeRotation = c.barcodeRotation;
        context.rotateSpecial = c.rotateSpecial;
        context.pageMode = c.pageMode;
        CommandEncoder e;
        e.setLineTerminated(true);
        ASSERT_GT(translate(context, e, "12345", PTR_BCS_Code39), 0);
        const Bytes all = out(e);
        const Bytes turn = bytes({0x1B, 0x7B, 0x01});
        const Bytes upright = bytes({0x1B, 0x7B, 0x00});
        const Bytes gsK = bytes({0x1D, 0x6B});
        const auto find = [&](const Bytes& what) {
            return std::search(all.begin(), all.end(), what.begin(), what.end());
        };
        if (c.upsideDown) {
            // Turned for the barcode only, and back afterwards.
            const auto turned = find(turn);
            ASSERT_NE(turned, all.end());
            EXPECT_LT(turned, find(gsK));
            EXPECT_EQ(Bytes(all.end() - 3, all.end()), upright);
        } else {
            EXPECT_EQ(find(turn), all.end());
            EXPECT_NE(find(upright), all.end());
            EXPECT_EQ(std::count(all.begin(), all.end(), 0x7B), 1);
        }
    }
}

TEST(TranslateBarCode, PageModeFeedsRoomAboveAndBelowTheBarcode)
{
    BarCodeContext context = on(model::A14);
    context.pageMode = true;
    CommandEncoder e;
    e.setLineTerminated(true);
    // Text above: 34 + 100 - 21 = 113 dots.
    ASSERT_GT(translate(context, e, "12345", PTR_BCS_Code39, 100, 3, PTR_BC_LEFT, PTR_BC_TEXT_ABOVE), 0);
    const Bytes all = out(e);
    EXPECT_EQ(Bytes(all.begin(), all.begin() + 3), bytes({0x1B, 0x4A, 0x71}));
    EXPECT_EQ(Bytes(all.end() - 6, all.end()), bytes({0x1B, 0x61, 0x00, 0x1B, 0x4A, 0x18}));
    // Text below does not count; a low barcode feeds nothing but still sends the command.
    translate(context, e, "12345", PTR_BCS_Code39, 100, 3, PTR_BC_LEFT, PTR_BC_TEXT_BELOW);
    EXPECT_EQ(Bytes(e.commands().begin(), e.commands().begin() + 3), bytes({0x1B, 0x4A, 0x4F}));
    translate(context, e, "12345", PTR_BCS_Code39, 10, 3, PTR_BC_LEFT, PTR_BC_TEXT_NONE);
    EXPECT_EQ(Bytes(e.commands().begin(), e.commands().begin() + 3), bytes({0x1B, 0x4A, 0x00}));
}

TEST(TranslateBarCode, APreFeedBeyondOneFeedCommandIsFedInFull)
{
    BarCodeContext context = on(model::A14);
    context.pageMode = true;
    struct Case {
        std::int32_t height;
        Bytes feed;
    };
    const Case cases[] = {
        {241, bytes({0x1B, 0x4A, 0xFE})},                    // 254
        {242, bytes({0x1B, 0x4A, 0x00, 0x1B, 0x4A, 0xFF})},  // 255
        {255, bytes({0x1B, 0x4A, 0x0D, 0x1B, 0x4A, 0xFF})},  // 268
    };
    for (const Case& c : cases) {
        CommandEncoder e;
        e.setLineTerminated(true);
        ASSERT_GT(translate(context, e, "12345", PTR_BCS_Code39, c.height, 3, PTR_BC_LEFT, PTR_BC_TEXT_ABOVE), 0);
        const Bytes all = out(e);
        EXPECT_EQ(Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(c.feed.size())), c.feed) << c.height;
        EXPECT_EQ(all[c.feed.size()], 0x1D) << "HRI follows the feed directly, " << c.height;
    }
}

TEST(TranslateBarCode, LogsTheDataWithControlBytesSpelledOut)
{
    CapturingLog log;
    CommandEncoder e(&log);
    const std::int32_t n = translate(on(model::A14), e, std::string_view("1\x01%s", 4), PTR_BCS_Code39, 80, 3,
                                     PTR_BC_RIGHT, PTR_BC_TEXT_ABOVE);
    EXPECT_TRUE(log.hasDebug("TranslateBarCode Begin"));
    EXPECT_TRUE(log.hasDebug("TranslateBarCode(\"10x01 %s\",0x31,4,108,80,3,-3,-12)"));
    EXPECT_TRUE(log.hasDebug("TranslateBarCode:" + std::to_string(n)));
}

}  // namespace
