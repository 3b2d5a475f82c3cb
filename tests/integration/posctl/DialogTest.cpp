#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "TerminalDialog.h"
#include "platform/ui.h"

namespace {

const platform::DialogDescription kDialog{
    "CheckHealth Interactive", {"Push The [Start] Button To  Start", "CheckHealth Method"}, "Start", "Close", "Result"};

// Restores headless dialogs whatever a test registered.
class DialogTest : public ::testing::Test {
protected:
    void TearDown() override { platform::setDialogProvider({}); }
};

#if defined(_WIN32)
// Windows shows its own dialog when no provider is registered; the platform
// suite drives that one.
TEST_F(DialogTest, WithoutAProviderStartIsPressedOnceAndTheDialogCloses) {
    GTEST_SKIP() << "without a provider Windows shows the system dialog";
}
#else
TEST_F(DialogTest, WithoutAProviderStartIsPressedOnceAndTheDialogCloses) {
    int starts = 0;
    platform::runModalDialog(kDialog, [&] {
        ++starts;
        return std::string("OPOS_SUCCESS");
    });
    EXPECT_EQ(starts, 1);
}
#endif

TEST_F(DialogTest, TheHostsProviderDrivesTheDialog) {
    std::string shownTitle;
    platform::setDialogProvider([&](const platform::DialogDescription& dialog, const platform::DialogStart& start) {
        shownTitle = dialog.title;
        start();
        start();
    });
    int starts = 0;
    platform::runModalDialog(kDialog, [&] {
        ++starts;
        return std::string("OPOS_FAIL");
    });
    EXPECT_EQ(shownTitle, "CheckHealth Interactive");
    EXPECT_EQ(starts, 2);

    const platform::DialogProvider previous = platform::setDialogProvider(platform::headlessDialog);
    EXPECT_TRUE(previous) << "the replaced provider is handed back";
    platform::runModalDialog(kDialog, [&] {
        ++starts;
        return std::string();
    });
    EXPECT_EQ(starts, 3) << "headless";
}

TEST_F(DialogTest, TheTerminalPromptPressesWhatThePersonTypes) {
    std::istringstream typed("maybe\ns\n  START \nclose\ns\n");
    std::ostringstream shown;
    platform::setDialogProvider(posctl::terminalDialogProvider(typed, shown));
    int starts = 0;
    platform::runModalDialog(kDialog, [&] { return "OPOS_SUCCESS " + std::to_string(++starts); });
    EXPECT_EQ(starts, 2);
    const std::string text = shown.str();
    EXPECT_NE(text.find("CheckHealth Interactive"), std::string::npos);
    EXPECT_NE(text.find("Push The [Start] Button To  Start\nCheckHealth Method\n"), std::string::npos);
    EXPECT_NE(text.find("Result: OPOS_SUCCESS 1\n"), std::string::npos);
    EXPECT_NE(text.find("Result: OPOS_SUCCESS 2\n"), std::string::npos);
    std::string rest;
    std::getline(typed, rest);
    EXPECT_EQ(rest, "s") << "the prompt stops reading at Close";

    std::istringstream ended("s\n");
    platform::setDialogProvider(posctl::terminalDialogProvider(ended, shown));
    platform::runModalDialog(kDialog, [&] { return std::to_string(++starts); });
    EXPECT_EQ(starts, 3) << "the end of the input closes the dialog";
}

}  // namespace
