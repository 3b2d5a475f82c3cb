// How module names become file names here, and what the loader cases
// expect of the dynamic loader.
#include <gtest/gtest.h>

#include "ModuleFacts.h"
#include "platform/module.h"

using namespace platform;

const ModuleFacts kModuleFacts = {"libnosuchmodule.so", "libm.so.6", "cos", true};

namespace {

TEST(LibraryFileName, MapsWindowsNamesToSharedObjectsOfTheSameStem) {
    EXPECT_EQ(libraryFileName("imgproc.dll"), "libimgproc.so");
    EXPECT_EQ(libraryFileName("ImgConv.DLL"), "libImgConv.so");
    EXPECT_EQ(libraryFileName("usblink"), "libusblink.so");
    EXPECT_EQ(libraryFileName("/opt/cvopos/imgproc.dll"), "/opt/cvopos/libimgproc.so");
    EXPECT_EQ(libraryFileName("/opt/cv.1/usblink"), "/opt/cv.1/libusblink.so");
    EXPECT_EQ(libraryFileName("libusblink.so"), "libusblink.so");
    EXPECT_EQ(libraryFileName("libm.so.6"), "libm.so.6");
}

}  // namespace
