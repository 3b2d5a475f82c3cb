#include "RegistrySweep.h"

#include <set>
#include <string_view>

#include "platform/registry.h"
#include "schema/RegistrySchema.h"

namespace cleaner {

namespace {

using platform::DWORD;
using platform::HKey;

// The buffers the sweep has always listed with. A value whose name or text
// does not fit is not examined and stays.
constexpr DWORD kValueNameChars = 69;
constexpr DWORD kValueDataChars = 69;
constexpr DWORD kSubkeyNameChars = 90;

bool carriesMarker(std::string_view text, const std::vector<const char*>& markers) {
    for (const char* marker : markers) {
        if (text.find(marker) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

Listed listed(platform::LONG result) {
    if (result == platform::ERROR_SUCCESS) {
        return Listed::Entry;
    }
    return result == platform::ERROR_MORE_DATA ? Listed::Unreadable : Listed::End;
}

void sweepValues(HKey key, const std::vector<const char*>& markers) {
    sweepEntries(
        [&](DWORD index, std::string* name, bool* marked) {
            char nameBuffer[kValueNameChars];
            platform::BYTE data[kValueDataChars];
            DWORD nameLength = sizeof nameBuffer;
            DWORD dataLength = sizeof data;
            DWORD type = platform::REG_NONE;
            const Listed found = listed(
                platform::regEnumValue(key, index, nameBuffer, &nameLength, &type, data, &dataLength));
            if (found == Listed::Entry) {
                std::string_view text(reinterpret_cast<const char*>(data), dataLength);
                text = text.substr(0, text.find('\0'));
                name->assign(nameBuffer, nameLength);
                *marked = carriesMarker(text, markers);
            }
            return found;
        },
        [&](const std::string& name) { return platform::regDeleteValue(key, name.c_str()) == platform::ERROR_SUCCESS; });
}

void sweepSubkeys(HKey key, const std::vector<const char*>& markers) {
    sweepEntries(
        [&](DWORD index, std::string* name, bool* marked) {
            char nameBuffer[kSubkeyNameChars];
            DWORD nameLength = sizeof nameBuffer;
            const Listed found = listed(platform::regEnumKeyEx(key, index, nameBuffer, &nameLength));
            if (found == Listed::Entry) {
                name->assign(nameBuffer, nameLength);
                *marked = carriesMarker(*name, markers);
            }
            return found;
        },
        [&](const std::string& name) { return platform::regDeleteKey(key, name.c_str()) == platform::ERROR_SUCCESS; });
}

}  // namespace

const std::array<SweepPass, 5>& sweepPasses() {
    static const std::array<SweepPass, 5> passes = {{
        {schema::classKeyPath(schema::DeviceClass::PosPrinter), {"RX-", "RT-B", "RK-E"}},
        {schema::kServiceInfoPath, {"Corvane", "Tessel"}},
        {schema::kProductKeyPath, {schema::kProductVersion}},
        {schema::kVendorKeyPath, {schema::kProductKeyName}},
        // Drawer keys are named after their printer; only RX- drawers are
        // swept, as the cleaner always did.
        {schema::classKeyPath(schema::DeviceClass::CashDrawer), {"RX-"}},
    }};
    return passes;
}

void sweepEntries(const EntryAt& entryAt, const EraseEntry& erase) {
    std::set<std::string> passedOver;
    DWORD index = 0;
    for (;;) {
        std::string name;
        bool marked = false;
        const Listed found = entryAt(index, &name, &marked);
        if (found == Listed::End) {
            return;
        }
        if (found == Listed::Entry && marked && passedOver.count(name) == 0) {
            if (erase(name)) {
                index = 0;
                continue;
            }
            passedOver.insert(name);
        }
        ++index;
    }
}

int sweepRegistry() {
    int completed = 0;
    for (const SweepPass& pass : sweepPasses()) {
        HKey key = nullptr;
        if (platform::regOpenKeyEx(platform::HKLM, pass.keyPath.c_str(), platform::KEY_ALL_ACCESS, &key) !=
            platform::ERROR_SUCCESS) {
            break;
        }
        sweepValues(key, pass.markers);
        sweepSubkeys(key, pass.markers);
        platform::regCloseKey(key);
        ++completed;
    }
    return completed;
}

}  // namespace cleaner
