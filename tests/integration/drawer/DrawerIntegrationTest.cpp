// The drawer service object end to end: control object -> drawerso ->
// portlink -> the virtual printer, on the network or on a serial line.
#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <future>
#include <optional>
#include <mutex>
#include <vector>
#include <thread>

#include "DrawerTestFixture.h"
#include "common/OposConstants.h"
#include "platform/module.h"
#include "platform/ui.h"
#include "portlink/portlink.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace drawertest {
namespace {

using namespace std::chrono_literals;
using emulator::PrinterState;

const Bytes kPulsePin2 = {0x10, 0x14, 0x01, 0x00, 0x05};
const Bytes kPulsePin5 = {0x10, 0x14, 0x01, 0x01, 0x05};

void setDrawer(testsupport::PrinterUnderTest& printer, bool open) {
    printer.changeState([open](PrinterState& state) { state.drawerOpen = open; });
}

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST_F(DrawerTest, OpenDrawerPulsesTheConfiguredPinAndFollowsTheSensor) {
    addDrawer(schema::OpenSignalLow, schema::DrawerPin5);
    const opos::Event first = openClaimEnable();
    EXPECT_EQ(first.kind, opos::EventKind::StatusUpdate);
    EXPECT_EQ(first.number, common::CASH_SUE_DRAWERCLOSED);
    EXPECT_TRUE(received(kEnableCommand));
    EXPECT_EQ(numberOf("DrawerOpened"), 0);

    const auto start = Clock::now();
    EXPECT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
    // openDrawer returns once the status thread saw the drawer open, well
    // before its 10 s limit.
    EXPECT_LT(millisecondsSince(start), 3000);
    EXPECT_EQ(occurrences(kPulsePin5), 1u);
    EXPECT_FALSE(received(kPulsePin2));
    EXPECT_EQ(numberOf("DrawerOpened"), 1);
    EXPECT_EQ(numberOf("State"), common::OPOS_S_BUSY);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWEROPEN);

    setDrawer(m_printer, false);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWERCLOSED);
    EXPECT_EQ(numberOf("DrawerOpened"), 0);
    EXPECT_EQ(numberOf("State"), common::OPOS_S_IDLE);
    EXPECT_TRUE(noEventWithin(300ms));
}

TEST_F(DrawerTest, OpenSingleOneReadsTheSetSensorBitAsOpen) {
    // The printer is wired the usual way (bit set while closed), the drawer
    // key says the opposite: the closed drawer reads as open.
    addDrawer(schema::OpenSignalHigh, schema::DrawerPin2);
    EXPECT_EQ(m_printer.statusBlock()[0] & 0x04, 0x04);
    EXPECT_EQ(openClaimEnable().number, common::CASH_SUE_DRAWEROPEN);
    EXPECT_EQ(numberOf("DrawerOpened"), 1);
    setDrawer(m_printer, true);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWERCLOSED);
}

TEST_F(DrawerTest, OpenSingleOneFollowsAHighWiredSensor) {
    m_printer.changeState([](PrinterState& state) { state.drawerOpenReadsHigh = true; });
    addDrawer(schema::OpenSignalHigh, schema::DrawerPin2);
    EXPECT_EQ(openClaimEnable().number, common::CASH_SUE_DRAWERCLOSED);
    EXPECT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
    EXPECT_EQ(occurrences(kPulsePin2), 1u);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWEROPEN);
    EXPECT_EQ(numberOf("DrawerOpened"), 1);
}

TEST_F(DrawerTest, MethodsRefuseWhileDisabled) {
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    ASSERT_EQ(m_drawer.open(drawerName()), common::OPOS_SUCCESS);
    ASSERT_EQ(m_drawer.claimDevice(0), common::OPOS_SUCCESS);
    EXPECT_EQ(m_drawer.openDrawer(), common::OPOS_E_DISABLED);
    EXPECT_EQ(m_drawer.waitForDrawerClose(0, 0, 0, 0), common::OPOS_E_DISABLED);
    EXPECT_FALSE(received(kPulsePin2));
    EXPECT_EQ(numberOf("CapStatus"), 1);
    EXPECT_EQ(numberOf("PowerState"), common::OPOS_PS_UNKNOWN);
    LONG data = 7;
    std::wstring text = L"x";
    EXPECT_EQ(m_drawer.directIO(1, &data, &text), common::OPOS_SUCCESS);
    EXPECT_EQ(data, 7);
    // Closing a drawer whose threads never ran does not wait for them.
    const auto start = Clock::now();
    EXPECT_EQ(m_drawer.close().rc, common::OPOS_SUCCESS);
    EXPECT_LT(millisecondsSince(start), 2000);
}

