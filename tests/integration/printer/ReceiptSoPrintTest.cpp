// Printing through the control object to the virtual printer: what reaches
// the paper, synchronously and asynchronously, and the events that report
// the asynchronous jobs.
#include <algorithm>
#include <string>

#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"

namespace printertest {
namespace {

using namespace common;

class ReceiptSoPrintTest : public ReceiptSoTest {
protected:
    // An A14 on the network, open, claimed and enabled.
    std::unique_ptr<opos::PosPrinter> readyPrinter(PrinterUnderTest** printer) {
        *printer = &addNetworkPrinter("A14", "RX-A14");
        auto control = openPrinter("RX-A14");
        EXPECT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
        EXPECT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
        settle(**printer);
        return control;
    }

    static std::vector<LONG> outputIds(const std::vector<opos::Event>& events) {
        std::vector<LONG> ids;
        for (const auto& event : events) {
            if (event.kind == opos::EventKind::OutputComplete) {
                ids.push_back(event.number);
            }
        }
        return ids;
    }

    // Waits for `count` OutputComplete events, skipping the others.
    static std::vector<LONG> awaitOutputComplete(opos::ControlObject& control, std::size_t count) {
        std::vector<LONG> ids;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (ids.size() < count && std::chrono::steady_clock::now() < deadline) {
            const auto more = outputIds(events(control, 1, 500ms));
            ids.insert(ids.end(), more.begin(), more.end());
        }
        return ids;
    }

    static bool transcriptHas(const PrinterUnderTest& printer, const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (printer.transcript().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            printer.waitForReceived(printer.receivedBytes().size() + 1, 50ms);
        }
        return true;
    }

    static std::size_t find(const emulator::Bytes& bytes, const std::string& text) {
        const auto at = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
        return at == bytes.end() ? std::string::npos : static_cast<std::size_t>(at - bytes.begin());
    }
};

TEST_F(ReceiptSoPrintTest, SynchronousPrintNormalIsOnThePaperWithItsStyles) {
    PrinterUnderTest* printer = nullptr;
    auto control = readyPrinter(&printer);
    const std::size_t before = printer->receivedBytes().size();

    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"\x1b|cA\x1b|bCCorvane Store\x1b|N\nMilk   1.20\n"), OPOS_SUCCESS);
    EXPECT_EQ(number(*control, "State"), OPOS_S_IDLE);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"Bread  2.10\n"), OPOS_SUCCESS);

    ASSERT_TRUE(printer->waitForReceived(before + 1, 5s));
    ASSERT_TRUE(transcriptHas(*printer, "Bread  2.10"));
    const std::string paper = printer->transcript();
    EXPECT_NE(paper.find("[center]"), std::string::npos) << paper;
    EXPECT_NE(paper.find("[bold]Corvane Store"), std::string::npos) << paper;
    EXPECT_NE(paper.find("Milk   1.20"), std::string::npos) << paper;
    EXPECT_LT(paper.find("Milk"), paper.find("Bread")) << paper;
    // The escape sequences became commands; none reached the paper as text.
    EXPECT_EQ(find(printer->receivedBytes(), "|cA"), std::string::npos);
    EXPECT_TRUE(printer->unknownCommands().empty());
}

TEST_F(ReceiptSoPrintTest, RefusedPrintNormalSendsNothing) {
    PrinterUnderTest* printer = nullptr;
    auto control = readyPrinter(&printer);
    const std::size_t before = printer->receivedBytes().size();

    EXPECT_EQ(control->printNormal(PTR_S_JOURNAL, L"journal\n"), OPOS_E_FAILURE);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, std::wstring(16385, L'x')), OPOS_E_FAILURE);
    EXPECT_EQ(control->printImmediate(PTR_S_RECEIPT, L""), OPOS_E_ILLEGAL);
    EXPECT_EQ(number(*control, "ResultCode"), OPOS_E_ILLEGAL);
    EXPECT_FALSE(printer->waitForReceived(before + 1, 200ms));

    // The largest text still accepted prints whole.
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, std::wstring(16383, L'y') + L"\n"), OPOS_SUCCESS);
    EXPECT_TRUE(printer->waitForReceived(before + 16384, 5s));

    ASSERT_EQ(control->setDeviceEnabled(false), OPOS_SUCCESS);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"off\n"), OPOS_E_DISABLED);
}

