#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "RegistryTestUtil.h"
#include "platform/environment.h"
#include "platform/registry.h"
#include "support/TempRegistry.h"

using namespace platform;
using testsupport::createKey;
using testsupport::readBytes;
using testsupport::setDword;
using testsupport::setString;
using testsupport::subkeyNames;
using testsupport::valueNames;
using ::testing::ElementsAre;

namespace {

bool fileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

TEST(RegistryStore, MissingStoreReadsAsEmptyAndTheFirstWriteCreatesIt) {
    testsupport::TempRegistry registry;
    const std::string nested = registry.directory() + "/var/lib/cvopos/registry.db";
    setEnvironmentVariable("CVOPOS_REGISTRY", nested.c_str());

    HKey key = nullptr;
    EXPECT_EQ(regOpenKeyEx(HKLM, "SOFTWARE", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    char name[32];
    DWORD length = sizeof name;
    EXPECT_EQ(regEnumKeyEx(HKLM, 0, name, &length), ERROR_NO_MORE_ITEMS);
    DWORD subkeys = 9;
    DWORD values = 9;
    EXPECT_EQ(regQueryInfoKey(HKCR, &subkeys, &values), ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(readBytes(HKLM, "Anything"), "error 2");
    EXPECT_EQ(regDeleteValue(HKLM, "Anything"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(regDeleteTree(HKLM, "SOFTWARE"), ERROR_FILE_NOT_FOUND);
    std::string text;
    EXPECT_EQ(regExportKey("HKLM\\SOFTWARE", &text), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fileExists(nested));

    key = createKey(HKLM, "SOFTWARE\\Corvane");
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(fileExists(nested));
    regCloseKey(key);
    EXPECT_EQ(regOpenKeyEx(HKLM, "SOFTWARE\\Corvane", KEY_READ, &key), ERROR_SUCCESS);
    regCloseKey(key);
}

TEST(RegistryStore, RootKeysAreSeparateTrees) {
    testsupport::TempRegistry registry;
    HKey machine = createKey(HKLM, "Shared");
    HKey classes = createKey(HKCR, "Shared");
    ASSERT_NE(machine, nullptr);
    ASSERT_NE(classes, nullptr);
    ASSERT_EQ(setString(machine, "Where", "machine"), ERROR_SUCCESS);
    ASSERT_EQ(setString(classes, "Where", "classes"), ERROR_SUCCESS);
    regCloseKey(createKey(HKCR, "OnlyClasses"));

    EXPECT_EQ(readBytes(machine, "Where"), std::string("machine", 8));
    EXPECT_EQ(readBytes(classes, "Where"), std::string("classes", 8));
    EXPECT_THAT(subkeyNames(HKLM), ElementsAre("Shared"));
    EXPECT_THAT(subkeyNames(HKCR), ElementsAre("OnlyClasses", "Shared"));
    regCloseKey(machine);
    regCloseKey(classes);
}

TEST(RegistryStore, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
    testsupport::TempRegistry registry;
    HKey key = createKey(HKLM, "Software\\Corvane");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(setString(key, "Port", "COM1"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "PORT", "COM2"), ERROR_SUCCESS);

    HKey again = nullptr;
    bool created = true;
    ASSERT_EQ(regCreateKeyEx(HKLM, "SOFTWARE\\CORVANE", KEY_ALL_ACCESS, &again, &created), ERROR_SUCCESS);
    EXPECT_FALSE(created);
    EXPECT_EQ(readBytes(again, "port"), std::string("COM2", 5));
    EXPECT_THAT(valueNames(again), ElementsAre("Port"));
    EXPECT_THAT(subkeyNames(HKLM), ElementsAre("Software"));
    HKey software = nullptr;
    ASSERT_EQ(regOpenKeyEx(HKLM, "software", KEY_READ, &software), ERROR_SUCCESS);
    EXPECT_THAT(subkeyNames(software), ElementsAre("Corvane"));
    regCloseKey(software);
    regCloseKey(again);
    regCloseKey(key);
}

TEST(RegistryStore, SubkeysEnumerateInUpperCaseOrder) {
    testsupport::TempRegistry registry;
    HKey key = createKey(HKLM, "Order");
    ASSERT_NE(key, nullptr);
    for (const char* name : {"zeta", "A_b", "beta", "Alpha", "Ab"}) {
        regCloseKey(createKey(key, name));
    }
    // In upper case '_' sorts after the letters.
    EXPECT_THAT(subkeyNames(key), ElementsAre("Ab", "Alpha", "A_b", "beta", "zeta"));

    char name[8];
    std::memset(name, 'x', sizeof name);
    DWORD length = 2;  // "Ab" needs 3 with its NUL
    EXPECT_EQ(regEnumKeyEx(key, 0, name, &length), ERROR_MORE_DATA);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(std::string(name, sizeof name), std::string(8, 'x'));
    length = 3;
    EXPECT_EQ(regEnumKeyEx(key, 0, name, &length), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Ab");
    length = sizeof name;
    EXPECT_EQ(regEnumKeyEx(key, 5, name, &length), ERROR_NO_MORE_ITEMS);
    regCloseKey(key);
}

TEST(RegistryStore, ValuesEnumerateInCreationOrder) {
    testsupport::TempRegistry registry;
    HKey key = createKey(HKLM, "Values");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(setString(key, "c", "1"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "a", "2"), ERROR_SUCCESS);
    ASSERT_EQ(setDword(key, "b", 3), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "A", "rewritten"), ERROR_SUCCESS);
    EXPECT_THAT(valueNames(key), ElementsAre("c", "a", "b"));

    ASSERT_EQ(regDeleteValue(key, "C"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "c", "back"), ERROR_SUCCESS);
    EXPECT_THAT(valueNames(key), ElementsAre("a", "b", "c"));
    DWORD subkeys = 9;
    DWORD values = 0;
    EXPECT_EQ(regQueryInfoKey(key, &subkeys, &values), ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(regDeleteValue(key, "missing"), ERROR_FILE_NOT_FOUND);
    regCloseKey(key);
}

TEST(RegistryStore, StringsCountTheirNulAndDwordsAreFourBytes) {
    testsupport::TempRegistry registry;
    HKey key = createKey(HKLM, "Data");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(regSetValueEx(key, "NoNul", REG_SZ, reinterpret_cast<const BYTE*>("COM1"), 4), ERROR_SUCCESS);
    ASSERT_EQ(regSetValueEx(key, "Empty", REG_SZ, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, nullptr, "SOCorvane.posprinter.1"), ERROR_SUCCESS);
    ASSERT_EQ(setDword(key, "Baudrate", 0x12345678), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(regQueryValueEx(key, "NoNul", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 5u);
    BYTE exact[5];
    EXPECT_EQ(regQueryValueEx(key, "NoNul", nullptr, exact, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(exact), 5), std::string("COM1", 5));

    BYTE small[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    size = sizeof small;
    EXPECT_EQ(regQueryValueEx(key, "NoNul", &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(small[0], 0xAA);
    EXPECT_EQ(small[3], 0xAA);

    EXPECT_EQ(readBytes(key, "Empty"), std::string(1, '\0'));
    EXPECT_EQ(readBytes(key, ""), std::string("SOCorvane.posprinter.1", 23));
    EXPECT_EQ(readBytes(key, "baudrate", &type), std::string("\x78\x56\x34\x12", 4));
    EXPECT_EQ(type, REG_DWORD);

    const BYTE three[3] = {1, 2, 3};
    EXPECT_EQ(regSetValueEx(key, "Short", REG_DWORD, three, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(regSetValueEx(key, "Binary", 3, three, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(regQueryValueEx(key, "Short", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(regQueryValueEx(key, "NoNul", nullptr, exact, nullptr), ERROR_INVALID_PARAMETER);
    regCloseKey(key);
}

TEST(RegistryStore, EnumValueWithASmallBufferCopiesNothing) {
    testsupport::TempRegistry registry;
    HKey key = createKey(HKLM, "Enum");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(setString(key, "Description", "Receipt printer"), ERROR_SUCCESS);

    char name[32];
    BYTE data[32];
    std::memset(name, 'x', sizeof name);
    std::memset(data, 0xAA, sizeof data);
    DWORD nameLength = 5;
    DWORD dataLength = sizeof data;
    EXPECT_EQ(regEnumValue(key, 0, name, &nameLength, nullptr, data, &dataLength), ERROR_MORE_DATA);
    EXPECT_EQ(nameLength, 11u);
    EXPECT_EQ(dataLength, 16u);
    EXPECT_EQ(name[0], 'x');
    EXPECT_EQ(data[0], 0xAA);

    nameLength = sizeof name;
    dataLength = 15;
    EXPECT_EQ(regEnumValue(key, 0, name, &nameLength, nullptr, data, &dataLength), ERROR_MORE_DATA);
    EXPECT_EQ(dataLength, 16u);
    EXPECT_EQ(name[0], 'x');
    EXPECT_EQ(data[0], 0xAA);

    nameLength = 12;
    dataLength = 16;
    DWORD type = 0;
    EXPECT_EQ(regEnumValue(key, 0, name, &nameLength, &type, data, &dataLength), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Description");
    EXPECT_EQ(nameLength, 11u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "Receipt printer");
    nameLength = sizeof name;
    EXPECT_EQ(regEnumValue(key, 1, name, &nameLength, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    regCloseKey(key);
}

TEST(RegistryStore, DeletingKeys) {
    testsupport::TempRegistry registry;
    HKey parent = createKey(HKLM, "Devices");
    HKey child = createKey(parent, "Printer");
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(setString(parent, "Kept", "no"), ERROR_SUCCESS);
    ASSERT_EQ(setString(child, "Port", "COM1"), ERROR_SUCCESS);

    EXPECT_EQ(regDeleteKey(HKLM, "Devices"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(regDeleteKey(HKLM, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(regDeleteKey(HKLM, "Devices\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(regDeleteKey(parent, "PRINTER"), ERROR_SUCCESS);
    EXPECT_EQ(regDeleteKey(HKLM, "Devices"), ERROR_SUCCESS);
    regCloseKey(child);
    regCloseKey(parent);

    parent = createKey(HKLM, "Devices");
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(readBytes(parent, "Kept"), "error 2");
    ASSERT_EQ(setString(parent, "Value", "x"), ERROR_SUCCESS);
    regCloseKey(createKey(parent, "A\\B\\C"));
    regCloseKey(createKey(parent, "D"));
    EXPECT_EQ(regDeleteTree(parent, "a"), ERROR_SUCCESS);
    EXPECT_THAT(subkeyNames(parent), ElementsAre("D"));
    EXPECT_EQ(regDeleteTree(parent, nullptr), ERROR_SUCCESS);
    DWORD subkeys = 9;
    DWORD values = 9;
    EXPECT_EQ(regQueryInfoKey(parent, &subkeys, &values), ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 0u);
    regCloseKey(parent);
}

TEST(RegistryStore, HandlesOfDeletedKeysStayDeleted) {
    testsupport::TempRegistry registry;
    HKey key = createKey(HKLM, "Gone");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(setString(key, "Port", "COM1"), ERROR_SUCCESS);
    ASSERT_EQ(regDeleteKey(HKLM, "Gone"), ERROR_SUCCESS);
    EXPECT_EQ(readBytes(key, "Port"), "error 1018");
    EXPECT_EQ(setString(key, "Port", "COM2"), ERROR_KEY_DELETED);

    HKey recreated = createKey(HKLM, "Gone");
    ASSERT_NE(recreated, nullptr);
    EXPECT_EQ(setString(key, "Port", "COM2"), ERROR_KEY_DELETED);
    DWORD count = 0;
    EXPECT_EQ(regQueryInfoKey(key, &count, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(regQueryInfoKey(recreated, &count, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(regCloseKey(key), ERROR_SUCCESS);

    EXPECT_EQ(regCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(readBytes(key, "Port"), "error 6");
    EXPECT_EQ(readBytes(nullptr, "Port"), "error 6");
    EXPECT_EQ(regCloseKey(HKLM), ERROR_SUCCESS);
    EXPECT_EQ(setString(HKLM, "StillUsable", "yes"), ERROR_SUCCESS);
    regCloseKey(recreated);
}

TEST(RegistryStore, AccessRightsOfAHandle) {
    testsupport::TempRegistry registry;
    HKey writer = createKey(HKLM, "Rights\\Existing");
    ASSERT_NE(writer, nullptr);
    ASSERT_EQ(setString(writer, "Port", "COM1"), ERROR_SUCCESS);
    regCloseKey(writer);

    HKey reader = nullptr;
    ASSERT_EQ(regOpenKeyEx(HKLM, "Rights", KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(setString(reader, "Port", "COM2"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(regDeleteValue(reader, "Port"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(regDeleteKey(reader, "Existing"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(regDeleteTree(reader, "Existing"), ERROR_ACCESS_DENIED);
    HKey sub = nullptr;
    EXPECT_EQ(regCreateKeyEx(reader, "New", KEY_ALL_ACCESS, &sub), ERROR_ACCESS_DENIED);
    EXPECT_EQ(regCreateKeyEx(reader, "existing", KEY_ALL_ACCESS, &sub), ERROR_SUCCESS);
    regCloseKey(sub);
    regCloseKey(reader);

    HKey writeOnly = nullptr;
    ASSERT_EQ(regOpenKeyEx(HKLM, "Rights\\Existing", KEY_WRITE, &writeOnly), ERROR_SUCCESS);
    EXPECT_EQ(readBytes(writeOnly, "Port"), "error 5");
    char name[16];
    DWORD length = sizeof name;
    EXPECT_EQ(regEnumKeyEx(writeOnly, 0, name, &length), ERROR_ACCESS_DENIED);
    EXPECT_EQ(setString(writeOnly, "Port", "COM3"), ERROR_SUCCESS);
    regCloseKey(writeOnly);
}

TEST(RegistryStore, InvalidNamesAreRefused) {
    testsupport::TempRegistry registry;
    HKey key = nullptr;
    EXPECT_EQ(regCreateKeyEx(HKLM, "A\\\\B", KEY_ALL_ACCESS, &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(regCreateKeyEx(HKLM, "\\A", KEY_ALL_ACCESS, &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(regCreateKeyEx(HKLM, std::string(256, 'k').c_str(), KEY_ALL_ACCESS, &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(regCreateKeyEx(HKLM, "Line\nBreak", KEY_ALL_ACCESS, &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(setString(HKLM, "Line\nBreak", "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(setString(HKLM, std::string(16384, 'v').c_str(), "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(setString(HKLM, std::string(16383, 'v').c_str(), "x"), ERROR_SUCCESS);

    ASSERT_EQ(regCreateKeyEx(HKLM, (std::string(255, 'k') + "\\Trailing\\").c_str(), KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    regCloseKey(key);
    EXPECT_EQ(regOpenKeyEx(HKLM, (std::string(255, 'K') + "\\TRAILING").c_str(), KEY_READ, &key), ERROR_SUCCESS);
    regCloseKey(key);
}

TEST(RegistryStore, SplitRootPath) {
    HKey root = nullptr;
    std::string subKey;
    EXPECT_TRUE(regSplitRootPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\X", &root, &subKey));
    EXPECT_EQ(root, HKLM);
    EXPECT_EQ(subKey, "SOFTWARE\\X");
    EXPECT_TRUE(regSplitRootPath("hklm\\A", &root, &subKey));
    EXPECT_EQ(root, HKLM);
    EXPECT_EQ(subKey, "A");
    EXPECT_TRUE(regSplitRootPath("Hkey_Classes_Root", &root, &subKey));
    EXPECT_EQ(root, HKCR);
    EXPECT_EQ(subKey, "");
    EXPECT_TRUE(regSplitRootPath("HKCR\\CLSID\\{1}", &root, &subKey));
    EXPECT_EQ(root, HKCR);
    EXPECT_EQ(subKey, "CLSID\\{1}");
    EXPECT_FALSE(regSplitRootPath("HKEY_CURRENT_USER\\A", &root, &subKey));
    EXPECT_FALSE(regSplitRootPath("HKLMX\\A", &root, &subKey));
    EXPECT_FALSE(regSplitRootPath("", &root, &subKey));
}

TEST(RegistryStore, AHandleStaysWithTheStoreItWasOpenedIn) {
    testsupport::TempRegistry first;
    HKey key = createKey(HKLM, "Device");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(setString(key, "Port", "COM1"), ERROR_SUCCESS);
    {
        testsupport::TempRegistry second;
        EXPECT_THAT(subkeyNames(HKLM), ::testing::IsEmpty());
        EXPECT_EQ(readBytes(key, "Port"), std::string("COM1", 5));
        EXPECT_EQ(setString(key, "Port", "COM2"), ERROR_SUCCESS);
        EXPECT_THAT(subkeyNames(HKLM), ::testing::IsEmpty());
    }
    HKey reopened = nullptr;
    ASSERT_EQ(regOpenKeyEx(HKLM, "Device", KEY_READ, &reopened), ERROR_SUCCESS);
    EXPECT_EQ(readBytes(reopened, "Port"), std::string("COM2", 5));
    regCloseKey(reopened);
    regCloseKey(key);
}

}  // namespace