TEST_F(DrawerTest, WaitForDrawerCloseReturnsWhenTheDrawerShuts) {
    m_printer.changeState([](PrinterState& state) { state.drawerClosesAfter = 800ms; });
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    openClaimEnable();

    // A closed drawer: back after the short settling pause.
    auto start = Clock::now();
    EXPECT_EQ(m_drawer.waitForDrawerClose(100, 1000, 100, 100), common::OPOS_SUCCESS);
    EXPECT_LT(millisecondsSince(start), 1000);

    ASSERT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWEROPEN);
    start = Clock::now();
    EXPECT_EQ(m_drawer.waitForDrawerClose(100, 1000, 100, 100), common::OPOS_SUCCESS);
    EXPECT_FALSE(m_printer.state().drawerOpen);
    EXPECT_LT(millisecondsSince(start), 3000);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWERCLOSED);
    EXPECT_EQ(numberOf("State"), common::OPOS_S_IDLE);
}

TEST_F(DrawerTest, WaitForDrawerCloseEndsWhenTheDeviceIsReleasedMeanwhile) {
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    openClaimEnable();
    ASSERT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
    auto waiting = std::async(std::launch::async, [this] { return m_drawer.waitForDrawerClose(0, 800, 50, 100); });
    EXPECT_EQ(waiting.wait_for(600ms), std::future_status::timeout);
    EXPECT_EQ(m_drawer.releaseDevice(), common::OPOS_SUCCESS);
    ASSERT_EQ(waiting.wait_for(3s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), common::OPOS_E_FAILURE);
}

TEST_F(DrawerTest, TwoWaitsForDrawerCloseAtOnceBothReturnWhenItShuts) {
    m_printer.changeState([](PrinterState& state) { state.drawerClosesAfter = 1500ms; });
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    openClaimEnable();
    ASSERT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
    auto wait = [this] { return m_drawer.waitForDrawerClose(0, 800, 50, 100); };
    auto first = std::async(std::launch::async, wait);
    auto second = std::async(std::launch::async, wait);
    ASSERT_EQ(first.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(second.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(first.get(), common::OPOS_SUCCESS);
    EXPECT_EQ(second.get(), common::OPOS_SUCCESS);
}

TEST_F(DrawerTest, AReleaseOrCloseAtTheStartOfAWaitEndsIt) {
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "release");
        addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
        openClaimEnable();
        ASSERT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
        auto waiting = std::async(std::launch::async, [this] { return m_drawer.waitForDrawerClose(0, 800, 50, 100); });
        // The release or close comes 50 ms into the wait, before the wait
        // settled on the drawer; one that overtook the call is refused.
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(close ? m_drawer.close().rc : m_drawer.releaseDevice(), common::OPOS_SUCCESS);
        if (waiting.wait_for(2s) != std::future_status::ready) {
            ADD_FAILURE() << "the wait outlived the device";
            setDrawer(m_printer, false);
            m_drawer.close();
        }
        EXPECT_NE(waiting.get(), common::OPOS_SUCCESS);
        m_drawer.close();
        setDrawer(m_printer, false);
    }
}

TEST_F(DrawerTest, WhileEventsAreFrozenTheSensorIsStillReadAndEventsWaitForTheThaw) {
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    openClaimEnable();
    ASSERT_EQ(m_drawer.setNumber("FreezeEvents", 1), common::OPOS_SUCCESS);
    const auto start = Clock::now();
    EXPECT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
    EXPECT_LT(millisecondsSince(start), 3000) << "openDrawer waited for a sensor nobody read";
    EXPECT_EQ(numberOf("DrawerOpened"), 1);
    EXPECT_TRUE(noEventWithin(300ms));
    ASSERT_EQ(m_drawer.setNumber("FreezeEvents", 0), common::OPOS_SUCCESS);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWEROPEN);
}

