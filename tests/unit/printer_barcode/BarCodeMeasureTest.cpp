#include <gtest/gtest.h>

#include <limits>

#include "BarCodeTestSupport.h"
#include "common/OposConstants.h"
#include "printer/encode/BarCodeEncoder.h"

using namespace common;
using printer::countBarCodeChars;
using printer::GetCodeBarUnitLen;
using printer::SetLinParInDot;

namespace {

std::int32_t dots(std::int32_t mapMode, std::int32_t value, std::int32_t dpi)
{
    std::int32_t result = -12345;
    SetLinParInDot(nullptr, &result, mapMode, value, dpi);
    return result;
}

TEST(BarCodeMeasure, MapModeDistancesBecomeDotsAtTheModelsResolution)
{
    EXPECT_EQ(dots(PTR_MM_DOTS, 300, 203), 300);
    EXPECT_EQ(dots(PTR_MM_TWIPS, 1440, 203), 203);
    EXPECT_EQ(dots(PTR_MM_TWIPS, 1440, 180), 180);
    EXPECT_EQ(dots(PTR_MM_TWIPS, 1000, 203), 140);  // 140.97, integer division
    EXPECT_EQ(dots(PTR_MM_ENGLISH, 999, 203), 202);  // 202.797, truncated
    EXPECT_EQ(dots(PTR_MM_ENGLISH, 1000, 180), 180);
    EXPECT_EQ(dots(PTR_MM_METRIC, 1000, 203), 70);  // 7 dots per mm whatever the head
    EXPECT_EQ(dots(PTR_MM_METRIC, 1000, 180), 70);
    EXPECT_EQ(dots(PTR_MM_METRIC, 1010, 180), 70);  // 70.7, truncated
    EXPECT_EQ(dots(9, 777, 203), 777);              // unknown MapMode: unchanged
}

TEST(BarCodeMeasure, LargeTwipsDoNotOverflowOnTheWay)
{
    // value x dpi exceeds 32 bits long before the result does.
    EXPECT_EQ(dots(PTR_MM_TWIPS, 100000000, 203), 14097222);
}

TEST(BarCodeMeasure, ModuleWidthFollowsEachSymbologysRule)
{
    struct Case {
        std::int32_t symbology, count, width, module;
    };
    const Case cases[] = {
        {PTR_BCS_UPCA, 12, 226, 2},  {PTR_BCS_EAN13, 13, 339, 3},  {PTR_BCS_UPCE, 8, 153, 3},
        {PTR_BCS_EAN8, 8, 243, 3},   {PTR_BCS_EAN13, 13, 200, 1},  // raised to 2 by the caller
        {PTR_BCS_TF, 2, 100, 2},                                    // (100 - 20) / 28
        {PTR_BCS_ITF, 1, 98, 5},                                    // 98 / 16.5 = 5.9, not 98 / 16
        {PTR_BCS_Codabar, 1, 99, 3},                                // 99 / 33
        {PTR_BCS_Codabar, 2, 85, 1},                                // 85 / 43 = 1.98
        {PTR_BCS_Code39, 10, 600, 3},                               // 600 / 162 = 3.7
        {PTR_BCS_Code39, 1, 121, 2},                                // 121 / 40.5, not 121 / 40
        {PTR_BCS_Code93, 1, 84, 3},                                 // 84 / 28
        {PTR_BCS_Code128, 1, 70, 2},                                // 70 / 35
        {PTR_BCS_Code128, 3, 400, 7},                               // 400 / 57, clamped by the caller
        {PTR_BCS_PDF417, 50, 9999, 2},   {PTR_BCS_UPCA_S, 12, 9999, 2}, {PTR_BCS_OCRB, 1, 1, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetCodeBarUnitLen(nullptr, c.symbology, c.count, c.width), c.module)
            << c.symbology << " count " << c.count << " width " << c.width;
}

TEST(BarCodeMeasure, ModuleWidthNeverDividesByZeroOrWraps)
{
    // Counts no data produces, but the function is handed whatever it gets.
    EXPECT_EQ(GetCodeBarUnitLen(nullptr, PTR_BCS_Code39, -2, 600), 0);
    EXPECT_EQ(GetCodeBarUnitLen(nullptr, PTR_BCS_TF, -2, 600), 0);
    const std::int32_t max = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(GetCodeBarUnitLen(nullptr, PTR_BCS_ITF, -1, max), max);  // max / 0.5 saturates
    EXPECT_EQ(GetCodeBarUnitLen(nullptr, PTR_BCS_Code128, max, max), 0);
}

TEST(BarCodeMeasure, Code128CountSkipsCodeSetSwitchesAndWeighsCodeSetC)
{
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Code128, "ABC"), 3);
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Code128, "{AABC"), 4);
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Code128, "{CAB"), 5);
    // In code set C only bytes above 0x09 add.
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Code128, std::string_view("{C\x09\x0A", 4)), 4);
    // A later '{' ends code set C.
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Code128, "{C12{B34"), 8);
    // The C must follow the brace directly.
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Code128, "{{C1"), 3);
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Code128, "AC12"), 4);
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Code128, "AB{"), 2);
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Code128, ""), 0);
}

TEST(BarCodeMeasure, OtherSymbologiesCountTheDataLength)
{
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Code39, "{C12"), 4);
    EXPECT_EQ(countBarCodeChars(PTR_BCS_Codabar, "123"), 3);
}

TEST(BarCodeMeasure, LogsItsSteps)
{
    barcodetest::CapturingLog log;
    std::int32_t result = 0;
    SetLinParInDot(&log, &result, PTR_MM_TWIPS, 1440, 203);
    GetCodeBarUnitLen(&log, PTR_BCS_Code39, 10, 600);
    EXPECT_TRUE(log.hasDebug("SetLinParInDot(2,1440,203) ok"));
    EXPECT_TRUE(log.hasDebug("GetCodeBarUnitLen(108,10,600)"));
    EXPECT_TRUE(log.hasDebug("GetCodeBarUnitLen:3"));
}

}  // namespace
