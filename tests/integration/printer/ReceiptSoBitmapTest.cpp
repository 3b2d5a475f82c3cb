// PrintBitmap, SetBitmap and stored bitmaps in print data, through the
// control object, with the image libraries loaded from the install
// directory the registry names.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace printertest {
namespace {

using namespace common;

void putLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A 24-bit picture, white with a black bar across its middle third.
void writePicture(const std::string& path, int width, int height) {
    const int stride = (width * 3 + 3) & ~3;
    std::vector<std::uint8_t> file{'B', 'M'};
    putLittleEndian(file, 54 + stride * height, 4);
    putLittleEndian(file, 0, 4);
    putLittleEndian(file, 54, 4);
    putLittleEndian(file, 40, 4);
    putLittleEndian(file, static_cast<std::uint32_t>(width), 4);
    putLittleEndian(file, static_cast<std::uint32_t>(height), 4);
    putLittleEndian(file, 1, 2);
    putLittleEndian(file, 24, 2);
    for (int i = 0; i < 6; ++i) {
        putLittleEndian(file, 0, 4);
    }
    for (int y = 0; y < height; ++y) {
        const bool bar = y >= height / 3 && y < 2 * height / 3;
        for (int x = 0; x < stride; ++x) {
            file.push_back(x < width * 3 && bar ? 0x00 : 0xFF);
        }
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
}

class ReceiptSoBitmapTest : public ReceiptSoTest {
protected:
    void SetUp() override {
        ReceiptSoTest::SetUp();
        // The installer's uninstall entry tells where the image libraries are.
        schema::RegKey key;
        ASSERT_EQ(key.create(platform::HKLM, schema::kUninstallKeyPath), platform::ERROR_SUCCESS);
        ASSERT_EQ(key.writeString(schema::kUninstallStringValue, std::string(IMAGING_LIBRARY_DIR) + "uninstall.exe"),
                  platform::ERROR_SUCCESS);
    }

    // The bands of 64 columns that arrived after `from`, once no more come.
    static std::size_t bandsAfter(const PrinterUnderTest& printer, std::size_t from) {
        const emulator::Bytes band{0x1B, 0x2A, 0x00, 64, 0};
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        std::size_t seen = count(printer.receivedBytes(), band, from);
        for (;;) {
            printer.waitForReceived(printer.receivedBytes().size() + 1, 300ms);
            const std::size_t now = count(printer.receivedBytes(), band, from);
            if ((now == seen && now > 0) || std::chrono::steady_clock::now() >= deadline) {
                return now;
            }
            seen = now;
        }
    }

    static std::size_t count(const emulator::Bytes& bytes, const emulator::Bytes& pattern, std::size_t from) {
        std::size_t found = 0;
        auto at = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(from, bytes.size()));
        while ((at = std::search(at, bytes.end(), pattern.begin(), pattern.end())) != bytes.end()) {
            ++found;
            ++at;
        }
        return found;
    }
};

TEST_F(ReceiptSoBitmapTest, PictureFilesPrintAsBitImageBandsAtOnceOrStored) {
    PrinterUnderTest& printer = addNetworkPrinter("A14", "RX-A14");
    auto control = openPrinter("RX-A14");
    ASSERT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    const std::string picture = path("bar.bmp");
    writePicture(picture, 64, 48);
    const std::wstring file(picture.begin(), picture.end());

    std::size_t before = printer.receivedBytes().size();
    ASSERT_EQ(control->call("PrintBitmap", {PTR_S_RECEIPT, file, PTR_BM_ASIS, PTR_BM_CENTER}).rc, OPOS_SUCCESS);
    // Bands of 64 columns in the default level's 8-dot mode; the picture
    // arrives whole before its line is fed.
    const std::size_t bands = bandsAfter(printer, before);
    EXPECT_GE(bands, 4u);

    ASSERT_EQ(control->call("SetBitmap", {1, PTR_S_RECEIPT, file, PTR_BM_ASIS, PTR_BM_LEFT}).rc, OPOS_SUCCESS);
    before = printer.receivedBytes().size();
    ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, L"\x1b|1B\n"), OPOS_SUCCESS);
    EXPECT_EQ(bandsAfter(printer, before), bands);

    before = printer.receivedBytes().size();
    EXPECT_EQ(control->call("SetBitmap", {21, PTR_S_RECEIPT, file, PTR_BM_ASIS, PTR_BM_LEFT}).rc, OPOS_E_FAILURE);
    EXPECT_EQ(control->call("PrintBitmap", {PTR_S_RECEIPT, std::wstring(L"/no/such/picture.bmp"), PTR_BM_ASIS,
                                             PTR_BM_CENTER})
                  .rc,
              OPOS_E_FAILURE);
    EXPECT_EQ(control->call("PrintBitmap", {PTR_S_JOURNAL, file, PTR_BM_ASIS, PTR_BM_CENTER}).rc, OPOS_E_FAILURE);
    EXPECT_FALSE(printer.waitForReceived(before + 1, 200ms)) << "a refused bitmap printed something";
}

