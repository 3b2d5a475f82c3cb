#pragma once
// A temporary registry for the setup core tests, with direct reads and
// writes that bypass the core: devices written by hand stand for what other
// tools (or other makers) left, and the reads check what the core wrote.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"
#include "support/TempRegistry.h"

namespace setuptest {

using schema::DWORD;

class RegistryFixture : public ::testing::Test {
protected:
    testsupport::TempRegistry registry;

    // A printer key with a Port value only, and an LDN value for it.
    static void writePrinter(const std::string& keyName, const std::string& port, const std::string& ldn = "");
    static void writeLdn(schema::DeviceClass deviceClass, const std::string& name, const std::string& data);

    static std::optional<std::string> readText(const std::string& keyPath, const char* name);
    static std::optional<DWORD> readNumber(const std::string& keyPath, const char* name);
    static bool keyExists(const std::string& keyPath);
    static std::vector<std::string> valueNames(const std::string& keyPath);

    static std::string printerPath(const std::string& keyName);
    static std::string drawerPath(const std::string& keyName);
};

}  // namespace setuptest
