// How module names become file names here, and what the loader cases
// expect of LoadLibrary.
#include <gtest/gtest.h>

#include "ModuleFacts.h"
#include "platform/module.h"

using namespace platform;

const ModuleFacts kModuleFacts = {"nosuchmodule.dll", "kernel32", "GetTickCount", false};

namespace {

TEST(LibraryFileName, KeepsWindowsNamesAndAddsTheExtensionLoadLibraryWould) {
    EXPECT_EQ(libraryFileName("imgproc.dll"), "imgproc.dll");
    EXPECT_EQ(libraryFileName("ImgConv.DLL"), "ImgConv.DLL");
    EXPECT_EQ(libraryFileName("usblink"), "usblink.dll");
    EXPECT_EQ(libraryFileName("C:\\cvopos\\imgproc.dll"), "C:\\cvopos\\imgproc.dll");
    EXPECT_EQ(libraryFileName("C:\\cv.1\\usblink"), "C:\\cv.1\\usblink.dll");
}

}  // namespace
