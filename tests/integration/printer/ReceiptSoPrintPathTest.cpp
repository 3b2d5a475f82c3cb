// The print path as a point-of-sale application drives it, line by line
// over many calls, checked on the virtual printer's paper and bytes:
// attributes that end with their line, rotated blocks, print-mode sizes,
// barcode data refused per symbology, and synchronous output on a printer
// out of paper.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"

namespace printertest {
namespace {

using namespace common;

class ReceiptSoPrintPathTest : public ReceiptSoTest {
protected:
    std::unique_ptr<opos::PosPrinter> ready(const std::string& model, PrinterUnderTest** printer) {
        *printer = &addNetworkPrinter(model, "RX-" + model);
        auto control = openPrinter("RX-" + model);
        EXPECT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
        EXPECT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
        settle(**printer);
        return control;
    }

    // The transcript line that holds `needle`.
    static std::string lineWith(const std::string& paper, const std::string& needle) {
        const std::size_t at = paper.find(needle);
        if (at == std::string::npos) {
            return {};
        }
        const std::size_t begin = paper.rfind('\n', at);
        const std::size_t end = paper.find('\n', at);
        return paper.substr(begin == std::string::npos ? 0 : begin + 1,
                            end == std::string::npos ? std::string::npos : end - (begin == std::string::npos ? 0 : begin + 1));
    }
};

// Each sequence of calls, the bytes that show it reached the printer, and
// what must hold of the paper and of the bytes sent.
TEST_F(ReceiptSoPrintPathTest, MultiCallSequencesPrintAsAsked) {
    using Calls = std::function<void(ReceiptSoPrintPathTest&, opos::PosPrinter&)>;
    using Check = std::function<void(const std::string& paper, const emulator::Bytes& sent)>;
    struct Sequence {
        const char* name;
        const char* model;
        Calls calls;
        emulator::Bytes arrived;
        Check check;
    };
    const Sequence sequences[] = {
        {"a styled header finished by a line feed in a later call", "A14",
         [](auto&, opos::PosPrinter& c) {
             EXPECT_EQ(c.printNormal(PTR_S_RECEIPT, L"\x1b|cA\x1b|2C\x1b|uCHEADER"), OPOS_SUCCESS);
             EXPECT_EQ(c.printNormal(PTR_S_RECEIPT, L"\n"), OPOS_SUCCESS);
             EXPECT_EQ(c.printNormal(PTR_S_RECEIPT, L"plain after\n"), OPOS_SUCCESS);
         },
         text("plain after"),
         [](const std::string& paper, const emulator::Bytes& sent) {
             EXPECT_NE(lineWith(paper, "HEADER").find("[center]"), std::string::npos) << paper;
             EXPECT_EQ(lineWith(paper, "plain after"), "plain after") << paper;
             EXPECT_NE(find(sent, {0x0A, 0x1D, 0x21, 0x00, 0x1B, 0x61, 0x00, 0x1B, 0x2D, 0x00, 0x1C, 0x2D, 0x00}),
                       std::string::npos);
         }},
        {"a rotated line continued in a second call", "A14",
         [](auto&, opos::PosPrinter& c) {
             EXPECT_EQ(call(c, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_RIGHT90}), OPOS_SUCCESS);
             EXPECT_EQ(c.printNormal(PTR_S_RECEIPT, L"\x1b|2Cabcdef"), OPOS_SUCCESS);
             EXPECT_EQ(c.printNormal(PTR_S_RECEIPT, L"ghijklmnop\x1b|4Cqrs\n"), OPOS_SUCCESS);
             EXPECT_EQ(call(c, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_NORMAL}), OPOS_SUCCESS);
         },
         {0x0C, 0x1B, 0x54, 0x00},
         [](const std::string& paper, const emulator::Bytes& sent) {
             EXPECT_NE(find(sent, text("abcdef")), std::string::npos);
             EXPECT_NE(find(sent, text("ghijklmnop")), std::string::npos) << "a byte of the text was patched";
             EXPECT_NE(paper.find("ghijklmnop"), std::string::npos) << paper;
         }},
        {"a transaction with two rotated blocks", "A14",
         [](auto&, opos::PosPrinter& c) {
             EXPECT_EQ(call(c, "TransactionPrint", {PTR_S_RECEIPT, PTR_TP_TRANSACTION}), OPOS_SUCCESS);
             EXPECT_EQ(call(c, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_RIGHT90}), OPOS_SUCCESS);
             EXPECT_EQ(c.printNormal(PTR_S_RECEIPT, L"FIRST BLOCK\n"), OPOS_SUCCESS);
             EXPECT_EQ(call(c, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_LEFT90}), OPOS_SUCCESS);
             EXPECT_EQ(c.printNormal(PTR_S_RECEIPT, L"SECOND\n"), OPOS_SUCCESS);
             EXPECT_EQ(call(c, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_NORMAL}), OPOS_SUCCESS);
             EXPECT_EQ(call(c, "TransactionPrint", {PTR_S_RECEIPT, PTR_TP_NORMAL}), OPOS_SUCCESS);
         },
         {0x0C, 0x1B, 0x54, 0x00, 0x1B, 0x7B, 0x00},
         [](const std::string& paper, const emulator::Bytes& sent) {
             const emulator::Bytes header{0x1B, 0x4C, 0x1B, 0x57};
             const std::size_t first = find(sent, header);
             ASSERT_NE(first, std::string::npos);
             const std::size_t second = find(sent, header, first + 1);
             ASSERT_NE(second, std::string::npos);
             ASSERT_GE(sent.size(), second + 15);
             for (const std::size_t at : {first, second}) {
                 EXPECT_NE(sent[at + 10] | (sent[at + 11] << 8), 0) << "a block without a print area";
             }
             EXPECT_EQ(sent[first + 14], 3) << "the first block turns right";
             EXPECT_EQ(sent[second + 14], 1) << "the second block turns left";
             const std::size_t firstText = find(sent, text("FIRST BLOCK"));
             const std::size_t formFeed = find(sent, {0x0C}, firstText);
             EXPECT_LT(formFeed, second) << "the first block is printed before the second begins";
             EXPECT_NE(paper.find("FIRST BLOCK"), std::string::npos) << paper;
             EXPECT_NE(paper.find("SECOND"), std::string::npos) << paper;
         }},
        {"a logo stored before the first line", "A14",
         [](auto&, opos::PosPrinter& c) {
             EXPECT_EQ(call(c, "SetLogo", {PTR_L_TOP, std::wstring(L"\x1b|cALOGO")}), OPOS_SUCCESS);
             EXPECT_EQ(c.printNormal(PTR_S_RECEIPT, L"first line\n"), OPOS_SUCCESS);
         },
         text("first line"),
         [](const std::string& paper, const emulator::Bytes& sent) {
             // Storing the logo printed nothing: the first line still sets
             // the line spacing, and is not centred by the logo's escape.
             EXPECT_LT(find(sent, {0x1B, 0x33, 0x3C}), find(sent, text("first line")));
             EXPECT_EQ(lineWith(paper, "first line"), "first line") << paper;
         }},
        {"double width then double height on a K series printer", "K92",
         [](auto&, opos::PosPrinter& c) {
             EXPECT_EQ(c.printNormal(PTR_S_RECEIPT, L"\x1b|2C\x1b|3CTALL\n"), OPOS_SUCCESS);
         },
         text("TALL"),
         [](const std::string& paper, const emulator::Bytes&) {
             EXPECT_NE(paper.find("[size 1x2]TALL"), std::string::npos) << paper;
         }},
        {"double width then double height on F60", "F60",
         [](auto&, opos::PosPrinter& c) {
             EXPECT_EQ(c.printNormal(PTR_S_RECEIPT, L"\x1b|2C\x1b|3CTALL\n"), OPOS_SUCCESS);
         },
         text("TALL"),
         [](const std::string& paper, const emulator::Bytes&) {
             EXPECT_NE(paper.find("[size 1x2]TALL"), std::string::npos) << paper;
         }},
    };
    for (const Sequence& s : sequences) {
        SCOPED_TRACE(s.name);
        PrinterUnderTest* printer = nullptr;
        auto control = ready(s.model, &printer);
        const std::size_t before = printer->receivedBytes().size();
        s.calls(*this, *control);
        ASSERT_TRUE(arrives(*printer, s.arrived, before));
        settle(*printer);
        const emulator::Bytes all = printer->receivedBytes();
        s.check(printer->transcript(), emulator::Bytes(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()));
        control->close();
    }
}

