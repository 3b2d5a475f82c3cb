#include "setup/core/DeviceTree.h"

#include "MessageTexts.h"
#include "RegistryLists.h"
#include "platform/registry.h"

namespace setup {

namespace {

constexpr DWORD kDrawerNameBufferSize = 30;

}  // namespace

std::vector<std::string> ownDeviceKeys(DeviceClass deviceClass) {
    RegKey classKey;
    return openClassKey(deviceClass, &classKey) ? ownDeviceKeysIn(classKey) : std::vector<std::string>{};
}

std::vector<std::string> logicalNames(DeviceClass deviceClass, const std::string& deviceKeyName) {
    std::vector<std::string> names;
    RegKey classKey;
    if (!openClassKey(deviceClass, &classKey)) {
        return names;
    }
    for (TextValue& value : textValues(classKey)) {
        if (value.text == deviceKeyName) {
            names.push_back(std::move(value.name));
        }
    }
    return names;
}

std::optional<std::string> findDrawerOf(const std::string& printerKeyName) {
    RegKey classKey;
    if (!openClassKey(DeviceClass::CashDrawer, &classKey)) {
        return std::nullopt;
    }
    for (const std::string& drawer : ownDeviceKeysIn(classKey)) {
        RegKey drawerKey;
        std::string name;
        if (openOwnDeviceKey(DeviceClass::CashDrawer, drawer, &drawerKey, platform::KEY_READ) &&
            drawerKey.readString(value::Name, kDrawerNameBufferSize, &name) == platform::ERROR_SUCCESS &&
            name == printerKeyName) {
            return drawer;
        }
    }
    return std::nullopt;
}

std::optional<DeviceClass> deviceClassOf(const std::string& deviceKeyName) {
    for (DeviceClass deviceClass : {DeviceClass::PosPrinter, DeviceClass::CashDrawer}) {
        for (const std::string& key : ownDeviceKeys(deviceClass)) {
            if (key == deviceKeyName) {
                return deviceClass;
            }
        }
    }
    return std::nullopt;
}

std::optional<DeviceView> viewDevice(const std::string& deviceKeyName) {
    const std::optional<DeviceClass> deviceClass = deviceClassOf(deviceKeyName);
    RegKey key;
    if (!deviceClass || !openOwnDeviceKey(*deviceClass, deviceKeyName, &key, platform::KEY_READ)) {
        return std::nullopt;
    }
    DeviceView view;
    view.deviceClass = *deviceClass;
    view.keyName = deviceKeyName;
    view.logicalNames = logicalNames(*deviceClass, deviceKeyName);
    view.portRead = readPortSettings(key, &view.settings) == platform::ERROR_SUCCESS;
    if (*deviceClass == DeviceClass::CashDrawer) {
        DWORD stored = 0;
        view.openSingle = key.readDword(value::OpenSingle, &stored) == platform::ERROR_SUCCESS && stored == 1
                              ? OpenSignalHigh
                              : OpenSignalLow;
        view.pinSingle = key.readDword(value::PinSingle, &stored) == platform::ERROR_SUCCESS && stored == 1
                             ? DrawerPin5
                             : DrawerPin2;
    }
    return view;
}

bool isAdministrator() { return platform::regStoreWritable(); }

Outcome checkAdministrator() {
    return isAdministrator() ? Outcome::done() : Outcome::refused(text::NotAdministrator, MessageIcon::Error);
}

}  // namespace setup
