#include "UsbPorts.h"

#include <charconv>
#include <set>
#include <string>

#include "RegistryLists.h"
#include "Text.h"

namespace setup {

namespace {

constexpr int kHighestUsbPort = 49;
// The numbers remembered while looking for a free one; more printers than
// this cannot be told apart, and eight is the most there can be anyway.
constexpr std::size_t kRememberedUsbPorts = 50;

template <typename Visit>
void forEachPrinterPort(Visit visit) {
    RegKey classKey;
    if (!openClassKey(DeviceClass::PosPrinter, &classKey)) {
        return;
    }
    for (const std::string& name : ownDeviceKeysIn(classKey)) {
        RegKey key;
        if (openOwnDeviceKey(DeviceClass::PosPrinter, name, &key, platform::KEY_READ)) {
            if (auto port = readPortFor(key, kShortPortChars)) {
                visit(*port);
            }
        }
    }
}

}  // namespace

int countUsbPrinters() {
    int count = 0;
    forEachPrinterPort([&count](const std::string& port) {
        if (toUpperAscii(port).rfind("USB", 0) == 0) {
            ++count;
        }
    });
    return count;
}

std::optional<int> nextUsbPortNumber() {
    std::set<int> used;
    forEachPrinterPort([&used](const std::string& port) {
        if (port.rfind("USB", 0) != 0 || used.size() >= kRememberedUsbPorts) {
            return;
        }
        int number = 0;
        const char* digits = port.c_str() + 3;
        auto [end, error] = std::from_chars(digits, port.c_str() + port.size(), number);
        if (error == std::errc() && end != digits) {
            used.insert(number);
        }
    });
    for (int number = 1; number <= kHighestUsbPort; ++number) {
        if (used.count(number) == 0) {
            return number;
        }
    }
    return std::nullopt;
}

}  // namespace setup
