#include "ServiceResolver.h"

#include <algorithm>
#include <cctype>

#include "common/OposConstants.h"
#include "platform/com.h"
#include "platform/registry.h"
#include "schema/RegKey.h"

namespace opos {

namespace {

using platform::DWORD;

// Key names are at most 255 characters; ProgIDs and CLSIDs are shorter.
constexpr DWORD kNameBufferSize = 256;
// A module path: PATH_MAX, terminator included.
constexpr DWORD kPathBufferSize = 4096;

bool sameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// The stored spelling of the subkey `name` of `parent`. Enumerated rather
// than opened so that a name holding '\' can never reach a deeper key.
bool findSubKey(platform::HKey parent, std::string_view name, std::string* stored) {
    char buffer[kNameBufferSize];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof buffer;
        const LONG result = platform::regEnumKeyEx(parent, index, buffer, &length);
        if (result == platform::ERROR_MORE_DATA) {
            continue;
        }
        if (result != platform::ERROR_SUCCESS) {
            return false;
        }
        if (sameName(std::string_view(buffer, length), name)) {
            stored->assign(buffer, length);
            return true;
        }
    }
}

// The default value of `path` below HKCR; empty when it is missing.
std::string classesRootText(const std::string& path, DWORD bufferSize) {
    schema::RegKey key;
    std::string text;
    if (key.open(platform::HKCR, path, platform::KEY_READ) != platform::ERROR_SUCCESS ||
        key.readString("", bufferSize, &text) != platform::ERROR_SUCCESS) {
        return {};
    }
    return text;
}

bool isProgIdName(std::string_view progId) {
    return !progId.empty() && progId.find('\\') == std::string_view::npos;
}

// CLSIDFromProgID: a version-independent ProgID is followed through CurVer
// to the current version's CLSID, falling back to its own.
bool clsidOfProgId(const std::string& progId, std::string* clsid) {
    if (!isProgIdName(progId)) {
        return false;
    }
    const std::string current = classesRootText(progId + "\\CurVer", kNameBufferSize);
    if (isProgIdName(current) &&
        platform::canonicalGuid(classesRootText(current + "\\CLSID", kNameBufferSize), clsid)) {
        return true;
    }
    return platform::canonicalGuid(classesRootText(progId + "\\CLSID", kNameBufferSize), clsid);
}

}  // namespace

LONG locateDevice(DeviceClass deviceClass, std::string_view name, std::string* deviceKey, std::string* progId) {
    const char* className = schema::deviceClassName(deviceClass);
    schema::RegKey classKey;
    if (name.empty() ||
        classKey.open(platform::HKLM, schema::classKeyPath(deviceClass), platform::KEY_READ) != platform::ERROR_SUCCESS) {
        return common::OPOS_OR_REGBADNAME;
    }
    std::string stored;
    if (!findSubKey(classKey.handle(), name, &stored)) {
        std::string target;
        if (classKey.readString(std::string(name).c_str(), kNameBufferSize, &target) != platform::ERROR_SUCCESS ||
            !findSubKey(classKey.handle(), target, &stored)) {
            return common::OPOS_OR_REGBADNAME;
        }
    }

    schema::RegKey device;
    if (device.open(platform::HKLM, schema::deviceKeyPath(className, stored), platform::KEY_READ) !=
        platform::ERROR_SUCCESS) {
        return common::OPOS_OR_REGBADNAME;
    }
    std::string text;
    if (device.readString("", kNameBufferSize, &text) != platform::ERROR_SUCCESS || !isProgIdName(text)) {
        return common::OPOS_OR_REGPROGID;
    }
    *deviceKey = std::move(stored);
    *progId = std::move(text);
    return common::OPOS_SUCCESS;
}

LONG locateService(DeviceClass deviceClass, std::string_view name, ServiceLocation* location) {
    std::string deviceKey;
    std::string progId;
    if (const LONG located = locateDevice(deviceClass, name, &deviceKey, &progId); located != common::OPOS_SUCCESS) {
        return located;
    }
    std::string clsid;
    if (!clsidOfProgId(progId, &clsid)) {
        return common::OPOS_OR_REGPROGID;
    }
    std::string modulePath = classesRootText("CLSID\\" + clsid + "\\InprocServer32", kPathBufferSize);
    if (modulePath.empty()) {
        return common::OPOS_OR_CREATE;
    }
    location->deviceKey = std::move(deviceKey);
    location->clsid = std::move(clsid);
    location->modulePath = std::move(modulePath);
    return common::OPOS_SUCCESS;
}

}  // namespace opos
