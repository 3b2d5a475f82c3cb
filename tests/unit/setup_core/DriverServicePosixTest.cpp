// The driver-service step against this system's own service calls: there is
// no service control manager here, so both steps are skipped.
#include <gtest/gtest.h>

#include "setup/core/DriverService.h"

namespace setuptest {
namespace {

TEST(DriverServiceOnThisSystem, WithoutAServiceManagerBothStepsAreSkipped) {
    setup::PlatformServiceControl services;
    for (const char* commandLine : {"", "480317"}) {
        EXPECT_TRUE(
            setup::prepareDriverService(services, commandLine, [](setup::DWORD) { FAIL() << "no retry expected"; })
                .success)
            << commandLine;
    }
}

}  // namespace
}  // namespace setuptest
