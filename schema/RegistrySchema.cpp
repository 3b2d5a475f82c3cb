#include "schema/RegistrySchema.h"

namespace schema {

const char* deviceClassName(DeviceClass deviceClass) {
    return deviceClass == DeviceClass::PosPrinter ? kPosPrinterClass : kCashDrawerClass;
}

std::string classKeyPath(std::string_view className) {
    std::string path = kServiceOposPath;
    path += '\\';
    path += className;
    return path;
}

std::string classKeyPath(DeviceClass deviceClass) { return classKeyPath(deviceClassName(deviceClass)); }

std::string deviceKeyPath(std::string_view className, std::string_view deviceName) {
    std::string path = classKeyPath(className);
    path += '\\';
    path += deviceName;
    return path;
}

bool isOwnDeviceName(std::string_view deviceKeyName) {
    for (const char* prefix : kModelFamilyPrefixes) {
        if (deviceKeyName.substr(0, 2) == std::string_view(prefix, 2)) {
            return true;
        }
    }
    return false;
}

}  // namespace schema
