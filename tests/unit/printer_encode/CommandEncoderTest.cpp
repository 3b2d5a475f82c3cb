#include "printer/encode/CommandEncoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "EncodeTestSupport.h"
#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"
#include "printer/encode/BinaryCode.h"

using encodetest::bytes;
using printer::CommandEncoder;

namespace {

std::vector<std::uint8_t> out(const CommandEncoder& e) { return {e.commands().begin(), e.commands().end()}; }

TEST(CommandEncoder, SetLineHighSendsHalfDotsInOneByte)
{
    CommandEncoder e;
    e.SetLineHigh(30);
    e.SetLineHigh(200);
    EXPECT_EQ(out(e), bytes({0x1B, 0x33, 0x3C, 0x1B, 0x33, 0x90}));
}

TEST(CommandEncoder, PrintnDotSplitsAt255AndClampsAt2000)
{
    CommandEncoder e;
    e.PrintnDot(600);
    EXPECT_EQ(out(e), bytes({0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x5A}));
    e.clearCommands();
    e.PrintnDot(5000);
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 7; ++i) expected.insert(expected.end(), {0x1B, 0x4A, 0xFF});
    expected.insert(expected.end(), {0x1B, 0x4A, 0xD7});
    EXPECT_EQ(out(e), expected);
    e.clearCommands();
    e.PrintnDot(510);
    EXPECT_EQ(out(e), bytes({0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x00}));
}

TEST(CommandEncoder, CutModes)
{
    encodetest::CapturingLog log;
    CommandEncoder e(&log);
    e.Cut(66, 5);
    e.Cut(2, 0);
    e.Cut(0, 9);
    EXPECT_EQ(out(e), bytes({0x1D, 0x56, 0x42, 0x05, 0x1D, 0x56, 0x00}));
    EXPECT_TRUE(log.hasDebug("Cut(2,0) ok"));
}

TEST(CommandEncoder, SetColorIsSilentOnK93Only)
{
    encodetest::CapturingLog log;
    CommandEncoder e(&log);
    e.setModel(printer::model::K92, printer::model::K93SubType);
    EXPECT_EQ(e.SetColor(1), 0);
    EXPECT_TRUE(out(e).empty());
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_EQ(log.errors[0], "SetColor fail:RX_K93");
    e.setModel(printer::model::K92, 0);
    e.SetColor(1);
    EXPECT_EQ(out(e), bytes({0x1B, 0x72, 0x01}));
    EXPECT_TRUE(log.hasDebug("SetColor ok"));
}

TEST(CommandEncoder, PageModeExtendGrowsTheLineFeedInPlace)
{
    CommandEncoder e;
    e.setPageMode(true);
    e.setLineStart(true);
    e.Extend(0x11);
    EXPECT_EQ(out(e), bytes({0x1B, 0x4A, 0x16, 0x1D, 0x21, 0x11}));
    e.Extend(0x02);
    EXPECT_EQ(out(e), bytes({0x1B, 0x4A, 0x2C, 0x1D, 0x21, 0x11, 0x1D, 0x21, 0x02}));
    e.Extend(0x01);  // smaller: the feed stays
    EXPECT_EQ(e.commands()[2], 0x2C);
    e.setPageMode(false);
    e.clearCommands();
    e.Extend(0x11);
    EXPECT_EQ(out(e), bytes({0x1D, 0x21, 0x11}));
}

TEST(CommandEncoder, StagingBuilders)
{
    CommandEncoder e;
    e.PrintnLine(3);
    e.SelectStation(0x8003);
    EXPECT_EQ(e.fillCount(), 4);
    std::vector<std::uint8_t> staged(e.staging().begin(), e.staging().end());
    EXPECT_EQ(staged, bytes({0x1B, 0x63, 0x30, 0x03}));
    const auto text = bytes("ab");
    e.AddData2(text);
    e.Journaltab();
    staged.assign(e.staging().begin(), e.staging().end());
    EXPECT_EQ(staged, bytes({0x1B, 0x63, 0x30, 0x03, 'a', 'b', 0x1E}));
}

