#include <gtest/gtest.h>

#include <string>

#include "platform/module.h"

using namespace platform;

namespace {

const std::string kModuleDir = CVOPOS_TEST_MODULE_DIR;

TEST(LibraryFileName, MapsWindowsNamesToSharedObjectsOfTheSameStem) {
    EXPECT_EQ(libraryFileName("imgproc.dll"), "libimgproc.so");
    EXPECT_EQ(libraryFileName("ImgConv.DLL"), "libImgConv.so");
    EXPECT_EQ(libraryFileName("usblink"), "libusblink.so");
    EXPECT_EQ(libraryFileName("/opt/cvopos/imgproc.dll"), "/opt/cvopos/libimgproc.so");
    EXPECT_EQ(libraryFileName("/opt/cv.1/usblink"), "/opt/cv.1/libusblink.so");
    EXPECT_EQ(libraryFileName("libusblink.so"), "libusblink.so");
    EXPECT_EQ(libraryFileName("libm.so.6"), "libm.so.6");
}

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

TEST(Module, ReportsAMissingLibraryWithTheLoadersMessage) {
    ModuleError error;
    EXPECT_EQ(loadLibrary(kModuleDir + "/nosuchmodule.dll", &error), nullptr);
    EXPECT_EQ(error.code, ERROR_MOD_NOT_FOUND);
    EXPECT_NE(error.message.find("libnosuchmodule.so"), std::string::npos) << error.message;

    EXPECT_EQ(getProcAddress(nullptr, "cvTestModuleAnswer", &error), nullptr);
    EXPECT_EQ(error.code, ERROR_INVALID_HANDLE);
    EXPECT_FALSE(freeLibrary(nullptr));
}

TEST(Module, RefusesALibraryWhoseSymbolsCannotAllBeResolved) {
    ModuleError error;
    EXPECT_EQ(loadLibrary(kModuleDir + "/cvbrokenmodule.dll", &error), nullptr);
    EXPECT_EQ(error.code, ERROR_MOD_NOT_FOUND);
    EXPECT_NE(error.message.find("cvSymbolNobodyDefines"), std::string::npos) << error.message;
}

TEST(Module, FindsABareNameOnTheStandardSearchPath) {
    ModuleError error;
    HModule module = loadLibrary("libm.so.6", &error);
    ASSERT_NE(module, nullptr) << error.message;
    EXPECT_NE(getProcAddress(module, "cos"), nullptr);
    EXPECT_TRUE(freeLibrary(module));
}

}  // namespace