TEST_F(DrawerTest, ReleaseOrCloseFromAnEventHandlerReturnsAtOnce) {
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "release");
        addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
        std::mutex mutex;
        std::condition_variable returned;
        std::optional<long long> took;
        LONG rc = -1;
        int afterwards = 0;
        m_drawer.setEventHandler([&](opos::Event& event) {
            {
                std::lock_guard lock(mutex);
                if (took) {
                    ++afterwards;
                    return;
                }
            }
            if (event.number != common::CASH_SUE_DRAWEROPEN) {
                return;
            }
            const auto start = Clock::now();
            const LONG result = close ? m_drawer.close().rc : m_drawer.releaseDevice();
            std::lock_guard lock(mutex);
            rc = result;
            took = millisecondsSince(start);
            returned.notify_all();
        });
        openClaimEnable();
        ASSERT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
        {
            std::unique_lock lock(mutex);
            EXPECT_TRUE(returned.wait_for(lock, 5s, [&] { return took.has_value(); }));
            returned.wait_for(lock, 60s, [&] { return took.has_value(); });
            EXPECT_EQ(rc, common::OPOS_SUCCESS);
            EXPECT_LT(took.value_or(60000), 1000);
        }
        // The event that fired the handler reached the application; nothing
        // after it does.
        EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWEROPEN);
        setDrawer(m_printer, false);
        EXPECT_TRUE(noEventWithin(1500ms));
        {
            std::lock_guard lock(mutex);
            EXPECT_EQ(afterwards, 0);
        }
        m_drawer.setEventHandler({});
        m_drawer.close();
    }
}

TEST_F(DrawerTest, ClearInputAndClearOutputWriteTheirResultLines) {
    // The log goes to the install directory: the registry's folder here.
    const std::string uninstaller = "\"" + registryDirectory() + "/unins000\"";
    schema::RegKey uninstall;
    ASSERT_EQ(uninstall.create(platform::HKLM, schema::kUninstallKeyPath), platform::ERROR_SUCCESS);
    ASSERT_EQ(uninstall.writeString(schema::kUninstallStringValue, uninstaller), platform::ERROR_SUCCESS);
    std::ofstream(registryDirectory() + "/OPOSLog.ini")
        << "[Cash_Log]\nlevel=Log_Level_Debug\nmode=Log_Mode_Simple\nformat=%v\n";
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    ASSERT_EQ(m_drawer.open(drawerName()), common::OPOS_SUCCESS);
    EXPECT_EQ(m_drawer.clearInput(), 1);
    EXPECT_EQ(m_drawer.clearOutput(), 1);
    m_drawer.close();

    std::vector<std::string> lines;
    std::ifstream log(registryDirectory() + "/Cashlog/CashRollback.log");
    for (std::string line; std::getline(log, line);) {
        lines.push_back(line);
    }
    for (const std::string method : {"Cash.ClearInput(", "Cash.ClearOutput("}) {
        SCOPED_TRACE(method);
        const auto call = std::find_if(lines.begin(), lines.end(),
                                       [&](const std::string& line) { return line.starts_with(method); });
        ASSERT_NE(call, lines.end());
        ASSERT_NE(call, lines.begin());
        // ResultCode 1 has no name of its own.
        EXPECT_NE((call - 1)->find("ResultCode:NONE(0x01)"), std::string::npos) << *(call - 1);
    }
}

TEST_F(DrawerTest, ReleaseThenClaimAndEnableBringsTheThreadsBack) {
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    openClaimEnable();
    ASSERT_EQ(m_drawer.releaseDevice(), common::OPOS_SUCCESS);
    EXPECT_EQ(numberOf("DeviceEnabled"), 0);
    EXPECT_EQ(numberOf("Claimed"), 0);

    ASSERT_EQ(m_drawer.claimDevice(0), common::OPOS_SUCCESS);
    ASSERT_EQ(m_drawer.setDeviceEnabled(true), common::OPOS_SUCCESS);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWERCLOSED);
    const auto start = Clock::now();
    EXPECT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
    EXPECT_LT(millisecondsSince(start), 3000);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWEROPEN);
}

TEST_F(DrawerTest, FrozenEventsAreHeldAndDeliveredInOrder) {
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    ASSERT_EQ(m_drawer.open(drawerName()), common::OPOS_SUCCESS);
    ASSERT_EQ(m_drawer.claimDevice(0), common::OPOS_SUCCESS);
    ASSERT_EQ(m_drawer.setNumber("FreezeEvents", 1), common::OPOS_SUCCESS);
    ASSERT_EQ(m_drawer.setDeviceEnabled(true), common::OPOS_SUCCESS);
    ASSERT_EQ(m_drawer.setDeviceEnabled(false), common::OPOS_SUCCESS);
    setDrawer(m_printer, true);
    ASSERT_EQ(m_drawer.setDeviceEnabled(true), common::OPOS_SUCCESS);
    EXPECT_TRUE(noEventWithin(500ms));
    ASSERT_EQ(m_drawer.setNumber("FreezeEvents", 0), common::OPOS_SUCCESS);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWERCLOSED);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWEROPEN);
}

