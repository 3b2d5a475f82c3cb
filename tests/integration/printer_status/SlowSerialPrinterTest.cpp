// A point-of-sale application on a printer that takes its data slowly: a
// serial fake that stops reading, a Linux pseudo-terminal.
#include <future>
#include <thread>

#include "ReceiptStatusFixture.h"
#include "platform/serial.h"
#include "schema/RegKey.h"
#include "support/FakePtyPrinter.h"

namespace printertest {
namespace {

using Clock = std::chrono::steady_clock;

TEST_F(ReceiptStatusTest, ASynchronousTransactionWaitsForASlowPrinterByItsWholeLength) {
    testsupport::FakePtyPrinter line({path("slow-com3"), {}, {0x14, 0x00, 0x00, 0x0F}, true});
    schema::RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, platform::kPortMapKeyPath), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.writeString("COM3", line.linkPath()), platform::ERROR_SUCCESS);
    addDevice("RX-A14", "COM3");
    auto control = enabled("RX-A14");
    // Asynchronous output fills the line and the printer's buffer first,
    // then the printer stops taking data: what follows waits behind it.
    line.setReading(false);
    ASSERT_EQ(control->setNumber("AsyncMode", 1), OPOS_SUCCESS);
    const std::wstring filler(9999, L'f');
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, filler + L"\n"), OPOS_SUCCESS);
    }
    ASSERT_EQ(control->setNumber("AsyncMode", 0), OPOS_SUCCESS);
    ASSERT_EQ(control->call("TransactionPrint", {PTR_S_RECEIPT, PTR_TP_TRANSACTION}).rc, OPOS_SUCCESS);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(control->printNormal(PTR_S_RECEIPT, L"receipt line " + std::to_wstring(i) + L"\n"), OPOS_SUCCESS);
    }
    auto closing = std::async(std::launch::async,
                              [&] { return control->call("TransactionPrint", {PTR_S_RECEIPT, PTR_TP_NORMAL}).rc; });
    // Longer than the closing bytes alone would be given.
    EXPECT_EQ(closing.wait_for(6s), std::future_status::timeout) << "gave up on the slow printer";
    line.setReading(true);
    ASSERT_EQ(closing.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(closing.get(), OPOS_SUCCESS);
    const std::string last = "receipt line 19\n";
    const auto occurrencesNow = [&] {
        const auto bytes = line.received();
        std::size_t count = 0;
        for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), last.begin(), last.end())) != bytes.end();
             ++at) {
            ++count;
        }
        return count;
    };
    // The write has ended; the printer reads what is left on the line.
    const auto deadline = Clock::now() + 5s;
    while (occurrencesNow() == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(occurrencesNow(), 1u);
}

}  // namespace
}  // namespace printertest
