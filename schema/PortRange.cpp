#include "schema/PortRange.h"

#include <algorithm>

#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace schema {

PortRange readPortRange() {
    RegKey key;
    if (key.open(platform::HKLM, kPortRangePath, platform::KEY_READ) != platform::ERROR_SUCCESS) {
        return {kDefaultComMax, kDefaultLptMax};
    }
    PortRange range{0, 0};
    DWORD stored = 0;
    if (key.readDword(kComMaxValue, &stored) == platform::ERROR_SUCCESS) {
        range.comMax = std::min(stored, kHighestComPort);
    }
    if (key.readDword(kLptMaxValue, &stored) == platform::ERROR_SUCCESS) {
        range.lptMax = std::min(stored, kHighestLptPort);
    }
    return range;
}

platform::LONG writePortRange(const PortRange& range) {
    RegKey key;
    platform::LONG result = key.create(platform::HKLM, kPortRangePath);
    if (result == platform::ERROR_SUCCESS) result = key.writeDword(kComMaxValue, range.comMax);
    if (result == platform::ERROR_SUCCESS) result = key.writeDword(kLptMaxValue, range.lptMax);
    return result;
}

}  // namespace schema
