// The service object's life cycle against the virtual printer: open, claim,
// enable, disable, release and close, with what each step sends to the
// printer, reports to the application and refuses.
#include <filesystem>
#include <thread>

#include "ReceiptSoTestSupport.h"
#include "common/OposConstants.h"
#include "platform/module.h"
#include "support/Host.h"

namespace printertest {
namespace {

using namespace common;
using emulator::PrinterState;

// Retries `attempt` until it holds or the deadline passes: for a printer
// whose line comes and goes on the emulator's own thread.
template <typename Attempt>
bool eventually(Attempt attempt, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!attempt()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// What a claim writes: select, initialise, automatic status on, zero padded
// to 30 bytes (B21 and B20 switch to standard mode first).
emulator::Bytes initBlock(bool standardModeFirst) {
    emulator::Bytes block(10, 0);
    block.insert(block.end(), {0x1B, 0x3D, 0x01, 0x1B, 0x40});
    if (standardModeFirst) {
        block.insert(block.end(), {0x1B, 0x53});
    }
    block.insert(block.end(), {0x1D, 0x61, 0xFF});
    block.resize(30, 0);
    return block;
}

using ReceiptSoLifecycleTest = ReceiptSoTest;

// Where the system has COM the control object must take it: a broken COM
// path would otherwise hide behind the suite's own registration.
TEST_F(ReceiptSoLifecycleTest, RegistrationIsFoundByTheControlObjectAndRemovedWhole) {
    const bool com = testsupport::SystemComRegistration::systemHasCom();
    addDevice("RX-H81", "COM9");
    {
        opos::PosPrinter control;
        EXPECT_EQ(control.open("RX-H81"), OPOS_SUCCESS);
        EXPECT_EQ(control.serviceSource(), com ? opos::ServiceSource::Com : opos::ServiceSource::ServiceModule);
        EXPECT_EQ(text(control, "DeviceName"), L"RX-H81");
        EXPECT_EQ(number(control, "ServiceObjectVersion"), 1007000);
        control.close();
        EXPECT_EQ(control.serviceSource(), opos::ServiceSource::None);
    }
    auto unregisterServer = platform::getProcAddressAs<platform::DllUnregisterServerFunction>(
        platform::loadLibrary(RECEIPTSO_PATH), platform::kDllUnregisterServerExport);
    ASSERT_NE(unregisterServer, nullptr);
    ASSERT_EQ(unregisterServer(), platform::S_OK);
    // COM needs nothing of the suite's own registration; without COM the
    // class is gone.
    opos::PosPrinter control;
    EXPECT_EQ(control.open("RX-H81"), com ? OPOS_SUCCESS : OPOS_E_NOSERVICE);
    EXPECT_EQ(control.openResult(), com ? OPOS_SUCCESS : OPOS_OR_REGPROGID);
}

TEST_F(ReceiptSoLifecycleTest, OpenRefusesAnotherDeviceClassAndASecondOpen) {
    for (const wchar_t* deviceClass : {L"POSPrinter ", L"posprinter", L"CashDrawer"}) {
        DirectObject object;
        HRESULT status = platform::S_OK;
        EXPECT_EQ(object.open(deviceClass, L"RX-H81", L"OpenService", &status), OPOS_E_FAILURE);
        EXPECT_EQ(status, platform::S_FALSE);
        EXPECT_EQ(object.openResult(), OPOS_ORS_NOTSUPPORTED);
        // Still closed: a claim is refused as on a closed object.
        EXPECT_EQ(object.call(L"ClaimDevice", {platform::Variant(LONG{0})}), OPOS_E_CLOSED);
    }

    DirectObject object;
    ASSERT_EQ(object.open(L"POSPrinter", L"RX-K92"), OPOS_SUCCESS);
    HRESULT status = platform::S_FALSE;
    EXPECT_EQ(object.open(L"POSPrinter", L"RX-H81", L"Open", &status), OPOS_E_FAILURE);
    EXPECT_EQ(status, platform::S_OK);
    EXPECT_EQ(object.openResult(), OPOS_OR_ALREADYOPEN);
    // The first open's settings stay: K92's receipt width.
    EXPECT_EQ(object.number(PIDXPtr_RecLineWidth), 400);

    opos::PosPrinter control;
    addDevice("RX-H81", "COM9");
    ASSERT_EQ(control.open("RX-H81"), OPOS_SUCCESS);
    EXPECT_EQ(control.open("RX-H81"), OPOS_E_ILLEGAL);
    EXPECT_EQ(control.openResult(), OPOS_OR_ALREADYOPEN);
}

TEST_F(ReceiptSoLifecycleTest, NetworkClaimEnableReleaseAndCloseDriveThreadsAndState) {
    PrinterUnderTest& printer = addNetworkPrinter("H81", "RX-H81");
    const std::size_t before = testsupport::threadCount();
    auto control = openPrinter("RX-H81");
    EXPECT_EQ(testsupport::threadCount(), before);
    EXPECT_EQ(control->clearInput(), OPOS_E_NOTCLAIMED);

    ASSERT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
    EXPECT_EQ(testsupport::threadCount(), before + 3);
    // Only the initialisation block reaches the printer; nobody asked it for
    // its status.
    ASSERT_TRUE(printer.waitForReceived(30, 5s));
    EXPECT_EQ(printer.receivedBytes(), initBlock(false));
    EXPECT_EQ(number(*control, "Claimed"), 1);
    EXPECT_EQ(number(*control, "PowerState"), OPOS_PS_UNKNOWN);

    // COM hands a method's success codes on as S_OK.
    const bool com = control->serviceSource() == opos::ServiceSource::Com;
    const opos::CallResult again = control->call("ClaimDevice", {LONG{1000}});
    EXPECT_EQ(again.rc, OPOS_SUCCESS);
    EXPECT_EQ(again.status, com ? platform::S_OK : platform::S_FALSE);

    EXPECT_EQ(control->clearInput(), OPOS_E_DISABLED);
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    // COM starts threads of its own for calls between apartments once the
    // event thread holds the callback, and keeps them.
    const std::size_t comThreads = testsupport::threadCount() - (before + 3);
    if (!com) {
        EXPECT_EQ(comThreads, 0u);
    }
    EXPECT_EQ(number(*control, "DeviceEnabled"), 1);
    EXPECT_EQ(control->clearInput(), OPOS_E_ILLEGAL);
    // The service object resets ResultCode once it has been read.
    EXPECT_EQ(number(*control, "ResultCode"), OPOS_E_ILLEGAL);
    EXPECT_EQ(number(*control, "ResultCode"), OPOS_SUCCESS);

    // Release while enabled disables first, ends the threads and forgets
    // PowerNotify; the device can be claimed again.
    EXPECT_EQ(control->releaseDevice(), OPOS_SUCCESS);
    EXPECT_EQ(testsupport::threadCount(), before + comThreads);
    EXPECT_EQ(number(*control, "DeviceEnabled"), 0);
    EXPECT_EQ(number(*control, "Claimed"), 0);
    EXPECT_EQ(number(*control, "PowerNotify"), 0);
    EXPECT_EQ(control->releaseDevice(), OPOS_E_NOTCLAIMED);

    ASSERT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
    EXPECT_EQ(control->setNumber("PowerNotify", OPOS_PN_ENABLED), OPOS_SUCCESS);
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    // A network printer reports no power state on enabling beyond the check.
    const auto received = events(*control, 1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].number, OPOS_SUE_POWER_ONLINE);
    EXPECT_EQ(number(*control, "PowerState"), OPOS_PS_ONLINE);
    EXPECT_EQ(control->setNumber("PowerNotify", OPOS_PN_DISABLED), OPOS_E_FAILURE);
    EXPECT_EQ(control->close().rc, OPOS_SUCCESS);
    EXPECT_EQ(testsupport::threadCount(), before + comThreads);
}

TEST_F(ReceiptSoLifecycleTest, CloseOfAnUnclaimedObjectCreatesNoThreads) {
    addDevice("RX-A14", "COM9");
    const std::size_t before = testsupport::threadCount();
    auto control = openPrinter("RX-A14");
    EXPECT_EQ(control->close().rc, OPOS_SUCCESS);
    EXPECT_EQ(testsupport::threadCount(), before);
}

TEST_F(ReceiptSoLifecycleTest, FreezeEventsHoldsEventsUntilThawedAndIgnoresOtherValues) {
    addNetworkPrinter("A14", "RX-A14");
    auto control = openPrinter("RX-A14");
    ASSERT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
    EXPECT_EQ(control->setNumber("FlagWhenIdle", 1), OPOS_SUCCESS);
    EXPECT_TRUE(events(*control, 1, 200ms).empty()) << "FlagWhenIdle needs an enabled device";

    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    EXPECT_EQ(control->setNumber("FreezeEvents", 1), OPOS_SUCCESS);
    EXPECT_EQ(control->setNumber("FreezeEvents", -1), OPOS_SUCCESS);
    EXPECT_EQ(number(*control, "FreezeEvents"), 1);
    EXPECT_EQ(control->setNumber("FlagWhenIdle", 1), OPOS_SUCCESS);
    EXPECT_EQ(control->setNumber("FlagWhenIdle", 1), OPOS_SUCCESS);
    EXPECT_TRUE(events(*control, 1, 300ms).empty()) << "delivered while frozen";

    EXPECT_EQ(control->setNumber("FreezeEvents", 0), OPOS_SUCCESS);
    auto received = events(*control, 2);
    ASSERT_EQ(received.size(), 2u);
    for (const opos::Event& event : received) {
        EXPECT_EQ(event.kind, opos::EventKind::StatusUpdate);
        EXPECT_EQ(event.number, PTR_SUE_IDLE);
    }

    // Disabled: held again, delivered after the next enable.
    EXPECT_EQ(control->setNumber("FlagWhenIdle", 1), OPOS_SUCCESS);
    ASSERT_EQ(control->setDeviceEnabled(false), OPOS_SUCCESS);
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    received = events(*control, 1);
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(ReceiptSoLifecycleTest, SerialPrinterReportsItsStateOnEnableAndIsRefusedWhenOff) {
    PrinterUnderTest& printer = addSerialPrinter("H81", "RX-H81");
    printer.changeState([](PrinterState& state) { state.coverOpen = true; });
    auto control = openPrinter("RX-H81");
    ASSERT_EQ(control->claimDevice(1000), OPOS_SUCCESS);
    ASSERT_EQ(control->setNumber("PowerNotify", OPOS_PN_ENABLED), OPOS_SUCCESS);
    EXPECT_EQ(number(*control, "PowerState"), OPOS_PS_UNKNOWN);
    // Enabling reports power, cover and paper at once, on the caller's
    // thread, before the call returns.
    ASSERT_EQ(control->setDeviceEnabled(true), OPOS_SUCCESS);
    auto received = events(*control, 3, 1s);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].number, OPOS_SUE_POWER_ONLINE);
    EXPECT_EQ(received[1].number, PTR_SUE_COVER_OPEN);
    EXPECT_EQ(received[2].number, PTR_SUE_REC_PAPEROK);
    EXPECT_EQ(number(*control, "CoverOpen"), 1);
    EXPECT_EQ(number(*control, "PowerState"), OPOS_PS_ONLINE);

    // Off: a new enable reports the printer off line once the line has
    // dropped (the pseudo-terminal goes away on its own thread).
    printer.changeState([](PrinterState& state) { state.powerOn = false; });
    ASSERT_TRUE(eventually([&] {
        control->setDeviceEnabled(false);
        events(*control, 8, 0ms);
        control->setDeviceEnabled(true);
        return number(*control, "PowerState") == OPOS_PS_OFF_OFFLINE;
    }));
    received = events(*control, 1, 1s);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received[0].number, OPOS_SUE_POWER_OFF_OFFLINE);
    ASSERT_EQ(control->releaseDevice(), OPOS_SUCCESS);

    // A claim of a printer that is off fails and leaves the object open.
    EXPECT_EQ(control->claimDevice(1000), OPOS_E_FAILURE);
    EXPECT_EQ(number(*control, "Claimed"), 0);
    EXPECT_EQ(number(*control, "PowerState"), OPOS_PS_UNKNOWN);
    printer.changeState([](PrinterState& state) { state.powerOn = true; });
    EXPECT_TRUE(eventually([&] { return control->claimDevice(1000) == OPOS_SUCCESS; }));
}

}  // namespace
}  // namespace printertest