TEST_F(DrawerTest, CheckHealthLevels) {
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    openClaimEnable();
    EXPECT_EQ(m_drawer.checkHealth(common::OPOS_CH_INTERNAL), common::OPOS_SUCCESS);
    EXPECT_FALSE(received(kPulsePin2));
    std::size_t sent = m_printer.receivedBytes().size();
    EXPECT_EQ(m_drawer.checkHealth(common::OPOS_CH_EXTERNAL), common::OPOS_SUCCESS);
    ASSERT_TRUE(m_printer.waitForReceived(sent + kPulsePin2.size(), 5s));
    EXPECT_EQ(occurrences(kPulsePin2), 1u);

    // A person who only presses Cancel: nothing is sent.
    std::vector<std::string> shown;
    platform::setDialogProvider([&](const platform::DialogDescription& dialog, const platform::DialogStart&) {
        shown = dialog.texts;
        EXPECT_EQ(dialog.title, "Dialog");
        EXPECT_EQ(dialog.startButton, "Start");
        EXPECT_EQ(dialog.closeButton, "Cancel");
    });
    EXPECT_EQ(m_drawer.checkHealth(common::OPOS_CH_INTERACTIVE), common::OPOS_SUCCESS);
    EXPECT_EQ(occurrences(kPulsePin2), 1u);
    EXPECT_EQ(shown, (std::vector<std::string>{"CheckHealth Method", "Push The [Start] Button To Start"}));

    std::string answer;
    platform::setDialogProvider([&](const platform::DialogDescription&, const platform::DialogStart& pressStart) {
        answer = pressStart();
    });
    sent = m_printer.receivedBytes().size();
    EXPECT_EQ(m_drawer.checkHealth(common::OPOS_CH_INTERACTIVE), common::OPOS_SUCCESS);
    EXPECT_EQ(answer, "OPOS_SUCCESS");
    ASSERT_TRUE(m_printer.waitForReceived(sent + kPulsePin2.size(), 5s));
    EXPECT_EQ(occurrences(kPulsePin2), 2u);
    std::wstring text;
    EXPECT_EQ(m_drawer.getText("CheckHealthText", &text), common::OPOS_SUCCESS);
    EXPECT_EQ(text, L"Interactive HCheck: Successful");
}

// Only what is particular to the serial line: the network cases cover how
// the drawer follows its sensor. (Two status blocks queued unread on a serial
// line stop the status reads for good, so these tests never let one pile up.)
TEST_F(DrawerTest, SerialOpenDrawerSendsThePulseOnTheLine) {
    useSerialLine();
    addDrawer(schema::OpenSignalLow, schema::DrawerPin5);
    EXPECT_EQ(openClaimEnable().number, common::CASH_SUE_DRAWERCLOSED);
    // The line hands bytes to the printer on its own thread.
    ASSERT_TRUE(m_printer.waitForReceived(kEnableCommand.size(), 5s));
    EXPECT_TRUE(received(kEnableCommand));

    const auto start = Clock::now();
    EXPECT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
    // The call returns once the printer reports the drawer open; a status
    // block queued behind another must not hold that back.
    EXPECT_LT(millisecondsSince(start), 2000);
    ASSERT_TRUE(m_printer.waitForReceived(kEnableCommand.size() + kPulsePin5.size(), 5s));
    EXPECT_EQ(occurrences(kPulsePin5), 1u);
    EXPECT_FALSE(received(kPulsePin2));
    EXPECT_TRUE(m_printer.state().drawerOpen);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWEROPEN);
}

