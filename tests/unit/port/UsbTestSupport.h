#pragma once
// USB tests run the real usblink against pseudo-terminal printers. The
// library the port library loads by name is the one built beside it: it is
// loaded here by path first, and the loader then hands that same library to
// every load by name.
#include <cstdint>
#include <string>

#include "platform/module.h"

namespace porttest {

// The usblink built with the tests, loaded for the life of the process.
platform::HModule usblinkModule();
inline bool usblinkLoaded() { return usblinkModule() != nullptr; }

// Points usblink's device pattern at the test's nodes while it lives.
class UsbDevicePattern {
public:
    explicit UsbDevicePattern(const std::string& pattern);
    ~UsbDevicePattern();
    UsbDevicePattern(const UsbDevicePattern&) = delete;
    UsbDevicePattern& operator=(const UsbDevicePattern&) = delete;
};

// The IEEE 1284 device ID of a printer of the range with internal ID `id`.
std::string usbDeviceId(std::uint32_t id);

}  // namespace porttest