// Data a symbology cannot carry, and symbologies the printer has no command
// for, are refused with 106 and send nothing; valid data of the same
// symbologies prints.
TEST_F(ReceiptSoPrintPathTest, BarcodeDataIsCheckedPerSymbology) {
    struct Case {
        LONG symbology;
        const wchar_t* data;
        LONG expected;
    };
    const Case cases[] = {
        {PTR_BCS_UPCA, L"abc", OPOS_E_ILLEGAL},
        {PTR_BCS_UPCA, L"123", OPOS_E_ILLEGAL},
        {PTR_BCS_UPCA, L"012345678901", OPOS_E_ILLEGAL},  // check digit should be 5
        {PTR_BCS_UPCA, L"012345678905", OPOS_SUCCESS},
        {PTR_BCS_UPCE, L"01234", OPOS_E_ILLEGAL},
        {PTR_BCS_UPCE, L"0123456", OPOS_SUCCESS},
        {PTR_BCS_EAN13, L"123", OPOS_E_ILLEGAL},
        {PTR_BCS_EAN13, L"4006381333932", OPOS_E_ILLEGAL},
        {PTR_BCS_EAN13, L"4006381333931", OPOS_SUCCESS},
        {PTR_BCS_EAN8, L"9638507", OPOS_SUCCESS},
        {PTR_BCS_EAN8, L"96385075", OPOS_E_ILLEGAL},
        {PTR_BCS_ITF, L"12345", OPOS_E_ILLEGAL},
        {PTR_BCS_ITF, L"12A4", OPOS_E_ILLEGAL},
        {PTR_BCS_ITF, L"123456", OPOS_SUCCESS},
        {PTR_BCS_Codabar, L"A12B34B", OPOS_E_ILLEGAL},
        {PTR_BCS_Codabar, L"A123B", OPOS_SUCCESS},
        {PTR_BCS_Code39, L"AB\x01" L"C", OPOS_E_ILLEGAL},
        {PTR_BCS_Code39, L"ab", OPOS_E_ILLEGAL},
        {PTR_BCS_Code39, L"CODE-39", OPOS_SUCCESS},
        {PTR_BCS_Code93, L"ABC\u00e9", OPOS_E_ILLEGAL},  // 0xE9 in the ANSI code page
        {PTR_BCS_Code128, L"{Xabc", OPOS_E_ILLEGAL},
        {PTR_BCS_Code128, L"abc", OPOS_SUCCESS},
        {PTR_BCS_TF, L"1234", OPOS_E_ILLEGAL},
        {PTR_BCS_UPCA_S, L"01234567890512", OPOS_E_ILLEGAL},
        {PTR_BCS_EAN128, L"0101234567890128", OPOS_E_ILLEGAL},
        {PTR_BCS_OCRB, L"ABC", OPOS_E_ILLEGAL},
        {999, L"123", OPOS_E_ILLEGAL},
    };
    PrinterUnderTest* printer = nullptr;
    auto control = ready("A14", &printer);
    for (const Case& c : cases) {
        const std::size_t before = printer->receivedBytes().size();
        const LONG rc = call(*control, "PrintBarCode",
                             {PTR_S_RECEIPT, std::wstring(c.data), c.symbology, 80, 400, PTR_BC_CENTER, PTR_BC_TEXT_BELOW});
        EXPECT_EQ(rc, c.expected) << c.symbology << " " << testing::PrintToString(std::wstring(c.data));
        if (c.expected == OPOS_E_ILLEGAL) {
            EXPECT_FALSE(printer->waitForReceived(before + 1, 50ms)) << c.symbology << " sent bytes";
        } else {
            EXPECT_TRUE(arrives(*printer, {0x1D, 0x6B}, before)) << c.symbology;
        }
    }
    // Two-dimensional codes only where the model has them.
    EXPECT_EQ(call(*control, "PrintBarCode", {PTR_S_RECEIPT, std::wstring(L"PDF"), PTR_BCS_PDF417, 80, 400,
                                              PTR_BC_CENTER, PTR_BC_TEXT_NONE}),
              OPOS_SUCCESS);
    PrinterUnderTest* a16 = nullptr;
    auto without = ready("A16", &a16);
    const std::size_t before = a16->receivedBytes().size();
    EXPECT_EQ(call(*without, "PrintBarCode", {PTR_S_RECEIPT, std::wstring(L"PDF"), PTR_BCS_PDF417, 80, 400,
                                              PTR_BC_CENTER, PTR_BC_TEXT_NONE}),
              OPOS_E_ILLEGAL);
    EXPECT_FALSE(a16->waitForReceived(before + 1, 100ms));
}

