#include <gtest/gtest.h>

#include <string>

#include "common/ComRegistration.h"
#include "platform/registry.h"
#include "schema/RegKey.h"
#include "support/TempRegistry.h"

using common::ComClassRegistration;
using common::registerComClass;
using common::unregisterComClass;

namespace {

const ComClassRegistration kPrinter{"SOCorvane.posprinter.1", "SOCorvane.posprinter",
                                    "{0353f054-4d22-44c1-bd26-0f0fe4360036}", "posprinter Class", "Apartment"};
const ComClassRegistration kDrawer{"SOCorvaneCash.SOCvCash.1", "SOCorvaneCash.SOCvCash",
                                   "{1B2C3D4E-5F60-4172-8394-A5B6C7D8E9F0}", "SOCvCash Class", "Apartment"};

// Everything below HKEY_CLASSES_ROOT, as .reg text ("" when it is empty).
std::string classesRoot() {
    std::string text;
    platform::regExportKey("HKEY_CLASSES_ROOT", &text);
    return text;
}

TEST(ComRegistration, WritesTheClassKeysAndRemovesExactlyThem) {
    testsupport::TempRegistry registry;
    ASSERT_EQ(registerComClass(kPrinter, "/opt/cvopos/libreceiptso.so"), platform::S_OK);
    EXPECT_EQ(classesRoot(),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CLASSES_ROOT]\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\CLSID]\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{0353F054-4D22-44C1-BD26-0F0FE4360036}]\n"
              "@=\"posprinter Class\"\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{0353F054-4D22-44C1-BD26-0F0FE4360036}\\InprocServer32]\n"
              "@=\"/opt/cvopos/libreceiptso.so\"\n"
              "\"ThreadingModel\"=\"Apartment\"\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{0353F054-4D22-44C1-BD26-0F0FE4360036}\\ProgID]\n"
              "@=\"SOCorvane.posprinter.1\"\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{0353F054-4D22-44C1-BD26-0F0FE4360036}\\Programmable]\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{0353F054-4D22-44C1-BD26-0F0FE4360036}\\VersionIndependentProgID]\n"
              "@=\"SOCorvane.posprinter\"\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\SOCorvane.posprinter]\n"
              "@=\"posprinter Class\"\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\SOCorvane.posprinter\\CLSID]\n"
              "@=\"{0353F054-4D22-44C1-BD26-0F0FE4360036}\"\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\SOCorvane.posprinter\\CurVer]\n"
              "@=\"SOCorvane.posprinter.1\"\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\SOCorvane.posprinter.1]\n"
              "@=\"posprinter Class\"\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\SOCorvane.posprinter.1\\CLSID]\n"
              "@=\"{0353F054-4D22-44C1-BD26-0F0FE4360036}\"\n"
              "\n");

    ASSERT_EQ(registerComClass(kDrawer, "/opt/cvopos/libdrawerso.so"), platform::S_OK);
    EXPECT_EQ(unregisterComClass(kPrinter), platform::S_OK);
    const std::string drawerOnly = classesRoot();

    testsupport::TempRegistry fresh;
    ASSERT_EQ(registerComClass(kDrawer, "/opt/cvopos/libdrawerso.so"), platform::S_OK);
    EXPECT_EQ(drawerOnly, classesRoot()) << "the other class's keys stay as they were";
    EXPECT_EQ(unregisterComClass(kDrawer), platform::S_OK);
    EXPECT_EQ(classesRoot(),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CLASSES_ROOT]\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\CLSID]\n"
              "\n")
        << "HKCR\\CLSID is shared by every class and stays";
    EXPECT_EQ(unregisterComClass(kDrawer), platform::S_OK) << "nothing registered is no failure";
}

TEST(ComRegistration, LeavesWhatOthersWroteOrTookOver) {
    testsupport::TempRegistry registry;
    ASSERT_EQ(registerComClass(kPrinter, "/opt/cvopos/libreceiptso.so"), platform::S_OK);
    // Another class has since claimed the version-independent ProgID, and a
    // type library entry was added under the class key.
    ComClassRegistration successor = kDrawer;
    successor.versionIndependentProgId = kPrinter.versionIndependentProgId;
    ASSERT_EQ(registerComClass(successor, "/opt/other/libnew.so"), platform::S_OK);
    schema::RegKey typeLib;
    ASSERT_EQ(typeLib.create(platform::HKCR, "CLSID\\{0353F054-4D22-44C1-BD26-0F0FE4360036}\\TypeLib"),
              platform::ERROR_SUCCESS);
    ASSERT_EQ(typeLib.writeString("", "{92EBCDDB-898C-47C9-95AC-C61F0933A5CE}"), platform::ERROR_SUCCESS);
    typeLib.close();

    ASSERT_EQ(unregisterComClass(kPrinter), platform::S_OK);
    schema::RegKey key;
    EXPECT_EQ(key.open(platform::HKCR, "SOCorvane.posprinter.1", platform::KEY_READ), platform::ERROR_FILE_NOT_FOUND);
    std::string text;
    ASSERT_EQ(key.open(platform::HKCR, "SOCorvane.posprinter\\CurVer", platform::KEY_READ), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.readString("", 64, &text), platform::ERROR_SUCCESS);
    EXPECT_EQ(text, "SOCorvaneCash.SOCvCash.1");
    ASSERT_EQ(key.open(platform::HKCR, "CLSID\\{0353F054-4D22-44C1-BD26-0F0FE4360036}", platform::KEY_READ),
              platform::ERROR_SUCCESS);
    EXPECT_EQ(key.readString("", 64, &text), platform::ERROR_FILE_NOT_FOUND) << "our description went";
    platform::DWORD subKeys = 0;
    ASSERT_EQ(platform::regQueryInfoKey(key.handle(), &subKeys, nullptr), platform::ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 1u) << "only TypeLib is left";
    EXPECT_EQ(key.open(platform::HKCR, "CLSID\\{0353F054-4D22-44C1-BD26-0F0FE4360036}\\TypeLib", platform::KEY_READ),
              platform::ERROR_SUCCESS);
}

TEST(ComRegistration, RefusesAMalformedClassWithoutWritingAnything) {
    testsupport::TempRegistry registry;
    const std::string before = classesRoot();
    ComClassRegistration broken = kPrinter;
    broken.clsid = "{0353F054-4D22-44C1-BD26}";
    EXPECT_EQ(registerComClass(broken, "/x.so"), platform::SELFREG_E_CLASS);
    EXPECT_EQ(unregisterComClass(broken), platform::SELFREG_E_CLASS);
    broken = kPrinter;
    broken.progId = "";
    EXPECT_EQ(registerComClass(broken, "/x.so"), platform::SELFREG_E_CLASS);
    EXPECT_EQ(classesRoot(), before);
}

}  // namespace
