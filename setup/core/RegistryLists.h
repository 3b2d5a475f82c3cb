#pragma once
// Enumeration of class keys with the setup tool's fixed name buffers, and
// the lookups built on it. An entry whose name or text does not fit its
// buffer is passed over, as the tool has always treated one.
#include <optional>
#include <string>
#include <vector>

#include "setup/core/SchemaTerms.h"

namespace setup {

inline constexpr DWORD kSubkeyNameChars = 50;
inline constexpr DWORD kValueNameChars = 69;
inline constexpr DWORD kValueTextChars = 69;
// Port values read for comparisons; a longer one (a network port) does not
// fit and compares unequal.
inline constexpr DWORD kShortPortChars = 10;
inline constexpr DWORD kNetworkPortChars = 20;

std::vector<std::string> subkeyNames(const RegKey& key, DWORD nameChars = kSubkeyNameChars);

struct TextValue {
    std::string name;
    std::string text;
};

// The REG_SZ values of the key, in creation order.
std::vector<TextValue> textValues(const RegKey& key);

// The suite's own device keys of an open class key, in enumeration order.
std::vector<std::string> ownDeviceKeysIn(const RegKey& classKey);

// Opens a class key for reading; false when it does not exist.
bool openClassKey(DeviceClass deviceClass, RegKey* key);

// The key of an own device of the class, when it exists.
bool openOwnDeviceKey(DeviceClass deviceClass, const std::string& deviceKeyName, RegKey* key,
                      REGSAM access = RegKey::kEditAccess);

// Whether a logical device name (already lower-cased) is taken by one of the
// suite's own LDN values in the class key.
bool logicalNameTaken(const RegKey& classKey, const std::string& lowerName);

// The port of a printer as read back for a comparison, through a buffer of
// `chars` characters; none when it cannot be read or does not fit.
std::optional<std::string> readPortFor(const RegKey& deviceKey, DWORD chars);

}  // namespace setup
