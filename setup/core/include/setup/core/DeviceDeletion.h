#pragma once
// "Delete Device": removing one logical device name, or a device with all
// its names (and, for a printer, its drawer with the drawer's names).
#include <string>

#include "setup/core/SchemaTerms.h"
#include "setup/core/Outcome.h"

namespace setup {

// The question asked before deleting; `nameCount` is the number of names
// the device has. With fewer than two, OK deletes the device and Cancel
// does nothing; with several, OK deletes the device with all its names and
// Cancel deletes only `selectedName`.
Message deleteQuestion(const std::string& deviceKeyName, std::size_t nameCount);

// Asks through `confirm`, then deletes. `selectedName` must be one of the
// device's names (the first is what the window selects); a device left
// without any name may pass an empty one. A Cancel that deletes nothing
// ends with success false and no message.
Outcome deleteDevice(DeviceClass deviceClass, const std::string& deviceKeyName, const std::string& selectedName,
                     const Confirm& confirm);

// The same for a device named by its key alone, printer or drawer.
Outcome deleteDevice(const std::string& deviceKeyName, const std::string& selectedName, const Confirm& confirm);

}  // namespace setup