TEST(CommandEncoder, FullBuffersRefuseWholeCommands)
{
    encodetest::CapturingLog log;
    CommandEncoder e(&log);
    std::vector<std::uint8_t> block(printer::kCommandBufferSize - 2, 0x41);
    ASSERT_EQ(e.appendCommands(block), 0);
    EXPECT_EQ(e.Bold(1), common::OPOS_E_FAILURE);
    EXPECT_EQ(e.fillCount(), static_cast<std::int32_t>(block.size()));
    EXPECT_TRUE(e.overflowed());
    EXPECT_FALSE(log.errors.empty());
    // Even a command that would fit is refused once a sequence is broken.
    EXPECT_EQ(e.SelectFont(0), common::OPOS_E_FAILURE);
    e.clearCommands();
    EXPECT_EQ(e.Bold(1), 0);

    e.SelectStation(2);
    std::vector<std::uint8_t> text(printer::kStagingBufferSize - 4, 'x');
    EXPECT_EQ(e.AddData2(text), 0);
    EXPECT_EQ(e.Journaltab(), common::OPOS_E_FAILURE);
    EXPECT_EQ(e.fillCount(), static_cast<std::int32_t>(printer::kStagingBufferSize));
}

TEST(CommandEncoder, LogoStoreAndPrintBMPWithoutPipeline)
{
    encodetest::CapturingLog log;
    CommandEncoder e(&log);
    const auto logo = bytes({1, 2, 3});
    EXPECT_TRUE(e.setLogo(0, logo));
    EXPECT_FALSE(e.setLogo(0, std::vector<std::uint8_t>(513, 9)));
    e.PrintLogo(0);
    e.PrintLogo(1);
    EXPECT_EQ(out(e), logo);

    e.clearCommands();
    e.setBitmapDirectory("/tmp/u/");
    e.setLineTerminated(false);
    std::int32_t width = 48;
    EXPECT_EQ(e.PrintBMP(5, 0, &width), -1);
    EXPECT_EQ(out(e), bytes({0x1B, 0x64, 0x01}));
    EXPECT_EQ(e.currentBitmapPath(), "/tmp/u/" + std::string(printer::kBitmapFilePrefix) + "5");
    ASSERT_FALSE(log.errors.empty());
    EXPECT_EQ(log.errors.back(), "PrintBMP -1:PrintBitmapToRAM fail");

    e.setBitmapToCommands([](CommandEncoder& enc, const std::string&, std::int32_t, std::int32_t, std::int32_t* w) {
        *w = 384;
        return enc.appendCommands(bytes({0x1D, 0x76}));
    });
    EXPECT_EQ(e.PrintBMP(5, 0, &width), 0);
    EXPECT_EQ(width, 384);
    EXPECT_EQ(out(e), bytes({0x1B, 0x64, 0x01, 0x1D, 0x76}));  // the line was finished once
}

TEST(BinaryCode, NibbleAndDecimal)
{
    auto d = bytes("3132333:");
    EXPECT_EQ(printer::TranslateBinaryCode(common::OPOS_BC_NIBBLE, d.data(), 8), 4);
    EXPECT_EQ(std::vector<std::uint8_t>(d.begin(), d.begin() + 4), bytes({'1', '2', '3', 0x3A}));

    auto dec = bytes("065066");
    EXPECT_EQ(printer::TranslateBinaryCode(common::OPOS_BC_DECIMAL, dec.data(), 6), 2);
    EXPECT_EQ(dec[0], 'A');
    EXPECT_EQ(dec[1], 'B');

    auto odd = bytes("31323");
    EXPECT_EQ(printer::TranslateBinaryCode(common::OPOS_BC_NIBBLE, odd.data(), 5), 5);
    EXPECT_EQ(odd, bytes("31323"));
    auto notTriple = bytes("0650");
    EXPECT_EQ(printer::TranslateBinaryCode(common::OPOS_BC_DECIMAL, notTriple.data(), 4), 4);
    EXPECT_EQ(notTriple, bytes("0650"));
}

TEST(BinaryCode, FeedDistancesAt180Dpi)
{
    std::int32_t dots = 0;
    printer::SetLinParInDot2(nullptr, &dots, common::PTR_MM_TWIPS, 1440);
    EXPECT_EQ(dots, 180);
    printer::SetLinParInDot2(nullptr, &dots, common::PTR_MM_ENGLISH, 1000);
    EXPECT_EQ(dots, 180);
    printer::SetLinParInDot2(nullptr, &dots, common::PTR_MM_METRIC, 1000);
    EXPECT_EQ(dots, 70);
    printer::SetLinParInDot2(nullptr, &dots, 9, 77);
    EXPECT_EQ(dots, 77);
}

}  // namespace