// Synchronous output meets the paper state before anything is sent, as
// asynchronous output meets it in the printer thread.
TEST_F(ReceiptSoPrintPathTest, SynchronousOutputFailsWhileTheReceiptIsOutOfPaper) {
    PrinterUnderTest* printer = nullptr;
    auto control = ready("A14", &printer);
    printer->changeState([](emulator::PrinterState& state) { state.receiptEnd = state.receiptNearEnd = true; });
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (number(*control, "RecEmpty") != 1 && std::chrono::steady_clock::now() < deadline) {
        printer->waitForReceived(printer->receivedBytes().size() + 1, 20ms);
    }
    ASSERT_EQ(number(*control, "RecEmpty"), 1);
    const std::size_t before = printer->receivedBytes().size();
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"no paper\n"), OPOS_E_EXTENDED);
    EXPECT_EQ(number(*control, "ResultCodeExtended"), OPOS_EPTR_REC_EMPTY);
    EXPECT_EQ(control->cutPaper(100), OPOS_E_EXTENDED);
    EXPECT_EQ(call(*control, "PrintBarCode", {PTR_S_RECEIPT, std::wstring(L"123456"), PTR_BCS_ITF, 80, 400,
                                              PTR_BC_CENTER, PTR_BC_TEXT_NONE}),
              OPOS_E_EXTENDED);
    EXPECT_FALSE(printer->waitForReceived(before + 1, 200ms)) << "output was sent to a printer out of paper";

    printer->changeState([](emulator::PrinterState& state) { state.receiptEnd = state.receiptNearEnd = false; });
    const auto refilled = std::chrono::steady_clock::now() + 5s;
    while (number(*control, "RecEmpty") != 0 && std::chrono::steady_clock::now() < refilled) {
        printer->waitForReceived(printer->receivedBytes().size() + 1, 20ms);
    }
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"paper again\n"), OPOS_SUCCESS);
    EXPECT_TRUE(arrives(*printer, text("paper again"), before));
}

}  // namespace
}  // namespace printertest