// A picture starts on its own line and leaves the text as it found it:
// alignment, upside-down printing, and whether a stored picture that cannot
// be printed is reported.
TEST_F(ReceiptSoBitmapTest, PicturesBetweenTextKeepTheTextState) {
    PrinterUnderTest& printer = addNetworkPrinter("A14", "RX-A14");
    auto control = openPrinter("RX-A14");
    ASSERT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    const std::string picture = path("bar.bmp");
    writePicture(picture, 64, 48);
    const std::wstring file(picture.begin(), picture.end());
    ASSERT_EQ(control->call("SetBitmap", {1, PTR_S_RECEIPT, file, PTR_BM_ASIS, PTR_BM_CENTER}).rc, OPOS_SUCCESS);

    struct Step {
        const wchar_t* text;        // PrintNormal's data, or null for PrintBitmap
        const char* line;           // a transcript line that must be there as it stands
    };
    const Step steps[] = {
        {L"\x1b|cAcentred\n", "[center]centred"},
        {nullptr, nullptr},
        {L"left after the picture\n", "left after the picture"},
        {L"before\x1b|1Bafter stored\n", "before"},
        {L"\x1b|rAright\x1b|1Bstill right\n", "[right]still right"},
        {L"left again\n", "left again"},
    };
    for (const Step& step : steps) {
        const LONG rc = step.text == nullptr
                            ? control->call("PrintBitmap", {PTR_S_RECEIPT, file, PTR_BM_ASIS, PTR_BM_CENTER}).rc
                            : control->printNormal(PTR_S_RECEIPT, step.text);
        ASSERT_EQ(rc, OPOS_SUCCESS);
    }
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (printer.transcript().find("left again") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        printer.waitForReceived(printer.receivedBytes().size() + 1, 50ms);
    }
    const std::string paper = printer.transcript();
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < paper.size();) {
        const std::size_t end = std::min(paper.find('\n', at), paper.size());
        lines.push_back(paper.substr(at, end - at));
        at = end + 1;
    }
    for (const Step& step : steps) {
        if (step.line != nullptr) {
            EXPECT_TRUE(std::find(lines.begin(), lines.end(), step.line) != lines.end()) << step.line << "\n" << paper;
        }
    }
    // Text before a stored picture in the same call is a line of its own
    // ("before" above), not beside the picture's first band.

    // Upside down, the text after a stored picture stays upside down.
    ASSERT_EQ(control->call("RotatePrint", {PTR_S_RECEIPT, PTR_RP_ROTATE180}).rc, OPOS_SUCCESS);
    ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, L"\x1b|1Bturned\n"), OPOS_SUCCESS);
    ASSERT_EQ(control->call("RotatePrint", {PTR_S_RECEIPT, PTR_RP_NORMAL}).rc, OPOS_SUCCESS);
    const auto turned = std::chrono::steady_clock::now() + 5s;
    while (printer.transcript().find("turned") == std::string::npos && std::chrono::steady_clock::now() < turned) {
        printer.waitForReceived(printer.receivedBytes().size() + 1, 50ms);
    }
    EXPECT_NE(printer.transcript().find("[upside-down]turned"), std::string::npos) << printer.transcript();

    // Pictures never stored cannot print: the call says so and sends nothing.
    settle(printer);
    const std::size_t before = printer.receivedBytes().size();
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"a\x1b|1B\x1b|7B\x1b|1B\x1b|8B\n"), OPOS_E_FAILURE);
    EXPECT_FALSE(printer.waitForReceived(before + 1, 200ms)) << "a call with a missing picture printed";
}

// A picture wider than the receipt's line is refused, also where the
// densest bit-image mode doubles the width.
TEST_F(ReceiptSoBitmapTest, PicturesWiderThanTheLineAreRefused) {
    // An install directory of its own whose settings ask for level 48.
    const std::string install = path("install48/");
    std::filesystem::create_directories(install);
    std::ofstream(install + "OPOSLog.ini") << "[Bitmap]\nlevel=48\n";
    schema::RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, schema::kUninstallKeyPath), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.writeString(schema::kUninstallStringValue, install + "uninstall.exe"), platform::ERROR_SUCCESS);

    PrinterUnderTest& printer = addNetworkPrinter("A14", "RX-A14");
    auto control = openPrinter("RX-A14");
    ASSERT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    settle(printer);
    const std::string picture = path("bar.bmp");
    writePicture(picture, 64, 48);
    const std::wstring file(picture.begin(), picture.end());
    const std::size_t before = printer.receivedBytes().size();
    for (const LONG width : {2147483647, 1073741824, 513, 0, -5}) {
        EXPECT_EQ(control->call("PrintBitmap", {PTR_S_RECEIPT, file, width, PTR_BM_CENTER}).rc, OPOS_E_ILLEGAL)
            << width;
        EXPECT_EQ(control->call("SetBitmap", {2, PTR_S_RECEIPT, file, width, PTR_BM_CENTER}).rc, OPOS_E_ILLEGAL)
            << width;
    }
    EXPECT_FALSE(printer.waitForReceived(before + 1, 200ms));
}

}  // namespace
}  // namespace printertest
