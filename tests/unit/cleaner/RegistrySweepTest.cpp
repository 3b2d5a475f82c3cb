#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "RegistrySweep.h"
#include "platform/registry.h"
#include "support/TempRegistry.h"

namespace {

using cleaner::Listed;
using platform::DWORD;

// What an installation leaves: the suite's devices beside another maker's,
// the port range key, the product key and its version entry.
constexpr const char* kInstalled = R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter]
"till1"="RX-H81"
"other"="XY-100"
"till2"="RT-B20"
"till3"="RK-E50"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\RX-H81]
"Port"="COM1"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\RT-B20]

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\RK-E50]

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\XY-100]
"Port"="COM9"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceInfo\Corvane OPOS ADK]
"COMMAX"=dword:00000004

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceInfo\Other ADK]

[HKEY_LOCAL_MACHINE\SOFTWARE\Tessel\CVOPOS\2.30.000]

[HKEY_LOCAL_MACHINE\SOFTWARE\Tessel\Other]

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer]
"cash1"="RX-H81Drawer"
"cash2"="RT-B20Drawer"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\RX-H81Drawer]

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\RT-B20Drawer]

)";

constexpr const char* kPrinters = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter";
constexpr const char* kDrawers = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";

class RegistrySweep : public ::testing::Test {
protected:
    void import(const std::string& text) {
        const std::string path = registry.directory() + "/setup.reg";
        std::ofstream(path) << text;
        std::string error;
        ASSERT_EQ(platform::regImportFile(path, &error), platform::ERROR_SUCCESS) << error;
    }

    static std::vector<std::string> entries(const std::string& keyPath, bool values) {
        std::vector<std::string> names;
        platform::HKey key = nullptr;
        if (platform::regOpenKeyEx(platform::HKLM, keyPath.c_str(), platform::KEY_READ, &key) !=
            platform::ERROR_SUCCESS) {
            return names;
        }
        for (DWORD index = 0;; ++index) {
            char name[256];
            DWORD length = sizeof name;
            const platform::LONG result =
                values ? platform::regEnumValue(key, index, name, &length, nullptr, nullptr, nullptr)
                       : platform::regEnumKeyEx(key, index, name, &length);
            if (result != platform::ERROR_SUCCESS) {
                break;
            }
            names.emplace_back(name, length);
        }
        platform::regCloseKey(key);
        return names;
    }
    static std::vector<std::string> values(const std::string& keyPath) { return entries(keyPath, true); }
    static std::vector<std::string> subkeys(const std::string& keyPath) { return entries(keyPath, false); }

    static std::string exported() {
        std::string text;
        platform::regExportKey("HKEY_LOCAL_MACHINE\\SOFTWARE", &text);
        return text;
    }

    testsupport::TempRegistry registry;
};

using Names = std::vector<std::string>;

TEST_F(RegistrySweep, FivePassesRemoveTheSuitesEntriesAndKeepOtherMakers) {
    import(kInstalled);
    EXPECT_EQ(cleaner::sweepRegistry(), 5);

    EXPECT_EQ(values(kPrinters), Names{"other"});
    EXPECT_EQ(subkeys(kPrinters), Names{"XY-100"});
    EXPECT_EQ(subkeys("SOFTWARE\\OLEforRetail\\ServiceInfo"), Names{"Other ADK"});
    EXPECT_EQ(subkeys("SOFTWARE\\Tessel"), Names{"Other"});
    // Drawers are matched on "RX-" alone: an RT-B20 printer's drawer stays.
    EXPECT_EQ(values(kDrawers), Names{"cash2"});
    EXPECT_EQ(subkeys(kDrawers), Names{"RT-B20Drawer"});
}

TEST_F(RegistrySweep, MissingKeyEndsTheSweepAtItsPass) {
    import(kInstalled);
    platform::HKey oleForRetail = nullptr;
    ASSERT_EQ(platform::regOpenKeyEx(platform::HKLM, "SOFTWARE\\OLEforRetail", platform::KEY_ALL_ACCESS, &oleForRetail),
              platform::ERROR_SUCCESS);
    ASSERT_EQ(platform::regDeleteTree(oleForRetail, "ServiceInfo"), platform::ERROR_SUCCESS);
    platform::regCloseKey(oleForRetail);

    EXPECT_EQ(cleaner::sweepRegistry(), 1);
    EXPECT_EQ(subkeys(kPrinters), Names{"XY-100"});
    EXPECT_EQ(subkeys("SOFTWARE\\Tessel\\CVOPOS"), Names{"2.30.000"});
    EXPECT_EQ(subkeys(kDrawers), (Names{"RT-B20Drawer", "RX-H81Drawer"}));
    EXPECT_EQ(values(kDrawers), (Names{"cash1", "cash2"}));
}

TEST_F(RegistrySweep, NeighboursThatMoveUpAfterADeletionAreNotSkipped) {
    import(R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter]
"a"="RX-H81"
"b"="RX-H81_2"
"keep"="XY-1"
"c"="RX-H81_3"
"d"="RX-H81_4"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\RX-H81]

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\RX-H81_2]

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\RX-H81_3]

)");
    cleaner::sweepRegistry();
    EXPECT_EQ(values(kPrinters), Names{"keep"});
    EXPECT_TRUE(subkeys(kPrinters).empty());
}

TEST_F(RegistrySweep, EntriesThatCannotBeDeletedArePassedOverOnce) {
    // One-level deletion refuses a key with subkeys: it stays, and the keys
    // after it still go.
    import(R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\RX-A14\Child]

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\RX-K92]

)");
    EXPECT_EQ(cleaner::sweepRegistry(), 1);
    EXPECT_EQ(subkeys(kPrinters), Names{"RX-A14"});
}

TEST(SweepLoop, EachFailingEntryIsTriedOnceAndTheLoopEnds) {
    Names listing{"RX-1", "keep", "RX-2", "RX-3"};
    Names attempts;
    cleaner::sweepEntries(
        [&](DWORD index, std::string* name, bool* marked) {
            if (index >= listing.size()) {
                return Listed::End;
            }
            *name = listing[index];
            *marked = name->rfind("RX-", 0) == 0;
            return Listed::Entry;
        },
        [&](const std::string& name) {
            attempts.push_back(name);
            if (attempts.size() > 10) {
                listing.clear();  // a loop retrying for ever fails here instead of hanging
                return true;
            }
            if (name == "RX-2") {
                listing.erase(listing.begin() + 2);
                return true;
            }
            return false;
        });
    EXPECT_EQ(attempts, (Names{"RX-1", "RX-2", "RX-3"}));
    EXPECT_EQ(listing, (Names{"RX-1", "keep", "RX-3"}));
}

TEST_F(RegistrySweep, EntriesTooLongForTheBuffersAreNotExamined) {
    const std::string longText(80, 'x');
    import(std::string(R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter]
"long"="RX-)") + longText + R"("
")" + longText + R"("="RX-H81"
"short"="RX-H81"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\RX-)" + std::string(95, 'y') + R"(]

)");
    cleaner::sweepRegistry();
    EXPECT_EQ(values(kPrinters), (Names{"long", longText}));
    EXPECT_EQ(subkeys(kPrinters).size(), 1u);
}

TEST_F(RegistrySweep, SecondRunChangesNothing) {
    import(kInstalled);
    cleaner::sweepRegistry();
    const std::string afterFirst = exported();
    cleaner::sweepRegistry();
    EXPECT_EQ(exported(), afterFirst);
    EXPECT_NE(afterFirst.find("XY-100"), std::string::npos);
}

}  // namespace