TEST_F(ReceiptSoPrintTest, AsynchronousJobsEachEndInOneOutputCompleteInOrder) {
    PrinterUnderTest* printer = nullptr;
    auto control = readyPrinter(&printer);
    ASSERT_EQ(control->setNumber("AsyncMode", 1), OPOS_SUCCESS);

    constexpr int kJobs = 40;
    for (int i = 1; i <= kJobs; ++i) {
        ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, L"line " + std::to_wstring(i) + L"\n"), OPOS_SUCCESS);
        // Each call reports the OutputID its job got.
        EXPECT_EQ(number(*control, "OutputID"), i);
    }
    const std::vector<LONG> ids = awaitOutputComplete(*control, kJobs);
    ASSERT_EQ(ids.size(), static_cast<std::size_t>(kJobs));
    for (int i = 0; i < kJobs; ++i) {
        EXPECT_EQ(ids[static_cast<std::size_t>(i)], i + 1);
    }
    ASSERT_TRUE(transcriptHas(*printer, "line 40"));
    const emulator::Bytes bytes = printer->receivedBytes();
    EXPECT_LT(find(bytes, "line 1\n"), find(bytes, "line 2\n"));
    EXPECT_LT(find(bytes, "line 39\n"), find(bytes, "line 40\n"));

    // A synchronous job afterwards raises no event; nothing more arrives.
    ASSERT_EQ(control->setNumber("AsyncMode", 0), OPOS_SUCCESS);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"sync\n"), OPOS_SUCCESS);
    EXPECT_TRUE(outputIds(events(*control, 1, 300ms)).empty());
}

TEST_F(ReceiptSoPrintTest, PrintImmediateIsWrittenBeforeItReturnsAndRaisesNoEvent) {
    PrinterUnderTest* printer = nullptr;
    auto control = readyPrinter(&printer);
    ASSERT_EQ(control->setNumber("AsyncMode", 1), OPOS_SUCCESS);

    constexpr int kJobs = 30;
    for (int i = 1; i <= kJobs; ++i) {
        ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, L"queued " + std::to_wstring(i) + L"\n"), OPOS_SUCCESS);
    }
    ASSERT_EQ(control->printImmediate(PTR_S_RECEIPT, L"URGENT\n"), OPOS_SUCCESS);
    EXPECT_TRUE(transcriptHas(*printer, "URGENT"));

    const std::vector<LONG> ids = awaitOutputComplete(*control, kJobs);
    ASSERT_EQ(ids.size(), static_cast<std::size_t>(kJobs));
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 0), 0);
    EXPECT_EQ(ids.back(), kJobs);
    // The immediate job kept the queued jobs' order intact.
    ASSERT_TRUE(transcriptHas(*printer, "queued 30"));
    const emulator::Bytes bytes = printer->receivedBytes();
    EXPECT_LT(find(bytes, "queued 1\n"), find(bytes, "queued 30\n"));
}

TEST_F(ReceiptSoPrintTest, ClearOutputDropsQueuedJobsAndPrintingGoesOn) {
    PrinterUnderTest* printer = nullptr;
    auto control = readyPrinter(&printer);
    ASSERT_EQ(control->setNumber("AsyncMode", 1), OPOS_SUCCESS);
    for (int i = 1; i <= 20; ++i) {
        ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, L"dropped? " + std::to_wstring(i) + L"\n"), OPOS_SUCCESS);
    }
    EXPECT_EQ(control->clearOutput(), OPOS_SUCCESS);
    ASSERT_EQ(control->setNumber("AsyncMode", 0), OPOS_SUCCESS);
    EXPECT_EQ(control->printNormal(PTR_S_RECEIPT, L"after clear\n"), OPOS_SUCCESS);
    ASSERT_TRUE(transcriptHas(*printer, "after clear"));
    // Whatever was written before the clear came before the new job.
    const emulator::Bytes bytes = printer->receivedBytes();
    const std::size_t after = find(bytes, "after clear");
    for (int i = 1; i <= 20; ++i) {
        const std::size_t at = find(bytes, "dropped? " + std::to_string(i) + "\n");
        if (at != std::string::npos) {
            EXPECT_LT(at, after);
        }
    }
}

}  // namespace
}  // namespace printertest
