// The status block read by model: the mechanism error bits (which models
// and ports report which condition) and F60's slip sensor.
#include <gtest/gtest.h>

#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"
#include "printer/StatusBits.h"

namespace printer {
namespace {

using namespace common;
using B = StatusBlock;

struct ErrorCase {
    const char* name;
    std::int32_t model;
    B block;
    bool parallel;
    bool cutter, motor, asbResume, resume;
};

TEST(StatusDecodingTest, MechanismErrorsFollowEachModelsBitsAndPort) {
    const ErrorCase cases[] = {
        {"clear block", model::A14, B{0x10, 0x00, 0x00, 0x0F}, false, false, false, false, false},
        {"cutter bit 0x08", model::A14, B{0x10, 0x08, 0, 0x0F}, false, true, false, false, false},
        // 0x20 is the resume bit, and other models count it as a cutter error too.
        {"resume bit", model::A14, B{0x10, 0x20, 0, 0x0F}, false, true, false, false, true},
        {"resume bit over parallel", model::A14, B{0x10, 0x20, 0, 0x0F}, true, true, false, false, false},
        {"automatic-status resume", model::A14, B{0x10, 0x40, 0, 0x0F}, false, false, false, true, false},
        {"motor bit on a thermal model", model::A14, B{0x10, 0x04, 0, 0x0F}, false, false, false, false, false},
        {"motor K92", model::K92, B{0x10, 0x04, 0, 0x0F}, false, false, true, false, false},
        {"motor K91", model::K91, B{0x10, 0x04, 0, 0x0F}, false, false, true, false, false},
        {"motor K90", model::K90, B{0x10, 0x04, 0, 0x0F}, false, false, true, false, false},
        {"motor F60", model::F60, B{0x10, 0x04, 0x60, 0x6F}, false, false, true, false, false},
        {"B20 has no cutter bit", model::B20, B{0x10, 0x08, 0, 0x0F}, false, false, false, false, false},
        {"B20 resume", model::B20, B{0x10, 0x20, 0, 0x0F}, false, false, false, false, true},
        {"E50 cutter in b0", model::E50, B{0x10, 0x00, 0, 0x0F}, false, true, false, false, false},
        {"E50 ignores b1 cutter and resume", model::E50, B{0x00, 0x28, 0, 0x0F}, false, false, false, false, false},
        {"E50 automatic-status resume", model::E50, B{0x00, 0x40, 0, 0x0F}, false, false, false, true, false},
    };
    for (const ErrorCase& c : cases) {
        const MechanismErrors errors = decodeErrors(c.model, c.block, c.parallel);
        EXPECT_EQ(errors.cutter, c.cutter) << c.name;
        EXPECT_EQ(errors.motor, c.motor) << c.name;
        EXPECT_EQ(errors.asbResume, c.asbResume) << c.name;
        EXPECT_EQ(errors.resume, c.resume) << c.name;
    }
}

TEST(StatusDecodingTest, F60SlipSensorTakesOnlyItsThreeStatesAndOtherwiseKeepsThePrevious) {
    EXPECT_EQ(slipSensorState(B{0, 0, 0x60, 0x02}, 0), kSlipSensorNone);
    EXPECT_EQ(slipSensorState(B{0, 0, 0x40, 0x00}, 0), kSlipSensorInserted);
    EXPECT_EQ(slipSensorState(B{0, 0, 0x20, 0x02}, 0), kSlipSensorOutOfPath);
    // Paper bits of the other stations do not disturb it.
    EXPECT_EQ(slipSensorState(B{0, 0, 0x4F, 0x6D}, 0), kSlipSensorInserted);
    // Combinations that are none of the three keep what was there.
    EXPECT_EQ(slipSensorState(B{0, 0, 0x60, 0x00}, kSlipSensorInserted), kSlipSensorInserted);
    EXPECT_EQ(slipSensorState(B{0, 0, 0x00, 0x02}, kSlipSensorOutOfPath), kSlipSensorOutOfPath);
    EXPECT_EQ(slipSensorState(B{0, 0, 0x40, 0x02}, 0), 0);
}

TEST(StatusDecodingTest, F60ReadsItsThreeStationsFromTheirOwnBits) {
    struct Case {
        B block;
        std::int32_t receipt, journal, slip;
    };
    const Case cases[] = {
        {B{0x10, 0, 0x40, 0x6D}, PTR_SUE_REC_PAPEROK, PTR_SUE_JRN_PAPEROK, PTR_SUE_SLP_PAPEROK},
        {B{0x10, 0, 0x48, 0x6D}, PTR_SUE_REC_EMPTY, PTR_SUE_JRN_PAPEROK, PTR_SUE_SLP_PAPEROK},
        {B{0x10, 0, 0x4A, 0x6D}, PTR_SUE_REC_EMPTY, PTR_SUE_JRN_PAPEROK, PTR_SUE_SLP_PAPEROK},
        {B{0x10, 0, 0x42, 0x6D}, PTR_SUE_REC_NEAREMPTY, PTR_SUE_JRN_PAPEROK, PTR_SUE_SLP_PAPEROK},
        {B{0x10, 0, 0x44, 0x6D}, PTR_SUE_REC_PAPEROK, PTR_SUE_JRN_EMPTY, PTR_SUE_SLP_PAPEROK},
        {B{0x10, 0, 0x41, 0x6D}, PTR_SUE_REC_PAPEROK, PTR_SUE_JRN_NEAREMPTY, PTR_SUE_SLP_PAPEROK},
        {B{0x10, 0, 0x60, 0x6F}, PTR_SUE_REC_PAPEROK, PTR_SUE_JRN_PAPEROK, PTR_SUE_SLP_EMPTY},
        {B{0x10, 0, 0x20, 0x6F}, PTR_SUE_REC_PAPEROK, PTR_SUE_JRN_PAPEROK, PTR_SUE_SLP_NEAREMPTY},
        // The slip's top sensor alone, without the near-end bit, is no near end.
        {B{0x10, 0, 0x20, 0x6D}, PTR_SUE_REC_PAPEROK, PTR_SUE_JRN_PAPEROK, PTR_SUE_SLP_PAPEROK},
    };
    for (const Case& c : cases) {
        const StatusCodes codes = decodeStatus(model::F60, c.block);
        EXPECT_EQ(codes.f60Receipt, c.receipt) << int(c.block[2]);
        EXPECT_EQ(codes.journal, c.journal) << int(c.block[2]);
        EXPECT_EQ(codes.slip, c.slip) << int(c.block[2]);
    }
}

TEST(StatusDecodingTest, NearEndOnlyWhereTheModelHasTheSensor) {
    EXPECT_EQ(decodeStatus(model::K92, B{0x10, 0, 0x03, 0x0F}).receipt, PTR_SUE_REC_NEAREMPTY);
    EXPECT_EQ(decodeStatus(model::B20, B{0x10, 0, 0x03, 0x0F}).receipt, PTR_SUE_REC_PAPEROK);
    EXPECT_EQ(decodeStatus(model::B20, B{0x10, 0, 0x0C, 0x0F}).receipt, PTR_SUE_REC_EMPTY);
    EXPECT_EQ(decodeStatus(model::E50, B{0x04, 0, 0x00, 0x0F}).receipt, PTR_SUE_REC_EMPTY);
    EXPECT_EQ(decodeStatus(model::E50, B{0x00, 0x02, 0x00, 0x0F}).receipt, PTR_SUE_REC_EMPTY);
    EXPECT_EQ(decodeStatus(model::E50, B{0x00, 0, 0x03, 0x0F}).receipt, PTR_SUE_REC_PAPEROK);
    // End wins over near end.
    EXPECT_EQ(decodeStatus(model::A14, B{0x10, 0, 0x0F, 0x0F}).receipt, PTR_SUE_REC_EMPTY);
}

}  // namespace
}  // namespace printer
