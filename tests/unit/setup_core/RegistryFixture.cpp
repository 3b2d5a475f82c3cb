#include "RegistryFixture.h"

namespace setuptest {

using namespace schema;

void RegistryFixture::writePrinter(const std::string& keyName, const std::string& port, const std::string& ldn) {
    RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, printerPath(keyName)), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.writeString(value::Port, port), platform::ERROR_SUCCESS);
    if (!ldn.empty()) {
        writeLdn(DeviceClass::PosPrinter, ldn, keyName);
    }
}

void RegistryFixture::writeLdn(DeviceClass deviceClass, const std::string& name, const std::string& data) {
    RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, classKeyPath(deviceClass)), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.writeString(name.c_str(), data), platform::ERROR_SUCCESS);
}

std::optional<std::string> RegistryFixture::readText(const std::string& keyPath, const char* name) {
    RegKey key;
    std::string text;
    if (key.open(platform::HKLM, keyPath, platform::KEY_READ) != platform::ERROR_SUCCESS ||
        key.readString(name, 255, &text) != platform::ERROR_SUCCESS) {
        return std::nullopt;
    }
    return text;
}

std::optional<DWORD> RegistryFixture::readNumber(const std::string& keyPath, const char* name) {
    RegKey key;
    DWORD number = 0;
    if (key.open(platform::HKLM, keyPath, platform::KEY_READ) != platform::ERROR_SUCCESS ||
        key.readDword(name, &number) != platform::ERROR_SUCCESS) {
        return std::nullopt;
    }
    return number;
}

bool RegistryFixture::keyExists(const std::string& keyPath) {
    RegKey key;
    return key.open(platform::HKLM, keyPath, platform::KEY_READ) == platform::ERROR_SUCCESS;
}

std::vector<std::string> RegistryFixture::valueNames(const std::string& keyPath) {
    std::vector<std::string> names;
    RegKey key;
    if (key.open(platform::HKLM, keyPath, platform::KEY_READ) != platform::ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (platform::regEnumValue(key.handle(), index, name, &length, nullptr, nullptr, nullptr) !=
            platform::ERROR_SUCCESS) {
            return names;
        }
        names.emplace_back(name, length);
    }
}

std::string RegistryFixture::printerPath(const std::string& keyName) {
    return deviceKeyPath(kPosPrinterClass, keyName);
}

std::string RegistryFixture::drawerPath(const std::string& keyName) {
    return deviceKeyPath(kCashDrawerClass, keyName);
}

}  // namespace setuptest
