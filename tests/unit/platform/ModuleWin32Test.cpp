#include <gtest/gtest.h>

#include <string>

#include "platform/module.h"

using namespace platform;

namespace {

const std::string kModuleDir = CVOPOS_TEST_MODULE_DIR;

TEST(LibraryFileName, KeepsWindowsNamesAndAddsTheExtensionLoadLibraryWould) {
    EXPECT_EQ(libraryFileName("imgproc.dll"), "imgproc.dll");
    EXPECT_EQ(libraryFileName("ImgConv.DLL"), "ImgConv.DLL");
    EXPECT_EQ(libraryFileName("usblink"), "usblink.dll");
    EXPECT_EQ(libraryFileName("C:\\cvopos\\imgproc.dll"), "C:\\cvopos\\imgproc.dll");
    EXPECT_EQ(libraryFileName("C:\\cv.1\\usblink"), "C:\\cv.1\\usblink.dll");
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

TEST(Module, ReportsAMissingLibraryByName) {
    ModuleError error;
    EXPECT_EQ(loadLibrary(kModuleDir + "/nosuchmodule.dll", &error), nullptr);
    EXPECT_EQ(error.code, ERROR_MOD_NOT_FOUND);
    EXPECT_NE(error.message.find("nosuchmodule.dll"), std::string::npos) << error.message;

    EXPECT_EQ(getProcAddress(nullptr, "cvTestModuleAnswer", &error), nullptr);
    EXPECT_EQ(error.code, ERROR_INVALID_HANDLE);
    EXPECT_FALSE(freeLibrary(nullptr));
}

TEST(Module, RefusesALibraryWhoseImportsCannotAllBeResolved) {
    ModuleError error;
    EXPECT_EQ(loadLibrary(kModuleDir + "/cvbrokenmodule.dll", &error), nullptr);
    EXPECT_EQ(error.code, ERROR_MOD_NOT_FOUND);
}

TEST(Module, FindsABareNameOnTheStandardSearchPath) {
    ModuleError error;
    HModule module = loadLibrary("kernel32", &error);
    ASSERT_NE(module, nullptr) << error.message;
    EXPECT_NE(getProcAddress(module, "GetTickCount"), nullptr);
    EXPECT_TRUE(freeLibrary(module));
}

}  // namespace
