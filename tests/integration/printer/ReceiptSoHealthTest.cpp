// CheckHealth's three levels and DirectIO's output command, through the
// control object.
#include <algorithm>
#include <memory>
#include <string>

#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"
#include "platform/ui.h"
#include "support/FakeNetPrinter.h"

namespace printertest {
namespace {

using namespace common;

class ReceiptSoHealthTest : public ReceiptSoTest {
protected:
    // Claimed and enabled, with the claim's initialisation block read by the
    // printer (the claim returns before that), so byte counts start after it.
    std::unique_ptr<opos::PosPrinter> ready(const testsupport::FakeNetPrinter& fake, const std::string& keyName) {
        addDevice(keyName, fake.portValue());
        auto control = openPrinter(keyName);
        EXPECT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
        EXPECT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
        constexpr std::size_t kInitialisationBlockBytes = 30;
        EXPECT_TRUE(fake.waitForReceived(kInitialisationBlockBytes, 5s));
        while (fake.waitForReceived(fake.received().size() + 1, 100ms)) {
        }
        return control;
    }

    static std::wstring checkHealthText(opos::PosPrinter& control) { return text(control, "CheckHealthText"); }

    // DirectIO command 100 with `data`; the bytes the printer got after.
    static LONG directIO(opos::PosPrinter& control, LONG command, const std::wstring& data) {
        LONG number = 0;
        std::wstring text = data;
        return control.directIO(command, &number, &text);
    }
};

TEST_F(ReceiptSoHealthTest, TheInternalCheckNeedsAnEnabledDeviceAndNeverTouchesThePort) {
    testsupport::FakeNetPrinter fake;
    auto control = ready(fake, "RX-A14");
    ASSERT_EQ(control->checkHealth(OPOS_CH_INTERNAL), OPOS_SUCCESS);
    EXPECT_EQ(checkHealthText(*control), L"Internal HCheck: Successful");

    ASSERT_EQ(control->setDeviceEnabled(false), OPOS_SUCCESS);
    EXPECT_EQ(control->checkHealth(OPOS_CH_EXTERNAL), OPOS_E_DISABLED);
    EXPECT_EQ(checkHealthText(*control), L"Internal HCheck: Successful") << "a refused check keeps the old text";

    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    const std::size_t before = fake.received().size();
    fake.setReading(false);
    ASSERT_EQ(control->checkHealth(OPOS_CH_INTERNAL), OPOS_SUCCESS);
    EXPECT_FALSE(fake.waitForReceived(before + 1, 200ms));
    fake.setReading(true);
    EXPECT_FALSE(fake.waitForReceived(before + 1, 200ms)) << "the internal check wrote to the printer";
}

TEST_F(ReceiptSoHealthTest, TheExternalCheckPrintsItsTextOrSaysThePrinterDidNotRespond) {
    auto fake = std::make_unique<testsupport::FakeNetPrinter>();
    auto control = ready(*fake, "RX-A14");
    const std::size_t before = fake->received().size();
    ASSERT_EQ(control->checkHealth(OPOS_CH_EXTERNAL), OPOS_SUCCESS);
    EXPECT_EQ(checkHealthText(*control), L"External HCheck: Successful");
    ASSERT_TRUE(fake->waitForReceived(before + 255, 5s));
    const auto bytes = fake->received();
    const std::string expected = "External Check!!\nCorvane OPOS Driver\nServiceObjectVersion = 1007001\nDeviceName = RX-A14\n\n\n";
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), expected.begin(), expected.end()), bytes.end());

    // The printer goes away: the check still succeeds as a call and says so
    // in its text.
    fake.reset();
    LONG rc = OPOS_E_FAILURE;
    std::wstring text;
    for (int attempt = 0; attempt < 3 && text != L"External HCheck: Not Responding"; ++attempt) {
        rc = control->checkHealth(OPOS_CH_EXTERNAL);
        text = checkHealthText(*control);
    }
    EXPECT_EQ(rc, OPOS_SUCCESS);
    EXPECT_EQ(text, L"External HCheck: Not Responding");
    EXPECT_EQ(control->checkHealth(99), OPOS_SUCCESS);
    EXPECT_EQ(checkHealthText(*control), L"");
}

