// Output that is collected before it prints (transactions, rotated blocks),
// the idle marker, and F60's slip station, through the control object to
// the virtual printer.
#include <algorithm>
#include <chrono>
#include <string>

#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"
#include "printer/ModelCatalogue.h"

namespace printertest {
namespace {

using namespace common;

class ReceiptSoCollectingTest : public ReceiptSoTest {
protected:
    std::unique_ptr<opos::PosPrinter> ready(const std::string& model, PrinterUnderTest** printer) {
        *printer = &addNetworkPrinter(model, "RX-" + model);
        auto control = openPrinter("RX-" + model);
        EXPECT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
        EXPECT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
        control->setEventQueueCapacity(1000);
        settle(**printer);
        return control;
    }

    // Waits for a StatusUpdate with `status`, skipping other events.
    static bool awaitStatus(opos::ControlObject& control, LONG status, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        opos::Event event;
        while (std::chrono::steady_clock::now() < deadline) {
            if (control.waitForEvent(&event, 50ms) && event.kind == opos::EventKind::StatusUpdate &&
                event.number == status) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(ReceiptSoCollectingTest, ATransactionPrintsNothingUntilItEndsThenEverythingInOrder) {
    PrinterUnderTest* printer = nullptr;
    auto control = ready("A14", &printer);
    const std::size_t before = printer->receivedBytes().size();

    ASSERT_EQ(call(*control, "TransactionPrint", {PTR_S_RECEIPT, PTR_TP_TRANSACTION}), OPOS_SUCCESS);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"first line\n"), OPOS_SUCCESS);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"second line\n"), OPOS_SUCCESS);
    EXPECT_EQ(control->cutPaper(90), OPOS_SUCCESS);
    EXPECT_FALSE(printer->waitForReceived(before + 1, 300ms)) << "a transaction printed before it ended";

    ASSERT_EQ(call(*control, "TransactionPrint", {PTR_S_RECEIPT, PTR_TP_NORMAL}), OPOS_SUCCESS);
    ASSERT_TRUE(arrives(*printer, {0x1D, 0x56, 0x01, 0x1B, 0x7B, 0x00}, before));
    const emulator::Bytes bytes = printer->receivedBytes();
    const std::size_t first = find(bytes, text("first line"), before);
    const std::size_t second = find(bytes, text("second line"), before);
    const std::size_t cut = find(bytes, {0x1D, 0x56, 0x01}, before);
    const std::size_t ending = find(bytes, {0x1B, 0x7B, 0x00}, cut);
    ASSERT_NE(first, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, cut);
    EXPECT_NE(ending, std::string::npos) << "the transaction's ending follows the cut";

    // Ending again, with no transaction open, prints nothing and succeeds.
    const std::size_t after = printer->receivedBytes().size();
    EXPECT_EQ(call(*control, "TransactionPrint", {PTR_S_RECEIPT, PTR_TP_NORMAL}), OPOS_SUCCESS);
    EXPECT_FALSE(printer->waitForReceived(after + 1, 200ms));
}

TEST_F(ReceiptSoCollectingTest, ClearOutputDropsAnOpenTransaction) {
    PrinterUnderTest* printer = nullptr;
    auto control = ready("A14", &printer);
    ASSERT_EQ(call(*control, "TransactionPrint", {PTR_S_RECEIPT, PTR_TP_TRANSACTION}), OPOS_SUCCESS);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"never printed\n"), OPOS_SUCCESS);
    EXPECT_EQ(control->clearOutput(), OPOS_SUCCESS);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"printed at once\n"), OPOS_SUCCESS);
    EXPECT_TRUE(arrives(*printer, text("printed at once")));
    EXPECT_EQ(find(printer->receivedBytes(), text("never printed")), std::string::npos);
}

