// QR codes as a point-of-sale application prints them: PrintBarCode with
// PTR_BCS_QRCODE through the control object, read back from the virtual
// printer's picture by a real Linux scanner program (zbarimg).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"
#include "support/Host.h"

namespace printertest {
namespace {

using namespace common;

class ReceiptSoQrCodeTest : public ReceiptSoTest {
protected:
    std::unique_ptr<opos::PosPrinter> ready(const std::string& model, PrinterUnderTest** printer) {
        *printer = &addNetworkPrinter(model, "RX-" + model);
        auto control = openPrinter("RX-" + model);
        EXPECT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
        EXPECT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
        settle(**printer);
        return control;
    }

    static LONG printQr(opos::PosPrinter& control, const std::string& data, LONG width) {
        return control
            .call("PrintBarCode", {PTR_S_RECEIPT, std::wstring(data.begin(), data.end()), PTR_BCS_QRCODE, 0, width,
                                   PTR_BC_CENTER, PTR_BC_TEXT_BELOW})
            .rc;
    }

    // Waits for the printer to have printed `marker`.
    static bool printed(const PrinterUnderTest& printer, const std::string& marker) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (printer.transcript().find(marker) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            printer.waitForReceived(printer.receivedBytes().size() + 1, 50ms);
        }
        return true;
    }

    // What a scanner reads from the printer's paper, in any order.
    std::vector<std::string> scanned(const PrinterUnderTest& printer) {
        const std::string png = path("paper.png");
        std::string error;
        EXPECT_TRUE(printer.writePng(png, &error)) << error;
        const auto zbarimg = testsupport::runLinuxProgram(
            ZBARIMG_PROGRAM, {"--quiet", "--raw", "--nodbus", "-Sdisable", "-Sqrcode.enable", testsupport::linuxPathOf(png)},
            10s);
        EXPECT_TRUE(zbarimg.finished);
        EXPECT_EQ(zbarimg.exitCode, 0) << zbarimg.output;
        std::vector<std::string> payloads;
        std::istringstream lines(zbarimg.output);
        for (std::string line; std::getline(lines, line);) payloads.push_back(line);
        std::sort(payloads.begin(), payloads.end());
        return payloads;
    }
};

TEST_F(ReceiptSoQrCodeTest, PrintedQrCodesScanBackToTheirPayloads) {
    ASSERT_TRUE(std::filesystem::exists(ZBARIMG_LOCATION)) << ZBARIMG_PROGRAM << " missing: scripts/deps installs zbar-tools";
    const std::string link = "https://receipts.example/e/4711-0815?t=20261208";
    const std::string longer = "https://receipts.example/e/" + std::string(273, 'x');
    PrinterUnderTest* printer = nullptr;
    auto control = ready("A14", &printer);
    EXPECT_EQ(printQr(*control, link, 200), OPOS_SUCCESS);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"\n\n\n"), OPOS_SUCCESS);
    EXPECT_EQ(printQr(*control, longer, 400), OPOS_SUCCESS);
    ASSERT_TRUE(printed(*printer, "[qr \"" + longer + "\"]")) << printer->transcript();
    EXPECT_NE(printer->transcript().find("[qr \"" + link + "\"]"), std::string::npos) << printer->transcript();
    EXPECT_EQ(scanned(*printer), (std::vector<std::string>{link, longer}));
}

TEST_F(ReceiptSoQrCodeTest, RefusedOnModelsWithoutTwoDimensionalCodesAndBeyondCapacity) {
    PrinterUnderTest* a16 = nullptr;
    auto without = ready("A16", &a16);
    const std::size_t sentToA16 = a16->receivedBytes().size();
    EXPECT_EQ(printQr(*without, "https://receipts.example/", 200), OPOS_E_ILLEGAL);
    EXPECT_FALSE(a16->waitForReceived(sentToA16 + 1, 100ms));

    PrinterUnderTest* a14 = nullptr;
    auto control = ready("A14", &a14);
    const std::size_t sentToA14 = a14->receivedBytes().size();
    EXPECT_EQ(printQr(*control, std::string(2332, 'x'), 400), OPOS_E_ILLEGAL);  // version 40-M holds 2331 bytes
    EXPECT_FALSE(a14->waitForReceived(sentToA14 + 1, 100ms));
}

}  // namespace
}  // namespace printertest
