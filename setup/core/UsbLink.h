#pragma once
// The USB interface library, loaded for one operation: every entry point the
// setup tool insists on is resolved at load, and the library is unloaded
// when the object goes.
#include <string>

#include "platform/module.h"
#include "setup/core/Outcome.h"
#include "usblink/usblink.h"

namespace setup {

using platform::DWORD;

class UsbLink {
public:
    static constexpr int kNoDevice = -1;

    UsbLink() = default;
    ~UsbLink();
    UsbLink(const UsbLink&) = delete;
    UsbLink& operator=(const UsbLink&) = delete;

    // Refused with the message naming the library or the first missing
    // entry point.
    Outcome load(const std::string& library);

    int openDeviceX(int number) const { return m_openDeviceX(number); }
    DWORD printerInternalId(int handle) const { return m_getPrinterInternalId(handle); }
    void closeDevice(int handle) const { m_closeDevice(handle); }

    // The first attached printer: device 0, or device 1 when there is no
    // device 0. kNoDevice when neither opens.
    int openFirstDevice() const;

private:
    platform::HModule m_module = nullptr;
    USBLINK_OPENDEVICEX m_openDeviceX = nullptr;
    USBLINK_GETPRINTERINTERNALID m_getPrinterInternalId = nullptr;
    USBLINK_CLOSEDEVICE m_closeDevice = nullptr;
};

}  // namespace setup
