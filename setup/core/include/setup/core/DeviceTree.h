#pragma once
// What the tool shows: the suite's own devices of each class, their logical
// device names and settings. Everything is read afresh from the registry at
// each call; nothing is remembered between calls.
#include <optional>
#include <string>
#include <vector>

#include "setup/core/SchemaTerms.h"
#include "setup/core/Outcome.h"

namespace setup {

// Own device keys of the class in registry order; other makers' devices in
// the same class key are never listed.
std::vector<std::string> ownDeviceKeys(DeviceClass deviceClass);

// The logical device names whose LDN value names the device, in the order
// the values were written.
std::vector<std::string> logicalNames(DeviceClass deviceClass, const std::string& deviceKeyName);

// The drawer driven through the printer: the first own drawer whose Name
// value is the printer's key name.
std::optional<std::string> findDrawerOf(const std::string& printerKeyName);

// The class of an own device key: printers are looked for first, as the
// tool lists them first.
std::optional<DeviceClass> deviceClassOf(const std::string& deviceKeyName);

struct DeviceView {
    DeviceClass deviceClass = DeviceClass::PosPrinter;
    std::string keyName;
    std::vector<std::string> logicalNames;
    bool portRead = false;  // false when the key has no readable Port
    PortSettings settings;
    // Drawers only: what the "Open Status Phase" and "Connector Pin" radios
    // show (High only for 1, pin 5 only for 1).
    DWORD openSingle = OpenSignalLow;
    DWORD pinSingle = DrawerPin2;
};

std::optional<DeviceView> viewDevice(const std::string& deviceKeyName);

// Whether the current user may change the configuration. Users who may not
// still see every device and setting.
bool isAdministrator();

// Refused with a message for users who may not change the configuration:
// what a front end says instead of offering the add, delete, modify and
// port range commands.
Outcome checkAdministrator();

}  // namespace setup
