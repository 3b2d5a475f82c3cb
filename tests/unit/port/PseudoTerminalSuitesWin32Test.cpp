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
    GTEST_SKIP() << "needs USB printers to talk to: Wine has no USB printing-class devices and no way to stand "
                    "one in, so only the loading of usblink and the printer search run here";
}

TEST(UsbLinkTest, NeedsUsbPrinterNodes) {
    GTEST_SKIP() << "needs USB printing-class devices, which Wine has none of; the device ID reading and the "
                    "choice among printers run in UsbDeviceId";
}

TEST(RunPathTest, NeedsElfRunPaths) {
    GTEST_SKIP() << "checks ELF run paths; Windows finds a program's DLLs beside it";
}

}  // namespace
}  // namespace porttest