TEST_F(ReceiptSoCollectingTest, ARotatedBlockIsSentWholeWithItsPrintArea) {
    PrinterUnderTest* printer = nullptr;
    auto control = ready("A14", &printer);
    const std::size_t before = printer->receivedBytes().size();

    ASSERT_EQ(call(*control, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_RIGHT90}), OPOS_SUCCESS);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"SIDEWAYS\n"), OPOS_SUCCESS);
    EXPECT_FALSE(printer->waitForReceived(before + 1, 200ms)) << "a rotated block printed before it ended";
    ASSERT_EQ(call(*control, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_NORMAL}), OPOS_SUCCESS);
    ASSERT_TRUE(arrives(*printer, {0x0C, 0x1B, 0x54, 0x00}, before));

    const emulator::Bytes bytes = printer->receivedBytes();
    const std::size_t header = find(bytes, {0x1B, 0x4C, 0x1B, 0x57}, before);
    ASSERT_NE(header, std::string::npos);
    ASSERT_GE(bytes.size(), header + 15);
    const printer::ModelEntry* model = printer::detectModel("RX-A14");
    ASSERT_NE(model, nullptr);
    const int dx = bytes[header + 8] | (bytes[header + 9] << 8);
    const int dy = bytes[header + 10] | (bytes[header + 11] << 8);
    EXPECT_EQ(dx, model->values.printWidth);
    // The block is as high as its widest line is long, in double dots.
    EXPECT_EQ(dy, 2 * 8 * model->values.charWidth);
    EXPECT_EQ(bytes[header + 14], 3) << "a right turn is ESC T 3";
    const std::size_t textAt = find(bytes, text("SIDEWAYS"), header);
    const std::size_t end = find(bytes, {0x0C, 0x1B, 0x54, 0x00}, header);
    EXPECT_LT(textAt, end);

    // An empty rotated block is dropped: only its end reaches the printer.
    const std::size_t empty = printer->receivedBytes().size();
    ASSERT_EQ(call(*control, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_LEFT90}), OPOS_SUCCESS);
    ASSERT_EQ(call(*control, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_NORMAL}), OPOS_SUCCESS);
    ASSERT_TRUE(arrives(*printer, {0x0C, 0x1B, 0x54, 0x00}, empty));
    const emulator::Bytes afterEmpty = printer->receivedBytes();
    EXPECT_EQ(find(afterEmpty, {0x1B, 0x4C}, empty), std::string::npos);
    EXPECT_NE(find(afterEmpty, {0x0C, 0x1B, 0x54, 0x00}, empty), std::string::npos);
}

TEST_F(ReceiptSoCollectingTest, RotationIsRefusedWhereTheModelCannotTurnText) {
    PrinterUnderTest* printer = nullptr;
    auto control = ready("K92", &printer);
    EXPECT_EQ(call(*control, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_RIGHT90}), OPOS_E_FAILURE);
    // Upside down is fine on this model, and back to normal.
    EXPECT_EQ(call(*control, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_ROTATE180}), OPOS_SUCCESS);
    EXPECT_EQ(call(*control, "RotatePrint", {PTR_S_RECEIPT, PTR_RP_NORMAL}), OPOS_SUCCESS);
    EXPECT_EQ(call(*control, "RotatePrint", {PTR_S_JOURNAL, PTR_RP_NORMAL}), OPOS_E_FAILURE);
}

TEST_F(ReceiptSoCollectingTest, TheIdleMarkerReportsIdleAfterTheQueuedJobsAndWritesNothing) {
    PrinterUnderTest* printer = nullptr;
    auto control = ready("A14", &printer);
    ASSERT_EQ(control->setNumber("AsyncMode", 1), OPOS_SUCCESS);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, L"queued " + std::to_wstring(i) + L"\n"), OPOS_SUCCESS);
    }
    ASSERT_EQ(control->setNumber("FlagWhenIdle", 1), OPOS_SUCCESS);
    EXPECT_EQ(number(*control, "FlagWhenIdle"), 0);

    // Every OutputComplete comes before the idle status.
    int completes = 0;
    bool idle = false;
    opos::Event event;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!idle && std::chrono::steady_clock::now() < deadline) {
        if (!control->waitForEvent(&event, 100ms)) {
            continue;
        }
        if (event.kind == opos::EventKind::OutputComplete) {
            ++completes;
        } else if (event.kind == opos::EventKind::StatusUpdate && event.number == PTR_SUE_IDLE) {
            idle = true;
        }
    }
    EXPECT_TRUE(idle);
    EXPECT_EQ(completes, 20);

    // In synchronous mode too, the marker's filler never reaches the paper.
    // Written is not yet read by the printer: wait for the last line.
    const auto arrived = std::chrono::steady_clock::now() + 5s;
    while (find(printer->receivedBytes(), text("queued 19")) == std::string::npos &&
           std::chrono::steady_clock::now() < arrived) {
        printer->waitForReceived(printer->receivedBytes().size() + 1, 50ms);
    }
    ASSERT_EQ(control->setNumber("AsyncMode", 0), OPOS_SUCCESS);
    const std::size_t before = printer->receivedBytes().size();
    ASSERT_EQ(control->setNumber("FlagWhenIdle", 1), OPOS_SUCCESS);
    EXPECT_TRUE(awaitStatus(*control, PTR_SUE_IDLE, 5s));
    printer->waitForReceived(before + 1, 200ms);
    const emulator::Bytes bytes = printer->receivedBytes();
    EXPECT_EQ(bytes.size(), before) << testing::PrintToString(emulator::Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(before, bytes.size())), bytes.end()));
}

TEST_F(ReceiptSoCollectingTest, CharacterSetSendsTheModelsCodeTable) {
    PrinterUnderTest* printer = nullptr;
    auto control = ready("A14", &printer);
    const std::size_t before = printer->receivedBytes().size();
    ASSERT_EQ(control->setNumber("CharacterSet", 858), OPOS_SUCCESS);
    EXPECT_TRUE(arrives(*printer, {0x1B, 0x74, 19, 0x1B, 0x52, 0x00}, before));
    EXPECT_EQ(number(*control, "CharacterSet"), 858);
}