TEST_F(DrawerTest, SerialOpenDrawerFailsWhileThePrinterIsOffLineAndSendsNothing) {
    useSerialLine();
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    EXPECT_EQ(openClaimEnable().number, common::CASH_SUE_DRAWERCLOSED);
    ASSERT_TRUE(m_printer.waitForReceived(kEnableCommand.size(), 5s));

    // Switched off, the line shows no modem signal at all.
    powerSerialPrinter(false);
    const auto start = Clock::now();
    EXPECT_EQ(m_drawer.openDrawer(), common::OPOS_E_FAILURE);
    // Refused up front, not after the wait for the drawer to report open.
    EXPECT_LT(millisecondsSince(start), 2000);
    EXPECT_EQ(numberOf("ResultCode"), common::OPOS_E_FAILURE);
    EXPECT_EQ(numberOf("State"), common::OPOS_S_IDLE);
    EXPECT_EQ(numberOf("DrawerOpened"), 0);

    // Back on, the refused pulse must not turn up late: the next thing on
    // the line is the enable command that re-arms the automatic status.
    powerSerialPrinter(true);
    const std::size_t before = m_printer.receivedBytes().size();
    ASSERT_EQ(m_drawer.setDeviceEnabled(false), common::OPOS_SUCCESS);
    ASSERT_EQ(m_drawer.setDeviceEnabled(true), common::OPOS_SUCCESS);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWERCLOSED);
    ASSERT_TRUE(m_printer.waitForReceived(before + kEnableCommand.size(), 5s));
    EXPECT_EQ(occurrences(kEnableCommand), 2u);
    EXPECT_EQ(occurrences(kPulsePin2), 0u);
    EXPECT_FALSE(m_printer.state().drawerOpen);
}

TEST_F(DrawerTest, DrawerSharesItsPrintersNetworkConnection) {
    addPrinter();
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    // The printer side, as a printer service object in this process holds it.
    int32_t kind = 0, index = -1, step = 0, sysError = 0;
    ASSERT_NE(OpenPort(schema::kPosPrinterClass, printerName().c_str(), &kind, &index, 0, &step, &sysError), -1);
    ASSERT_EQ(dataConnections(), 1u);

    openClaimEnable();
    EXPECT_EQ(dataConnections(), 1u);

    // A receipt goes out on the printer's side while the drawer opens.
    Bytes receipt = {0x1B, 0x40};
    for (int line = 0; line < 40; ++line) {
        const std::string text = "Receipt line " + std::to_string(line) + "\n";
        receipt.insert(receipt.end(), text.begin(), text.end());
    }
    receipt.insert(receipt.end(), {0x1D, 0x56, 0x00});
    auto printing = std::async(std::launch::async, [&] {
        int32_t writeStep = 0, writeError = 0;
        return WritePort(index, 0, receipt.data(), static_cast<int32_t>(receipt.size()), 10000, 0, &writeStep,
                         &writeError);
    });
    EXPECT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
    EXPECT_EQ(printing.get(), 1);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWEROPEN);
    EXPECT_TRUE(received(receipt));
    EXPECT_EQ(occurrences(kPulsePin2), 1u);
    EXPECT_EQ(dataConnections(), 1u);

    // The drawer's close leaves the printer's reference, and its connection.
    EXPECT_EQ(m_drawer.close().rc, common::OPOS_SUCCESS);
    EXPECT_EQ(dataConnections(), 1u);
    int32_t closeStep = 0;
    ClosePort(index, 0, 0, &closeStep, &sysError);
    EXPECT_EQ(closeStep, 2);
    EXPECT_NE(sysError, -1);
}

// The printer pushes each sensor change: the drawer follows it well inside
// one second's poll, opening and closing, also while a printer service
// object on the same connection watches that printer's status too.
void expectPromptDrawerChanges(testsupport::PrinterUnderTest& printer, opos::CashDrawer& drawer) {
    for (int change = 0; change < 6; ++change) {
        const bool open = change % 2 == 0;
        // Changes land at different points of the status thread's cycle.
        std::this_thread::sleep_for(std::chrono::milliseconds(97 * change));
        const auto changed = Clock::now();
        setDrawer(printer, open);
        opos::Event event;
        ASSERT_TRUE(drawer.waitForEvent(&event, 5s)) << "change " << change;
        EXPECT_LT(millisecondsSince(changed), 150) << "change " << change;
        EXPECT_EQ(event.number, open ? common::CASH_SUE_DRAWEROPEN : common::CASH_SUE_DRAWERCLOSED);
    }
}

TEST_F(DrawerTest, SensorChangesAreSeenAsThePrinterSendsThem) {
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    EXPECT_EQ(openClaimEnable().number, common::CASH_SUE_DRAWERCLOSED);
    expectPromptDrawerChanges(m_printer, m_drawer);
}