TEST_F(ReceiptSoHealthTest, TheInteractiveCheckShowsItsDialogAndWritesWhenStartIsPressed) {
    testsupport::FakeNetPrinter fake;
    auto control = ready(fake, "RX-A14");
    platform::DialogDescription shown;
    std::vector<std::string> results;
    auto previous = platform::setDialogProvider(
        [&](const platform::DialogDescription& description, const platform::DialogStart& pressStart) {
            shown = description;
            results.push_back(pressStart());
            results.push_back(pressStart());
        });
    const std::size_t before = fake.received().size();
    ASSERT_EQ(control->checkHealth(OPOS_CH_INTERACTIVE), OPOS_SUCCESS);
    platform::setDialogProvider(previous);

    EXPECT_EQ(shown.title, "CheckHealth Interactive");
    ASSERT_EQ(shown.texts.size(), 2u);
    EXPECT_EQ(shown.texts[0], "Push The [Start] Button To  Start");
    EXPECT_EQ(shown.startButton, "Start");
    EXPECT_EQ(shown.closeButton, "Close");
    EXPECT_EQ(results, (std::vector<std::string>{"OPOS_SUCCESS", "OPOS_SUCCESS"}));
    EXPECT_EQ(checkHealthText(*control), L"Interactive HCheck: Successful");
    // Start may be pressed any number of times: each press prints once.
    ASSERT_TRUE(fake.waitForReceived(before + 2 * 255, 5s));
    const auto bytes = fake.received();
    const std::string heading = "Interactive Check for printer\nServiceObjectVersion = 1007001\nDeviceName = RX-A14";
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), heading.begin(), heading.end()), bytes.end());
}

TEST_F(ReceiptSoHealthTest, DirectIOSendsItsTextAfterBinaryConversion) {
    testsupport::FakeNetPrinter fake;
    auto control = ready(fake, "RX-A14");
    const auto sentAfter = [&](std::size_t before, std::size_t count) {
        EXPECT_TRUE(fake.waitForReceived(before + count, 5s));
        const auto all = fake.received();
        return testsupport::FakeNetPrinter::Bytes(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    };
    using Bytes = testsupport::FakeNetPrinter::Bytes;

    ASSERT_EQ(control->setNumber("BinaryConversion", OPOS_BC_NIBBLE), OPOS_SUCCESS);
    std::size_t before = fake.received().size();
    ASSERT_EQ(directIO(*control, 100, L"1;40"), OPOS_SUCCESS);
    EXPECT_EQ(sentAfter(before, 2), (Bytes{0x1B, 0x40}));
    before = fake.received().size();
    ASSERT_EQ(directIO(*control, 100, L"1B40"), OPOS_SUCCESS);
    EXPECT_EQ(sentAfter(before, 2), (Bytes{0x22, 0x40}));

    ASSERT_EQ(control->setNumber("BinaryConversion", OPOS_BC_DECIMAL), OPOS_SUCCESS);
    before = fake.received().size();
    ASSERT_EQ(directIO(*control, 100, L"027064"), OPOS_SUCCESS);
    EXPECT_EQ(sentAfter(before, 2), (Bytes{0x1B, 0x40}));

    ASSERT_EQ(control->setNumber("BinaryConversion", OPOS_BC_NONE), OPOS_SUCCESS);
    before = fake.received().size();
    EXPECT_EQ(directIO(*control, 100, L""), OPOS_E_ILLEGAL);
    EXPECT_EQ(directIO(*control, 101, L"x"), OPOS_E_FAILURE);
    // Text that would not fit the command buffer is refused whole.
    EXPECT_EQ(directIO(*control, 100, std::wstring(65537, L'x')), OPOS_E_ILLEGAL);
    EXPECT_FALSE(fake.waitForReceived(before + 1, 200ms));

    ASSERT_EQ(control->setDeviceEnabled(false), OPOS_SUCCESS);
    EXPECT_EQ(directIO(*control, 100, L"x"), OPOS_E_FAILURE) << "the state check's code is overridden";
}

}  // namespace
}  // namespace printertest
