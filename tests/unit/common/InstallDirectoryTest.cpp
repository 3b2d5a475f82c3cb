#include "common/InstallDirectory.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/registry.h"
#include "schema/RegistrySchema.h"
#include "support/TempRegistry.h"

namespace {

using namespace platform;

TEST(InstallDirectoryTest, StripsQuotesAndKeepsTheDirectoryPart) {
    const struct {
        const char* value;
        const char* directory;
    } cases[] = {
        {"\"/opt/cvopos/unins000\"", "/opt/cvopos/"},
        {"/opt/cvopos/unins000", "/opt/cvopos/"},
        {"\"\"/opt/cvopos/unins000\"\"", "/opt/cvopos/"},
        {"/opt/cvopos/unins000\"", "/opt/cvopos/"},
        {"\"/opt/cvopos/unins000", "/opt/cvopos/"},
        // Only the ends are stripped, so a quote inside the path stays.
        {"\"/opt/\"odd\"/unins000\"", "/opt/\"odd\"/"},
        {"\"/unins000\"", "/"},
        {"/opt/cvopos/", "/opt/cvopos/"},
        {"\"C:\\Program Files\\Corvane\\CVOPOS\\uninstall.exe\"", "C:\\Program Files\\Corvane\\CVOPOS\\"},
        {"C:\\CVOPOS/x86\\unins000.exe", "C:\\CVOPOS/x86\\"},
        {"unins000", ""},
        {"\"\"", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(common::directoryOfUninstallString(c.value), c.directory) << c.value;
    }
}

class InstallDirectoryRegistryTest : public ::testing::Test {
protected:
    void writeUninstallString(const std::string& value, DWORD type = REG_SZ) {
        HKey key = nullptr;
        ASSERT_EQ(regCreateKeyEx(HKLM, schema::kUninstallKeyPath, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        if (type == REG_SZ) {
            ASSERT_EQ(regSetValueEx(key, schema::kUninstallStringValue, REG_SZ,
                                    reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1)),
                      ERROR_SUCCESS);
        } else {
            const DWORD number = 7;
            ASSERT_EQ(regSetValueEx(key, schema::kUninstallStringValue, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&number), sizeof number),
                      ERROR_SUCCESS);
        }
        regCloseKey(key);
    }

    testsupport::TempRegistry m_registry;
};

TEST_F(InstallDirectoryRegistryTest, ReadsTheUninstallEntry) {
    EXPECT_FALSE(common::readInstallDirectory().has_value());
    writeUninstallString("\"/opt/cvopos/unins000\"");
    EXPECT_EQ(common::readInstallDirectory(), std::optional<std::string>("/opt/cvopos/"));
}

TEST_F(InstallDirectoryRegistryTest, RefusesValuesThatAreNotTextOrDoNotFit) {
    writeUninstallString("", REG_DWORD);
    EXPECT_FALSE(common::readInstallDirectory().has_value());

    // 259 characters and the terminator fill the buffer exactly.
    const std::string fits = "/" + std::string(251, 'd') + "/unins0";
    ASSERT_EQ(fits.size(), common::kUninstallStringSize - 1);
    writeUninstallString(fits);
    EXPECT_EQ(common::readInstallDirectory(), std::optional<std::string>("/" + std::string(251, 'd') + "/"));

    writeUninstallString(fits + "0");
    EXPECT_FALSE(common::readInstallDirectory().has_value());
}

}  // namespace
