#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/debug.h"
#include "platform/environment.h"

using namespace platform;

namespace {

TEST(OutputDebugString, ReachesStderrOnlyWhileCvoposDebugIsSet) {
    std::optional<std::string> saved;
    if (const char* value = std::getenv("CVOPOS_DEBUG")) {
        saved = value;
    }

    setEnvironmentVariable("CVOPOS_DEBUG", nullptr);
    ::testing::internal::CaptureStderr();
    outputDebugString("not for production\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    setEnvironmentVariable("CVOPOS_DEBUG", "1");
    ::testing::internal::CaptureStderr();
    outputDebugString("CoGetInterfaceAndReleaseStream Fail\n");
    outputDebugString(nullptr);
    outputDebugString("no line end");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "CoGetInterfaceAndReleaseStream Fail\nno line end");

    if (saved) {
        setEnvironmentVariable("CVOPOS_DEBUG", saved->c_str());
    } else {
        setEnvironmentVariable("CVOPOS_DEBUG", nullptr);
    }
}

}  // namespace
