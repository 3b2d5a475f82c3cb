#include "UsbLink.h"

#include "MessageTexts.h"

namespace setup {

namespace {

// Every entry point the search insists on, in the order they are resolved,
// with the message for its absence (spelling as installers know it).
struct EntryPoint {
    const char* name;
    const char* missing;
};
constexpr EntryPoint kEntryPoints[] = {
    {"OpenDevice", "Loadingt OpenDevice fail!"},
    {"OpenDeviceByName", "Loading OpenDevicebyName fail!"},
    {"OpenDeviceByInternalID", "Loading OpenDeviceByInternalID fail!"},
    {"GetPrinterInternalID", "Loading GetPrinterInternalID fail!"},
    {"CloseDevice", "Loading CloseDevice fail!"},
    {"OpenDeviceX", "Loading OpenDeviceX fail!"},
    {"uWrite", "Loading uWrite fail!"},
};

}  // namespace

UsbLink::~UsbLink() {
    if (m_module != nullptr) {
        platform::freeLibrary(m_module);
    }
}

Outcome UsbLink::load(const std::string& library) {
    m_module = platform::loadLibrary(library);
    if (m_module == nullptr) {
        return Outcome::refused(text::LoadUsbLinkFail);
    }
    for (const EntryPoint& entry : kEntryPoints) {
        if (platform::getProcAddress(m_module, entry.name) == nullptr) {
            return Outcome::refused(entry.missing);
        }
    }
    m_openDeviceX = platform::getProcAddressAs<USBLINK_OPENDEVICEX>(m_module, "OpenDeviceX");
    m_getPrinterInternalId =
        platform::getProcAddressAs<USBLINK_GETPRINTERINTERNALID>(m_module, "GetPrinterInternalID");
    m_closeDevice = platform::getProcAddressAs<USBLINK_CLOSEDEVICE>(m_module, "CloseDevice");
    return Outcome::done();
}

int UsbLink::openFirstDevice() const {
    const int first = openDeviceX(0);
    return first != kNoDevice ? first : openDeviceX(1);
}

}  // namespace setup
