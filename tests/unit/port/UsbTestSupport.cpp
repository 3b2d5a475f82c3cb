#include "UsbTestSupport.h"

#include <cstdlib>

namespace porttest {

platform::HModule usblinkModule() {
    static const platform::HModule module = platform::loadLibrary(CVOPOS_USBLINK_PATH);
    return module;
}

UsbDevicePattern::UsbDevicePattern(const std::string& pattern) { setenv("CVOPOS_USB_DEVICES", pattern.c_str(), 1); }

UsbDevicePattern::~UsbDevicePattern() { unsetenv("CVOPOS_USB_DEVICES"); }

std::string usbDeviceId(std::uint32_t id) {
    return "MFG:Corvane;MDL:RX-K92;CMD:ESC/POS;CLS:PRINTER;IID:" + std::to_string(id) + ";";
}

}  // namespace porttest
