#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "RegistryTestUtil.h"
#include "platform/registry.h"
#include "support/TempRegistry.h"

using namespace platform;
using testsupport::createKey;
using testsupport::readBytes;
using testsupport::setDword;
using testsupport::setString;
using testsupport::subkeyNames;

namespace {

std::string writeFile(const testsupport::TempRegistry& registry, const std::string& name, const std::string& text) {
    const std::string path = registry.directory() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string exportText(const std::string& keyPath) {
    std::string text;
    const LONG result = regExportKey(keyPath, &text);
    return result == ERROR_SUCCESS ? text : "error " + std::to_string(result);
}

// Imports `text` into a fresh store and exports `keyPath` from it.
std::string reimport(const std::string& text, const std::string& keyPath) {
    testsupport::TempRegistry fresh;
    std::string error;
    const LONG result = regImportFile(writeFile(fresh, "again.reg", text), &error);
    return result == ERROR_SUCCESS ? exportText(keyPath) : "import failed: " + error;
}

const char* const kInstallFile =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; written by hand\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\CvPrinter]\r\n"
    "@=\"SOCorvane.posprinter.1\"\r\n"
    "\"Port\"=\"COM1\"\r\n"
    "\"Baudrate\"=dword:00002580\r\n"
    "\"Path\"=\"C:\\\\Program Files\\\\\\\"CVOPOS\\\"\"\r\n"
    "\"Lines\"=hex(1):61,0a,62,00\r\n"
    "\"Old\"=\"gone soon\"\r\n"
    "\"old\"=-\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\cvprinter\\Zeta]\r\n"
    "[HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\CvPrinter\\alpha]\r\n"
    "\"Short\"=dword:1F\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Obsolete\\Deep]\r\n"
    "\"x\"=\"y\"\r\n"
    "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Obsolete]\r\n"
    "[HKEY_CLASSES_ROOT\\SOCorvane.posprinter.1\\CLSID]\r\n"
    "@=\"{00000000-0000-0000-0000-000000000001}\"\r\n";

TEST(RegistryFiles, ImportAppliesKeysValuesAndDeletions) {
    testsupport::TempRegistry registry;
    std::string error;
    ASSERT_EQ(regImportFile(writeFile(registry, "install.reg", kInstallFile), &error), ERROR_SUCCESS) << error;

    HKey printer = nullptr;
    ASSERT_EQ(regOpenKeyEx(HKLM, "SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\CvPrinter", KEY_READ, &printer),
              ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(readBytes(printer, nullptr), std::string("SOCorvane.posprinter.1", 23));
    EXPECT_EQ(readBytes(printer, "Port"), std::string("COM1", 5));
    EXPECT_EQ(readBytes(printer, "Baudrate", &type), std::string("\x80\x25\0\0", 4));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(readBytes(printer, "Path"), std::string("C:\\Program Files\\\"CVOPOS\"", 26));
    EXPECT_EQ(readBytes(printer, "Lines", &type), std::string("a\nb", 4));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(readBytes(printer, "Old"), "error 2");
    EXPECT_EQ(subkeyNames(printer), (std::vector<std::string>{"alpha", "Zeta"}));
    regCloseKey(printer);

    HKey software = nullptr;
    ASSERT_EQ(regOpenKeyEx(HKLM, "SOFTWARE", KEY_READ, &software), ERROR_SUCCESS);
    EXPECT_EQ(subkeyNames(software), std::vector<std::string>{"OLEforRetail"});
    regCloseKey(software);
    HKey clsid = nullptr;
    ASSERT_EQ(regOpenKeyEx(HKCR, "SOCorvane.posprinter.1\\CLSID", KEY_READ, &clsid), ERROR_SUCCESS);
    EXPECT_EQ(readBytes(clsid, ""), std::string("{00000000-0000-0000-0000-000000000001}", 39));
    regCloseKey(clsid);
}

TEST(RegistryFiles, ExportIsDepthFirstInEnumerationOrderAndRoundTrips) {
    testsupport::TempRegistry registry;
    std::string error;
    ASSERT_EQ(regImportFile(writeFile(registry, "install.reg", kInstallFile), &error), ERROR_SUCCESS) << error;

    const std::string exported = exportText("hklm\\software\\oleforretail");
    EXPECT_EQ(exported,
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\CvPrinter]\n"
              "@=\"SOCorvane.posprinter.1\"\n"
              "\"Port\"=\"COM1\"\n"
              "\"Baudrate\"=dword:00002580\n"
              "\"Path\"=\"C:\\\\Program Files\\\\\\\"CVOPOS\\\"\"\n"
              "\"Lines\"=hex(1):61,0a,62,00\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\CvPrinter\\alpha]\n"
              "\"Short\"=dword:0000001f\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\CvPrinter\\Zeta]\n"
              "\n");
    EXPECT_EQ(reimport(exported, "HKLM\\SOFTWARE\\OLEforRetail"), exported);

    const std::string classes = exportText("HKEY_CLASSES_ROOT");
    EXPECT_EQ(reimport(classes, "HKCR"), classes);
    EXPECT_NE(classes.find("[HKEY_CLASSES_ROOT\\SOCorvane.posprinter.1\\CLSID]\n@="), std::string::npos);
}

TEST(RegistryFiles, AStoreBuiltByCallsRoundTripsExactly) {
    testsupport::TempRegistry registry;
    HKey device = createKey(HKLM, "SOFTWARE\\Corvane\\Device [1]");
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(setString(device, "Quote\"And\\Backslash", "C:\\dir\\\"x\""), ERROR_SUCCESS);
    ASSERT_EQ(setString(device, "", "default"), ERROR_SUCCESS);
    ASSERT_EQ(setString(device, "TwoLines", "first\r\nsecond"), ERROR_SUCCESS);
    ASSERT_EQ(regSetValueEx(device, "Embedded", REG_SZ, reinterpret_cast<const BYTE*>("a\0b"), 3), ERROR_SUCCESS);
    ASSERT_EQ(regSetValueEx(device, "NoNul", REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
    ASSERT_EQ(setString(device, "Empty", ""), ERROR_SUCCESS);
    ASSERT_EQ(setDword(device, "Max", 0xFFFFFFFF), ERROR_SUCCESS);
    ASSERT_EQ(setString(device, "  spaced  ", " text with spaces "), ERROR_SUCCESS);
    regCloseKey(createKey(device, "-Dash\\ Leading space"));
    regCloseKey(createKey(HKLM, "SOFTWARE\\Corvane\\a_b"));
    regCloseKey(createKey(HKLM, "SOFTWARE\\Corvane\\AB"));
    regCloseKey(device);

    const std::string exported = exportText("HKEY_LOCAL_MACHINE\\SOFTWARE");
    ASSERT_EQ(exported.rfind("Windows Registry Editor Version 5.00\n\n", 0), 0u) << exported;
    EXPECT_EQ(reimport(exported, "HKEY_LOCAL_MACHINE\\SOFTWARE"), exported);

    testsupport::TempRegistry fresh;
    std::string error;
    ASSERT_EQ(regImportFile(writeFile(fresh, "copy.reg", exported), &error), ERROR_SUCCESS) << error;
    HKey copy = nullptr;
    ASSERT_EQ(regOpenKeyEx(HKLM, "SOFTWARE\\Corvane\\Device [1]", KEY_READ, &copy), ERROR_SUCCESS);
    EXPECT_EQ(readBytes(copy, "quote\"and\\backslash"), std::string("C:\\dir\\\"x\"", 11));
    EXPECT_EQ(readBytes(copy, "TwoLines"), std::string("first\r\nsecond", 14));
    EXPECT_EQ(readBytes(copy, "Embedded"), std::string("a\0b", 4));
    EXPECT_EQ(readBytes(copy, "NoNul"), std::string("abc", 4));
    EXPECT_EQ(readBytes(copy, "Max"), std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(readBytes(copy, "  spaced  "), std::string(" text with spaces ", 19));
    EXPECT_EQ(subkeyNames(copy), std::vector<std::string>{"-Dash"});
    regCloseKey(copy);
}

TEST(RegistryFiles, ASyntaxErrorAppliesNothingAndNamesTheLine) {
    struct Case {
        const char* body;  // follows the header and "[HKLM\New]" on lines 1-2
        const char* line;
    };
    const Case cases[] = {
        {"\"a\"=\"b\"\n\"bad\"=\"C:\\dir\"\n", "line 4:"},
        {"\"a\"=dword:123456789\n", "line 3:"},
        {"\"a\"=hex:01,02\n", "line 3:"},
        {"\"a\"=\"unterminated\n", "line 3:"},
        {"\"a\" = \"spaced\"\n", "line 3:"},
        {"\n\n[HKEY_CURRENT_USER\\X]\n", "line 5:"},
        {"[HKLM\\Missing bracket\n", "line 3:"},
        {"[-HKLM]\n", "line 3:"},
        {"[-HKLM\\Old]\n\"a\"=\"b\"\n", "line 4:"},
        {"garbage\n", "line 3:"},
    };
    testsupport::TempRegistry registry;
    HKey existing = createKey(HKLM, "Existing");
    ASSERT_EQ(setString(existing, "Keep", "me"), ERROR_SUCCESS);
    regCloseKey(existing);
    for (const Case& c : cases) {
        const std::string text = std::string("Windows Registry Editor Version 5.00\n[HKLM\\New]\n") + c.body +
                                 "[HKLM\\Existing]\n\"Keep\"=-\n";
        std::string error;
        EXPECT_EQ(regImportFile(writeFile(registry, "bad.reg", text), &error), ERROR_INVALID_DATA) << c.body;
        EXPECT_EQ(error.rfind(c.line, 0), 0u) << c.body << " gave: " << error;
    }
    std::string error;
    EXPECT_EQ(regImportFile(writeFile(registry, "nohead.reg", "[HKLM\\New]\n"), &error), ERROR_INVALID_DATA);
    EXPECT_EQ(error.rfind("line 1:", 0), 0u) << error;
    EXPECT_EQ(regImportFile(writeFile(registry, "empty.reg", ""), &error), ERROR_INVALID_DATA);
    EXPECT_EQ(regImportFile(registry.directory() + "/missing.reg", &error), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(subkeyNames(HKLM), std::vector<std::string>{"Existing"});
    EXPECT_EQ(readBytes(HKLM, nullptr), "error 2");
    HKey kept = nullptr;
    ASSERT_EQ(regOpenKeyEx(HKLM, "Existing", KEY_READ, &kept), ERROR_SUCCESS);
    EXPECT_EQ(readBytes(kept, "Keep"), std::string("me", 3));
    regCloseKey(kept);
}

TEST(RegistryFiles, ExportOfMissingKeysAndUnknownRoots) {
    testsupport::TempRegistry registry;
    std::string text;
    EXPECT_EQ(regExportKey("HKEY_USERS\\X", &text), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(regExportKey("HKLM\\Missing", &text), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(exportText("HKLM"), "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE]\n\n");
    regCloseKey(createKey(HKLM, "Present"));
    EXPECT_EQ(regExportKey("HKLM\\Present\\Missing", &text), ERROR_FILE_NOT_FOUND);
}

}  // namespace
