#include <gtest/gtest.h>

#include <string>

#include "ModuleFacts.h"
#include "platform/module.h"

using namespace platform;

namespace {

const std::string kModuleDir = CVOPOS_TEST_MODULE_DIR;

TEST(Module, LoadsByWindowsNameFromADirectoryAndFindsExports) {
    ModuleError error;
    HModule module = loadLibrary(kModuleDir + "/cvtestmodule.dll", &error);
    ASSERT_NE(module, nullptr) << error.message;

    auto answer = getProcAddressAs<int (*)()>(module, "cvTestModuleAnswer", &error);
    ASSERT_NE(answer, nullptr) << error.message;
    EXPECT_EQ(answer(), 42);

    EXPECT_EQ(getProcAddress(module, "cvNoSuchExport", &error), nullptr);
    EXPECT_EQ(error.code, ERROR_PROC_NOT_FOUND);
    EXPECT_NE(error.message.find("cvNoSuchExport"), std::string::npos) << error.message;

    EXPECT_TRUE(freeLibrary(module));
}

TEST(Module, ReportsAMissingLibraryByItsFileName) {
    ModuleError error;
    EXPECT_EQ(loadLibrary(kModuleDir + "/nosuchmodule.dll", &error), nullptr);
    EXPECT_EQ(error.code, ERROR_MOD_NOT_FOUND);
    EXPECT_NE(error.message.find(kModuleFacts.missingModuleFile), std::string::npos) << error.message;

    EXPECT_EQ(getProcAddress(nullptr, "cvTestModuleAnswer", &error), nullptr);
    EXPECT_EQ(error.code, ERROR_INVALID_HANDLE);
    EXPECT_FALSE(freeLibrary(nullptr));
}

TEST(Module, RefusesALibraryWhoseSymbolsCannotAllBeResolved) {
    ModuleError error;
    EXPECT_EQ(loadLibrary(kModuleDir + "/cvbrokenmodule.dll", &error), nullptr);
    EXPECT_EQ(error.code, ERROR_MOD_NOT_FOUND);
    if (kModuleFacts.namesTheUnresolvedSymbol) {
        EXPECT_NE(error.message.find("cvSymbolNobodyDefines"), std::string::npos) << error.message;
    }
}

TEST(Module, FindsABareNameOnTheStandardSearchPath) {
    ModuleError error;
    HModule module = loadLibrary(kModuleFacts.systemLibrary, &error);
    ASSERT_NE(module, nullptr) << error.message;
    EXPECT_NE(getProcAddress(module, kModuleFacts.systemExport), nullptr);
    EXPECT_TRUE(freeLibrary(module));
}

}  // namespace
