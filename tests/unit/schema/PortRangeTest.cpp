#include <gtest/gtest.h>

#include "schema/PortRange.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"
#include "support/TempRegistry.h"

namespace {

using namespace schema;

TEST(PortRange, MissingKeyGivesDefaultsButAMissingValueListsNothing) {
    testsupport::TempRegistry registry;
    PortRange range = readPortRange();
    EXPECT_EQ(range.comMax, 4u);
    EXPECT_EQ(range.lptMax, 2u);

    RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, kPortRangePath), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.writeDword(kComMaxValue, 12), platform::ERROR_SUCCESS);
    range = readPortRange();
    EXPECT_EQ(range.comMax, 12u);
    EXPECT_EQ(range.lptMax, 0u);
}

TEST(PortRange, WrittenRangeReadsBackAndOversizedValuesAreCapped) {
    testsupport::TempRegistry registry;
    ASSERT_EQ(writePortRange({40, 4}), platform::ERROR_SUCCESS);
    PortRange range = readPortRange();
    EXPECT_EQ(range.comMax, 40u);
    EXPECT_EQ(range.lptMax, 4u);

    ASSERT_EQ(writePortRange({4000, 9}), platform::ERROR_SUCCESS);
    range = readPortRange();
    EXPECT_EQ(range.comMax, 40u);
    EXPECT_EQ(range.lptMax, 4u);
}

}  // namespace
