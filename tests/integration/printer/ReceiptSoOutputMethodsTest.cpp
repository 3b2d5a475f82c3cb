// CutPaper, MarkFeed, SetLogo and PrintBarCode through the control object: the commands
// each model's printer gets, and what a refused call leaves behind.
#include <algorithm>
#include <string>

#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"

namespace printertest {
namespace {

using namespace common;

class ReceiptSoOutputMethodsTest : public ReceiptSoTest {
protected:
    // A network printer of `model`, open, claimed and enabled.
    std::unique_ptr<opos::PosPrinter> readyPrinter(const std::string& model, PrinterUnderTest** printer) {
        const std::string keyName = "RX-" + model;
        *printer = &addNetworkPrinter(model, keyName);
        auto control = openPrinter(keyName);
        EXPECT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
        EXPECT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
        settle(**printer);
        return control;
    }

    // The bytes that arrive after `before`, once `count` of them are there.
    static emulator::Bytes sentAfter(const PrinterUnderTest& printer, std::size_t before, std::size_t count) {
        EXPECT_TRUE(printer.waitForReceived(before + count, 5s));
        const emulator::Bytes all = printer.receivedBytes();
        return emulator::Bytes(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }

    static LONG markFeed(opos::PosPrinter& control, LONG type) { return control.call("MarkFeed", {type}).rc; }
    static LONG setLogo(opos::PosPrinter& control, LONG location, const std::wstring& data) {
        return control.call("SetLogo", {location, data}).rc;
    }
};

TEST_F(ReceiptSoOutputMethodsTest, CutPaperSendsEachModelsCutCommand) {
    PrinterUnderTest* a14 = nullptr;
    auto general = readyPrinter("A14", &a14);
    const auto feedLines = static_cast<std::uint8_t>(number(*general, "RecLinesToPaperCut"));
    std::size_t before = a14->receivedBytes().size();
    // This cutter ignores the percentage: a partial request still feeds to
    // the blade and cuts the same way.
    ASSERT_EQ(general->cutPaper(50), OPOS_SUCCESS);
    EXPECT_EQ(sentAfter(*a14, before, 9), (emulator::Bytes{0x1B, 0x64, feedLines, 0, 0, 0, 0x1D, 0x56, 0x01}));
    EXPECT_EQ(number(*general, "ResultCode"), OPOS_SUCCESS);

    PrinterUnderTest* c30 = nullptr;
    auto marks = readyPrinter("C30", &c30);
    before = c30->receivedBytes().size();
    ASSERT_EQ(marks->cutPaper(50), OPOS_SUCCESS);
    EXPECT_EQ(sentAfter(*c30, before, 3), (emulator::Bytes{0x1D, 0x56, 0x01}));
    before = c30->receivedBytes().size();
    ASSERT_EQ(marks->cutPaper(PTR_CP_FULLCUT), OPOS_SUCCESS);
    EXPECT_EQ(sentAfter(*c30, before, 3), (emulator::Bytes{0x1D, 0x56, 0x00}));
    const std::string paper = c30->transcript();
    EXPECT_NE(paper.find("[cut partial]"), std::string::npos) << paper;
    EXPECT_NE(paper.find("[cut]"), std::string::npos) << paper;

    ASSERT_EQ(marks->setDeviceEnabled(false), OPOS_SUCCESS);
    before = c30->receivedBytes().size();
    EXPECT_EQ(marks->cutPaper(PTR_CP_FULLCUT), OPOS_E_DISABLED);
    EXPECT_FALSE(c30->waitForReceived(before + 1, 200ms));
}

TEST_F(ReceiptSoOutputMethodsTest, MarkFeedRefusesAnUnknownTypeAndFeedsTheKnownOnes) {
    PrinterUnderTest* printer = nullptr;
    auto control = readyPrinter("C30", &printer);
    const std::size_t before = printer->receivedBytes().size();

    EXPECT_EQ(markFeed(*control, 3), OPOS_E_FAILURE);
    EXPECT_EQ(number(*control, "ResultCode"), OPOS_E_FAILURE);
    EXPECT_FALSE(printer->waitForReceived(before + 1, 200ms));

    ASSERT_EQ(markFeed(*control, PTR_MF_TO_CUTTER), OPOS_SUCCESS);
    EXPECT_EQ(sentAfter(*printer, before, 8), (emulator::Bytes{0x1D, 0x56, 0x63, 0x03, 0x00, 0x1D, 0x56, 0x6D}));
    const std::size_t next = printer->receivedBytes().size();
    ASSERT_EQ(markFeed(*control, PTR_MF_TO_NEXT_TOF), OPOS_SUCCESS);
    EXPECT_EQ(sentAfter(*printer, next, 2), (emulator::Bytes{0x1D, 0x0C}));
}

TEST_F(ReceiptSoOutputMethodsTest, OversizedLogoIsRefusedAndTheOldOneStillPrints) {
    PrinterUnderTest* printer = nullptr;
    auto control = readyPrinter("A14", &printer);

    ASSERT_EQ(setLogo(*control, PTR_L_TOP, L"\x1b|bCCORVANE\x1b|N\n"), OPOS_SUCCESS);
    // Translated, this is well over 512 bytes of commands.
    EXPECT_EQ(setLogo(*control, PTR_L_TOP, std::wstring(600, L'Z') + L"\n"), OPOS_E_FAILURE);
    EXPECT_EQ(number(*control, "ResultCode"), OPOS_E_FAILURE);
    EXPECT_EQ(setLogo(*control, 3, L"elsewhere\n"), OPOS_E_ILLEGAL);
    EXPECT_EQ(setLogo(*control, PTR_L_BOTTOM, L""), OPOS_E_ILLEGAL);

    const std::size_t before = printer->receivedBytes().size();
    ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, L"\x1b|tLMilk   1.20\n"), OPOS_SUCCESS);
    ASSERT_TRUE(printer->waitForReceived(before + 1, 5s));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (printer->transcript().find("Milk") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        printer->waitForReceived(printer->receivedBytes().size() + 1, 50ms);
    }
    const std::string paper = printer->transcript();
    EXPECT_NE(paper.find("[bold]CORVANE"), std::string::npos) << paper;
    EXPECT_LT(paper.find("CORVANE"), paper.find("Milk   1.20")) << paper;
    EXPECT_EQ(paper.find("ZZZZ"), std::string::npos) << paper;
}

TEST_F(ReceiptSoOutputMethodsTest, PrintBarCodeReachesThePrinterAsABarcodeCommand) {
    PrinterUnderTest* a14 = nullptr;
    auto control = readyPrinter("A14", &a14);
    const std::size_t before = a14->receivedBytes().size();
    const auto barcode = [&](opos::PosPrinter& printer, LONG station, LONG symbology) {
        return printer.call("PrintBarCode", {station, std::wstring(L"12345678"), symbology, 80, 400, PTR_BC_CENTER,
                                             PTR_BC_TEXT_BELOW})
            .rc;
    };
    ASSERT_EQ(barcode(*control, PTR_S_RECEIPT, PTR_BCS_Code39), OPOS_SUCCESS);
    const emulator::Bytes command{0x1D, 0x6B, 0x45, 8, '1', '2', '3', '4', '5', '6', '7', '8'};
    // Written is not yet read by the printer: wait for the barcode itself.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    emulator::Bytes sent = sentAfter(*a14, before, 1);
    while (std::search(sent.begin(), sent.end(), command.begin(), command.end()) == sent.end() &&
           std::chrono::steady_clock::now() < deadline) {
        sent = sentAfter(*a14, before, sent.size() + 1);
    }
    EXPECT_NE(std::search(sent.begin(), sent.end(), command.begin(), command.end()), sent.end());
    // Centred, with the human-readable text below.
    const emulator::Bytes centre{0x1B, 0x61, 0x01};
    EXPECT_NE(std::search(sent.begin(), sent.end(), centre.begin(), centre.end()), sent.end());

    EXPECT_EQ(barcode(*control, PTR_S_JOURNAL, PTR_BCS_Code39), OPOS_E_FAILURE);
    EXPECT_EQ(barcode(*control, PTR_S_RECEIPT, 999), OPOS_E_ILLEGAL);

    PrinterUnderTest* k92 = nullptr;
    auto impact = readyPrinter("K92", &k92);
    EXPECT_EQ(barcode(*impact, PTR_S_RECEIPT, PTR_BCS_Code39), OPOS_E_FAILURE);
}

}  // namespace
}  // namespace printertest
