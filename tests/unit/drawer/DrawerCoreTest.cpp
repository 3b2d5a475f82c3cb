// The drawer's pure parts: which model value a device name gives, the pulse,
// how the sensor reads in either phase, the bounded event ring and the
// property table.
#include <gtest/gtest.h>

#include "common/OposConstants.h"
#include "drawer/DrawerModel.h"
#include "drawer/EventRing.h"
#include "drawer/PropertyTable.h"

namespace {

using namespace drawer;

TEST(DrawerModelTest, ModelValueFollowsTheFirstCodeInDetectionOrder) {
    const std::pair<const char*, int> cases[] = {
        {"RX-K92Drawer", 2}, {"RX-K91Drawer", 4}, {"RX-E50Drawer", 2}, {"RX-A10XDrawer", 2},
        {"RX-A14XDrawer", 4}, {"RT-B21", 2},      {"unknown", 4},
        // Both codes present: H81 comes before K92 in the order.
        {"RX-K92-H81", 4},
        // K93 comes before A14 in the order.
        {"RX-A14-K93", 2},
    };
    for (const auto& [name, value] : cases) {
        EXPECT_EQ(drawerModelValue(name), value) << name;
    }
}

TEST(DrawerModelTest, PulseSelectsPinFiveForAnyNonZeroPinSingle) {
    EXPECT_EQ(pulseCommand(0), (PulseCommand{0x10, 0x14, 0x01, 0x00, 0x05}));
    EXPECT_EQ(pulseCommand(1), (PulseCommand{0x10, 0x14, 0x01, 0x01, 0x05}));
    EXPECT_EQ(pulseCommand(7), (PulseCommand{0x10, 0x14, 0x01, 0x01, 0x05}));
}

TEST(DrawerModelTest, SensorBitReadsByTheOpenSinglePhase) {
    const StatusBlock sensorSet = {0x14, 0x00, 0x00, 0x0F};
    const StatusBlock sensorClear = {0x10, 0x00, 0x00, 0x0F};
    EXPECT_TRUE(drawerIsOpen(sensorSet, 1));
    EXPECT_FALSE(drawerIsOpen(sensorSet, 0));
    EXPECT_FALSE(drawerIsOpen(sensorClear, 1));
    EXPECT_TRUE(drawerIsOpen(sensorClear, 0));
    // Anything but 1 is the usual phase.
    EXPECT_TRUE(drawerIsOpen(sensorClear, 2));
    // Only bit 0x04 of the first byte counts.
    EXPECT_TRUE(drawerIsOpen({0x10, 0xFF, 0xFF, 0xFF}, 0));
}

TEST(EventRingTest, FullRingRefusesWithoutOverwritingAndKeepsOrder) {
    EventRing ring;
    ring.reset();
    for (LONG i = 0; i < static_cast<LONG>(EventRing::kCapacity); ++i) {
        ASSERT_TRUE(ring.put(i));
    }
    EXPECT_FALSE(ring.put(-1));
    EXPECT_EQ(ring.count(), EventRing::kCapacity);
    LONG value = -2;
    ASSERT_TRUE(ring.take(&value));
    EXPECT_EQ(value, 0);
    // One slot free again: the next value goes behind the undelivered ones.
    EXPECT_TRUE(ring.put(5000));
    for (LONG i = 1; i < static_cast<LONG>(EventRing::kCapacity); ++i) {
        ASSERT_TRUE(ring.take(&value));
        ASSERT_EQ(value, i);
    }
    ASSERT_TRUE(ring.take(&value));
    EXPECT_EQ(value, 5000);
    EXPECT_FALSE(ring.take(&value));
    EXPECT_EQ(value, 5000);
}

TEST(EventRingTest, ResetEmptiesTheRing) {
    EventRing ring;
    ring.put(1);
    ring.put(2);
    ring.reset();
    LONG value = 0;
    EXPECT_FALSE(ring.take(&value));
    EXPECT_TRUE(ring.put(3));
    ASSERT_TRUE(ring.take(&value));
    EXPECT_EQ(value, 3);
}

TEST(PropertyTableTest, AnswersTheDrawerIndexesOnly) {
    DrawerProperties properties;
    properties.claimed = 1;
    properties.deviceEnabled = 1;
    properties.freezeEvents = 1;
    properties.resultCode = common::OPOS_E_DISABLED;
    properties.state = common::OPOS_S_BUSY;
    properties.drawerOpened = 1;
    const std::pair<LONG, LONG> expected[] = {
        {common::PIDX_Claimed, 1},
        {common::PIDX_DeviceEnabled, 1},
        {common::PIDX_FreezeEvents, 1},
        {common::PIDX_ResultCode, common::OPOS_E_DISABLED},
        {common::PIDX_ServiceObjectVersion, 1007000},
        {common::PIDX_State, common::OPOS_S_BUSY},
        {common::PIDX_PowerState, common::OPOS_PS_UNKNOWN},
        {common::PIDXCash_DrawerOpened, 1},
        {common::PIDXCash_CapStatus, 1},
        {common::PIDXCash_CapStatusMultiDrawerDetect, 0},
    };
    for (const auto& [index, value] : expected) {
        const auto property = readNumberProperty(properties, index);
        ASSERT_TRUE(property) << index;
        EXPECT_EQ(property->value, value) << property->name;
    }
    EXPECT_FALSE(readNumberProperty(properties, common::PIDX_OutputID));
    EXPECT_FALSE(readNumberProperty(properties, common::PIDX_PowerNotify));
}

}  // namespace
