#include "setup/core/DeviceDeletion.h"

#include <algorithm>
#include <vector>

#include "MessageTexts.h"
#include "RegistryLists.h"
#include "Text.h"
#include "setup/core/DeviceTree.h"

namespace setup {

namespace {

// Removes the printer's drawer: every drawer LDN value naming it, then its
// key. False when something could not be removed.
bool deleteDrawerOf(const std::string& printerKeyName) {
    const std::optional<std::string> drawer = findDrawerOf(printerKeyName);
    if (!drawer) {
        return true;
    }
    RegKey classKey;
    if (classKey.open(platform::HKLM, classKeyPath(DeviceClass::CashDrawer)) != platform::ERROR_SUCCESS) {
        return false;
    }
    bool removed = true;
    for (const std::string& name : logicalNames(DeviceClass::CashDrawer, *drawer)) {
        removed = classKey.deleteValue(name.c_str()) == platform::ERROR_SUCCESS && removed;
    }
    return classKey.deleteSubKey(drawer->c_str()) == platform::ERROR_SUCCESS && removed;
}

}  // namespace

Message deleteQuestion(const std::string& deviceKeyName, std::size_t nameCount) {
    return {fillIn(nameCount < 2 ? text::DeleteOneName : text::DeleteSeveralNames, {deviceKeyName}),
            MessageIcon::Question};
}

Outcome deleteDevice(DeviceClass deviceClass, const std::string& deviceKeyName, const std::string& selectedName,
                     const Confirm& confirm) {
    if (deviceClassOf(deviceKeyName) != deviceClass) {
        return Outcome::refused(fillIn(text::UnknownDevice, {deviceKeyName}));
    }
    const std::vector<std::string> names = logicalNames(deviceClass, deviceKeyName);
    if (!selectedName.empty() ? std::find(names.begin(), names.end(), selectedName) == names.end()
                              : !names.empty()) {
        return Outcome::refused(fillIn(text::NameNotOfDevice, {selectedName, deviceKeyName}));
    }
    const bool ok = confirm(deleteQuestion(deviceKeyName, names.size()));
    if (!ok && names.size() < 2) {
        return Outcome::refused();
    }
    const bool nameOnly = !ok;

    // A drawer outliving its printer would be driven through a port nobody
    // configures any more; it goes first, and if it cannot go, the printer
    // stays too.
    if (!nameOnly && deviceClass == DeviceClass::PosPrinter && !deleteDrawerOf(deviceKeyName)) {
        return Outcome::refused(text::DeleteFail);
    }

    RegKey classKey;
    if (classKey.open(platform::HKLM, classKeyPath(deviceClass)) != platform::ERROR_SUCCESS) {
        return Outcome::refused(text::OpenFail);
    }
    if (nameOnly) {
        return classKey.deleteValue(selectedName.c_str()) == platform::ERROR_SUCCESS
                   ? Outcome::done()
                   : Outcome::refused(text::DeleteFail);
    }
    // An empty selection would name the class key's default value, which is
    // no logical device name.
    bool failed = !selectedName.empty() && classKey.deleteValue(selectedName.c_str()) != platform::ERROR_SUCCESS;
    failed = classKey.deleteSubKey(deviceKeyName.c_str()) != platform::ERROR_SUCCESS || failed;
    for (const std::string& name : names) {
        if (name != selectedName) {
            failed = classKey.deleteValue(name.c_str()) != platform::ERROR_SUCCESS || failed;
        }
    }
    return failed ? Outcome::refused(text::DeleteFail) : Outcome::done();
}

Outcome deleteDevice(const std::string& deviceKeyName, const std::string& selectedName, const Confirm& confirm) {
    const std::optional<DeviceClass> deviceClass = deviceClassOf(deviceKeyName);
    if (!deviceClass) {
        return Outcome::refused(fillIn(text::UnknownDevice, {deviceKeyName}));
    }
    return deleteDevice(*deviceClass, deviceKeyName, selectedName, confirm);
}

}  // namespace setup