TEST_F(ReceiptSoCollectingTest, SlipInsertionTimesOutWithoutAFormAndIsF60Only) {
    PrinterUnderTest* printer = nullptr;
    auto control = ready("F60", &printer);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(call(*control, "BeginInsertion", {300}), OPOS_E_TIMEOUT);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 180ms);
    EXPECT_LT(waited, 2s);
    // The slip station was selected for the form.
    EXPECT_TRUE(arrives(*printer, {0x1B, 0x63, 0x30, 0x04}));
    // The insertion was begun, so it can be ended; then slip output passes.
    EXPECT_EQ(call(*control, "EndInsertion", {}), OPOS_SUCCESS);
    EXPECT_EQ(call(*control, "EndInsertion", {}), OPOS_E_FAILURE);
    EXPECT_EQ(call(*control, "BeginInsertion", {-2}), OPOS_E_FAILURE);

    PrinterUnderTest* other = nullptr;
    auto a14 = ready("A14", &other);
    EXPECT_EQ(call(*a14, "BeginInsertion", {0}), OPOS_E_FAILURE);
    EXPECT_EQ(call(*a14, "BeginRemoval", {0}), OPOS_E_FAILURE);
    EXPECT_EQ(call(*a14, "ChangePrintSide", {1}), OPOS_E_ILLEGAL);
    EXPECT_EQ(call(*a14, "ValidateData", {PTR_S_RECEIPT, std::wstring(L"\x1b|bCtext")}), OPOS_SUCCESS);
    EXPECT_EQ(call(*a14, "ValidateData", {PTR_S_SLIP, std::wstring(L"text")}), OPOS_E_FAILURE);
}

TEST_F(ReceiptSoCollectingTest, SlipOutputWaitsForAnEndedInsertion) {
    PrinterUnderTest* printer = nullptr;
    auto control = ready("F60", &printer);
    const std::size_t before = printer->receivedBytes().size();
    EXPECT_EQ(control->printNormal(PTR_S_SLIP, L"cheque\n"), OPOS_E_FAILURE);
    EXPECT_EQ(control->printNormal(PTR_S_JOURNAL, L"journal line\n"), OPOS_SUCCESS);
    EXPECT_TRUE(arrives(*printer, text("journal line"), before));
    // The refused slip text was never sent; the journal line was, to its station.
    const emulator::Bytes bytes = printer->receivedBytes();
    EXPECT_EQ(find(bytes, text("cheque"), before), std::string::npos);
    EXPECT_EQ(find(bytes, {0x1B, 0x63, 0x30, 0x04}, before), std::string::npos);
    EXPECT_LT(find(bytes, {0x1B, 0x63, 0x30, 0x01}, before), find(bytes, text("journal line"), before));
}

TEST_F(ReceiptSoCollectingTest, PrintTwoNormalPrintsBothStationsInOnePassOnF60Only) {
    PrinterUnderTest* printer = nullptr;
    auto control = ready("F60", &printer);
    const std::size_t before = printer->receivedBytes().size();
    EXPECT_EQ(call(*control, "PrintTwoNormal", {PTR_S_JOURNAL_RECEIPT, std::wstring(L"JRN\n"), std::wstring(L"REC\n")}),
              OPOS_SUCCESS);
    ASSERT_TRUE(arrives(*printer, text("REC"), before));
    const emulator::Bytes bytes = printer->receivedBytes();
    const std::size_t select = find(bytes, {0x1B, 0x63, 0x30, 0x03}, before);
    const std::size_t journal = find(bytes, text("JRN"), before);
    const std::size_t receipt = find(bytes, text("REC"), before);
    ASSERT_NE(select, std::string::npos);
    EXPECT_LT(select, journal);
    EXPECT_LT(journal, receipt);
    // The line breaks inside were replaced by one at the end.
    EXPECT_EQ(bytes[journal + 3], 0x1E);
    EXPECT_EQ(call(*control, "PrintTwoNormal", {PTR_S_RECEIPT, std::wstring(L"a"), std::wstring(L"b")}), OPOS_E_FAILURE);
    EXPECT_EQ(call(*control, "PrintTwoNormal", {PTR_S_JOURNAL_RECEIPT, std::wstring(), std::wstring()}), OPOS_SUCCESS);

    PrinterUnderTest* other = nullptr;
    auto a14 = ready("A14", &other);
    EXPECT_EQ(call(*a14, "PrintTwoNormal", {PTR_S_JOURNAL_RECEIPT, std::wstring(L"a"), std::wstring(L"b")}),
              OPOS_E_FAILURE);
}

}  // namespace
}  // namespace printertest
