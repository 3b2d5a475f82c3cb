// The suites whose every case stands on a POSIX-only fake, reported as
// skipped on Windows with the reason.
#include <gtest/gtest.h>

#include "PortTestFixture.h"

namespace porttest {
namespace {

TEST(SerialPortTest, NeedsPseudoTerminalPrinters) {
    GTEST_SKIP() << "sends raw and misaligned status bytes, holds the line with XOFF and drives modem lines: a fake "
                    "printer on a pseudo-terminal made with POSIX calls does that, and under Wine a COM port has no "
                    "modem lines, takes any rate and lets a second handle in (SerialPortOpenTest runs against the "
                    "emulator instead)";
}

TEST(ParallelPortTest, NeedsPseudoTerminalPrinters) { GTEST_SKIP() << kNoPseudoTerminals; }

TEST(UsbPortTest, NeedsUsbPrinterNodes) {
    GTEST_SKIP() << "needs usblink, whose Windows library (SetupAPI) is not built yet, and usblp nodes made on "
                    "pseudo-terminals";
}

TEST(UsbLinkTest, NeedsUsbPrinterNodes) {
    GTEST_SKIP() << "usblink drives Linux usblp nodes; its Windows library is not built yet";
}

TEST(RunPathTest, NeedsElfRunPaths) {
    GTEST_SKIP() << "checks ELF run paths; Windows finds a program's DLLs beside it";
}

}  // namespace
}  // namespace porttest
