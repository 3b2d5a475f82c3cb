// A stand-in for the maker's USB interface library, for the USB search
// tests. The attached printers are listed in FAKE_USBLINK_PRINTERS as their
// internal IDs, comma-separated ("90" one printer, "90,91" two, empty or
// unset none); it is read at every call, so a test changes it between steps.
// Built once complete and once without OpenDeviceX, to show that a library
// lacking an entry point is refused.
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kFirstHandle = 1000;

std::vector<unsigned> attachedPrinters() {
    std::vector<unsigned> ids;
    const char* list = std::getenv("FAKE_USBLINK_PRINTERS");
    std::string text = list != nullptr ? list : "";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            comma = text.size();
        }
        ids.push_back(static_cast<unsigned>(std::stoul(text.substr(start, comma - start))));
        start = comma + 1;
    }
    return ids;
}

std::set<int>& openHandles() {
    static std::set<int> handles;
    return handles;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int OpenDevice() { return -1; }
__attribute__((visibility("default"))) int OpenDeviceByName(const char*) { return -1; }
__attribute__((visibility("default"))) int OpenDeviceByInternalID(unsigned) { return -1; }
__attribute__((visibility("default"))) int uWrite(int, int, const void*, int) { return 0; }

#ifndef FAKE_USBLINK_WITHOUT_OPEN_DEVICE_X
__attribute__((visibility("default"))) int OpenDeviceX(int number) {
    if (number < 0 || static_cast<std::size_t>(number) >= attachedPrinters().size()) {
        return -1;
    }
    openHandles().insert(kFirstHandle + number);
    return kFirstHandle + number;
}
#endif

__attribute__((visibility("default"))) unsigned GetPrinterInternalID(int handle) {
    const std::vector<unsigned> ids = attachedPrinters();
    const int number = handle - kFirstHandle;
    return number >= 0 && static_cast<std::size_t>(number) < ids.size() ? ids[number] : 0xFFFFFFFFu;
}

__attribute__((visibility("default"))) int CloseDevice(int handle) { return openHandles().erase(handle) == 1; }

// For the tests: how many handles the search left open.
__attribute__((visibility("default"))) int FakeUsbLinkOpenHandles() { return static_cast<int>(openHandles().size()); }

}  // extern "C"