TEST_F(DrawerTest, SerialSensorChangesAreSeenAsThePrinterSendsThem) {
    useSerialLine();
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    EXPECT_EQ(openClaimEnable().number, common::CASH_SUE_DRAWERCLOSED);
    expectPromptDrawerChanges(m_printer, m_drawer);
}

TEST_F(DrawerTest, SensorChangesAreSeenPromptlyWhileThePrinterOnTheConnectionWatchesToo) {
    platform::HModule printerModule = platform::loadLibrary(RECEIPTSO_PATH);
    ASSERT_NE(printerModule, nullptr);
    auto registerPrinter = platform::getProcAddressAs<platform::DllRegisterServerFunction>(
        printerModule, platform::kDllRegisterServerExport);
    ASSERT_NE(registerPrinter, nullptr);
    ASSERT_EQ(registerPrinter(RECEIPTSO_PATH), platform::S_OK);
    addPrinter();
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);
    opos::PosPrinter printer;
    ASSERT_EQ(printer.open(printerName()), common::OPOS_SUCCESS);
    ASSERT_EQ(printer.claimDevice(1000), common::OPOS_SUCCESS);
    ASSERT_EQ(printer.setDeviceEnabled(true), common::OPOS_SUCCESS);
    EXPECT_EQ(openClaimEnable().number, common::CASH_SUE_DRAWERCLOSED);
    expectPromptDrawerChanges(m_printer, m_drawer);
    printer.close();
}

TEST_F(DrawerTest, AnAsynchronousReceiptPrintsWhileTheDrawerOpensOnOneConnection) {
    platform::HModule printerModule = platform::loadLibrary(RECEIPTSO_PATH);
    ASSERT_NE(printerModule, nullptr);
    auto registerPrinter = platform::getProcAddressAs<platform::DllRegisterServerFunction>(
        printerModule, platform::kDllRegisterServerExport);
    ASSERT_NE(registerPrinter, nullptr);
    ASSERT_EQ(registerPrinter(RECEIPTSO_PATH), platform::S_OK);
    addPrinter();
    addDrawer(schema::OpenSignalLow, schema::DrawerPin2);

    opos::PosPrinter printer;
    std::mutex mutex;
    std::vector<LONG> completed;
    printer.setEventHandler([&](opos::Event& event) {
        if (event.kind == opos::EventKind::OutputComplete) {
            std::lock_guard lock(mutex);
            completed.push_back(event.number);
        }
    });
    ASSERT_EQ(printer.open(printerName()), common::OPOS_SUCCESS);
    ASSERT_EQ(printer.claimDevice(1000), common::OPOS_SUCCESS);
    ASSERT_EQ(printer.setDeviceEnabled(true), common::OPOS_SUCCESS);
    ASSERT_EQ(printer.setNumber("AsyncMode", 1), common::OPOS_SUCCESS);
    openClaimEnable();
    EXPECT_EQ(dataConnections(), 1u) << "the drawer opened a connection of its own";

    constexpr int kLines = 40;
    for (int line = 1; line <= kLines; ++line) {
        ASSERT_EQ(printer.printNormal(common::PTR_S_RECEIPT, L"Receipt line " + std::to_wstring(line) + L"\n"),
                  common::OPOS_SUCCESS);
        if (line == kLines / 2) {
            EXPECT_EQ(m_drawer.openDrawer(), common::OPOS_SUCCESS);
        }
    }
    ASSERT_EQ(printer.cutPaper(100), common::OPOS_SUCCESS);
    EXPECT_EQ(nextEvent().number, common::CASH_SUE_DRAWEROPEN);

    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (completed.size() >= kLines + 1 || Clock::now() > deadline) {
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(completed.size(), static_cast<std::size_t>(kLines + 1));
        for (std::size_t i = 0; i < completed.size(); ++i) {
            EXPECT_EQ(completed[i], static_cast<LONG>(i + 1));
        }
    }
    // Written is not yet read: the printer takes the last line a moment later.
    const std::string last = "Receipt line " + std::to_string(kLines) + "\n";
    const Bytes lastLine(last.begin(), last.end());
    while (!received(lastLine) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(received(lastLine));
    EXPECT_EQ(occurrences(kPulsePin2), 1u);
    EXPECT_EQ(dataConnections(), 1u);
    EXPECT_EQ(printer.close().rc, common::OPOS_SUCCESS);
}

}  // namespace
}  // namespace drawertest
