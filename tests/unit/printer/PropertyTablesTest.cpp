#include <gtest/gtest.h>

#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"
#include "printer/PropertyTables.h"

namespace printer {
namespace {

using namespace common;

TEST(PropertyTablesTest, MapModeConversionsTruncateAsThePrintersExpect) {
    EXPECT_EQ(dotsToUnits(PTR_MM_DOTS, 512, 203), 512);
    EXPECT_EQ(dotsToUnits(PTR_MM_METRIC, 512, 203), 6406);
    EXPECT_EQ(dotsToUnits(PTR_MM_TWIPS, 24, 180), 192);
    EXPECT_EQ(dotsToUnits(PTR_MM_ENGLISH, 30, 203), 147);
    EXPECT_EQ(unitsToDots(PTR_MM_METRIC, 6406, 203), 448);  // fixed factor, not back to 512
    EXPECT_EQ(unitsToDots(PTR_MM_TWIPS, 192, 180), 24);
    EXPECT_EQ(unitsToDots(PTR_MM_ENGLISH, 147, 203), 29);
    EXPECT_EQ(unitsToDots(9, 77, 203), 77);
}

TEST(PropertyTablesTest, LineCharsRoundToTheModelsPair) {
    struct Case {
        std::int32_t model, requested, chars, height;
    };
    const Case cases[] = {
        {model::A14, 45, 42, 24}, {model::A14, 49, 42, 24}, {model::A14, 50, 56, 17}, {model::K92, 36, 33, 24},
        {model::K90, 37, 40, 17}, {model::H80, 39, 32, 24}, {model::A10X, 40, 47, 17}, {model::F60, 34, 30, 24},
        {model::F60, 35, 40, 17}, {model::None, 0, 42, 24},
        // Every listed count is kept: B20's narrow font and B21's only count.
        {model::B20, 38, 38, 17}, {model::B20, 27, 27, 24}, {model::B20, 32, 27, 24}, {model::B20, 42, 38, 17},
        {model::B21, 37, 37, 24}, {model::B21, 56, 37, 24},
    };
    for (const Case& c : cases) {
        const LineChars rounded = roundRecLineChars(c.model, c.requested);
        EXPECT_EQ(rounded.chars, c.chars) << c.model << "/" << c.requested;
        EXPECT_EQ(rounded.height, c.height) << c.model << "/" << c.requested;
    }
    EXPECT_EQ(roundJrnLineChars(35).chars, 40);
    EXPECT_EQ(roundSlpLineChars(78).chars, 68);
    EXPECT_EQ(roundSlpLineChars(79).height, 17);
}

TEST(PropertyTablesTest, TwoStationRowsAnswerOnlyForTheF60) {
    std::int32_t value = 99;
    EXPECT_FALSE(fixedNumberProperty(model::A14, PIDXPtr_CapJrnBold, &value));
    EXPECT_EQ(value, 99);
    EXPECT_TRUE(fixedNumberProperty(model::A14, PIDXPtr_CapJrnPresent, &value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(fixedNumberProperty(model::F60, PIDXPtr_CapJrnBold, &value));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(fixedNumberProperty(model::F60, PIDXPtr_SlpCartridgeState, &value));
    EXPECT_EQ(value, PTR_CART_UNKNOWN);
    std::string_view text = "untouched";
    EXPECT_FALSE(fixedStringProperty(model::H81, PIDXPtr_JrnLineCharsList, &text));
    EXPECT_EQ(text, "untouched");
    EXPECT_FALSE(fixedNumberProperty(model::H81, PIDX_ResultCode, &value));
}

TEST(PropertyTablesTest, CodeTablesFollowTheModelsFirmware) {
    EXPECT_EQ(codeTableFor(model::G70, 1252), 16);
    EXPECT_EQ(codeTableFor(model::A18, 28589), 41);
    EXPECT_EQ(codeTableFor(model::H81, 1252), 0);
    EXPECT_EQ(codeTableFor(model::H81, 858), 19);
    EXPECT_EQ(codeTableFor(model::A14, 866), 0);
}

}  // namespace
}  // namespace printer
