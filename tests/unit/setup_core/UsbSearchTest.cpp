#include <gtest/gtest.h>

#include <cstdlib>

#include "RegistryFixture.h"
#include "platform/environment.h"
#include "platform/module.h"
#include "setup/core/DeviceCreation.h"
#include "setup/core/UsbSearch.h"

namespace setuptest {
namespace {

using namespace setup;

const std::string kFakeLibrary = usbLinkLibraryIn(FAKE_USBLINK_DIR);

class UsbSearchTest : public RegistryFixture {
protected:
    // Holding the fake loaded keeps its handle table alive between the
    // search's own loads, so the test can see what was left open.
    void SetUp() override {
        m_module = platform::loadLibrary(kFakeLibrary);
        ASSERT_NE(m_module, nullptr);
        m_openHandles = platform::getProcAddressAs<int (*)()>(m_module, "FakeUsbLinkOpenHandles");
        ASSERT_NE(m_openHandles, nullptr);
    }
    void TearDown() override {
        platform::setEnvironmentVariable("FAKE_USBLINK_PRINTERS", nullptr);
        platform::freeLibrary(m_module);
    }

    static void attach(const char* internalIds) {
        platform::setEnvironmentVariable("FAKE_USBLINK_PRINTERS", internalIds);
    }
    int openHandles() const { return m_openHandles(); }

private:
    platform::HModule m_module = nullptr;
    int (*m_openHandles)() = nullptr;
};

TEST_F(UsbSearchTest, K92ReportingId90IsNamedByItsPlaceInTheBlockAndWritten) {
    attach("90");
    UsbSearch search("RX-K92", kFakeLibrary);
    ASSERT_TRUE(search.open().success);
    const Outcome found = search.search();
    ASSERT_TRUE(found.success) << found.message.text;
    EXPECT_EQ(search.foundName(), "USB_RX-K92_3");
    EXPECT_EQ(openHandles(), 0);

    const Outcome confirmed = search.confirm();
    EXPECT_TRUE(confirmed.success);
    EXPECT_EQ(confirmed.message.text, "Please Power off and power on the printer");
    EXPECT_EQ(confirmed.message.icon, MessageIcon::Warning);
    EXPECT_EQ(openHandles(), 0);
    EXPECT_TRUE(search.printer().ready);

    NewPrinter printer;
    printer.model = "RX-K92";
    printer.port = "USB";
    printer.logicalName = "usb";
    printer.usb = search.printer();
    ASSERT_TRUE(createPrinter(printer).success);
    EXPECT_EQ(readText(printerPath("RX-K92"), "Port"), "USB1");
    EXPECT_EQ(readNumber(printerPath("RX-K92"), "InternalID"), 90u);
    EXPECT_EQ(readText(printerPath("RX-K92"), "USBPrintName"), "USB_RX-K92_3");
}

TEST_F(UsbSearchTest, PrinterOutsideTheChosenModelsBlockIsNotFound) {
    attach("100");
    UsbSearch k92("RX-K92", kFakeLibrary);
    EXPECT_EQ(k92.search().message.text, "Searching USB port printers could not be found!");
    EXPECT_TRUE(k92.foundName().empty());

    attach("");
    EXPECT_EQ(k92.search().message.text, "Searching USB port printers could not be found!");

    attach("0");
    UsbSearch withoutBlock("RX-K93", kFakeLibrary);
    EXPECT_FALSE(withoutBlock.search().success);

    // Models sharing a block are told apart by the model chosen, and
    // RX-A14XX printers carry the RX-A14X name.
    attach("585");
    UsbSearch a14xx("RX-A14XX", kFakeLibrary);
    ASSERT_TRUE(a14xx.search().success);
    EXPECT_EQ(a14xx.foundName(), "USB_RX-A14X_2");
    EXPECT_EQ(openHandles(), 0);
}

TEST_F(UsbSearchTest, TwoAttachedPrintersStopTheSearchWithBothHandlesClosed) {
    attach("90,91");
    UsbSearch search("RX-K92", kFakeLibrary);
    const Outcome outcome = search.search();
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.message.text,
              "When you config the USB port printer,\nMake sure that only one USB port printer is on-line!");
    EXPECT_TRUE(search.foundName().empty());
    EXPECT_EQ(openHandles(), 0);

    // Nothing found: OK keeps nothing and the printer cannot be written.
    EXPECT_TRUE(search.confirm().success);
    EXPECT_FALSE(search.printer().ready);
}

TEST_F(UsbSearchTest, PrinterGoneBeforeTheConfirmationIsNotReady) {
    attach("88");
    UsbSearch search("RX-K92", kFakeLibrary);
    ASSERT_TRUE(search.search().success);
    attach("");
    const Outcome confirmed = search.confirm();
    EXPECT_TRUE(confirmed.success);
    EXPECT_FALSE(confirmed.hasMessage());
    EXPECT_FALSE(search.printer().ready);

    NewPrinter printer;
    printer.model = "RX-K92";
    printer.port = "USB";
    printer.logicalName = "usb";
    printer.usb = search.printer();
    EXPECT_EQ(createPrinter(printer).message.text, "Install printer fail!");
}

TEST_F(UsbSearchTest, EighthUsbPrinterIsTheLast) {
    for (int number = 1; number <= 7; ++number) {
        writePrinter("RX-H81_" + std::to_string(number + 1), "USB" + std::to_string(number));
    }
    writePrinter("RX-H81", "COM1");
    ASSERT_TRUE(UsbSearch("RX-K92", kFakeLibrary).open().success);

    writePrinter("RX-H81_9", "usb9");
    const Outcome limit = UsbSearch("RX-K92", kFakeLibrary).open();
    EXPECT_FALSE(limit.success);
    EXPECT_EQ(limit.message.text,
              "We only support 8 USB printers that is used at the same time,\nPlease remove the unused USB LDN that "
              "installe reviously,\notherwise you can't install the USB port printer!");
}

TEST_F(UsbSearchTest, MissingLibraryOrEntryPointIsNamed) {
    attach("90");
    UsbSearch nowhere("RX-K92", usbLinkLibraryIn(registry.directory()));
    EXPECT_EQ(nowhere.search().message.text, "Loading usblink.dll fail!");

    UsbSearch incomplete("RX-K92", usbLinkLibraryIn(FAKE_USBLINK_INCOMPLETE_DIR));
    EXPECT_EQ(incomplete.search().message.text, "Loading OpenDeviceX fail!");
    EXPECT_TRUE(incomplete.foundName().empty());
}

}  // namespace
}  // namespace setuptest
