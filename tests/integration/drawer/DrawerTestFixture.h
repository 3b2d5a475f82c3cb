#pragma once
// The printer under test on the network at a loopback address of its own
// (or, on request, on a serial line), a temporary registry with the drawer module
// registered and a drawer device key on that printer, and a CashDrawer
// control object whose events queue up for the test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "opos/ControlObject.h"
#include "support/PrinterUnderTest.h"
#include "support/SystemComRegistration.h"
#include "support/TempRegistry.h"

namespace drawertest {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using platform::LONG;

inline const Bytes kEnableCommand = {0x1D, 0x61, 0xFF};

class DrawerTest : public ::testing::Test {
protected:
    static constexpr const char* kModel = "K93";
    // The network printer's data port.
    static constexpr std::uint16_t kDataPort = 9100;

    void SetUp() override;
    void TearDown() override;

    std::string drawerName() const { return std::string("RX-") + kModel + "Drawer"; }
    std::string printerName() const { return std::string("RX-") + kModel; }
    std::string netPort() const { return "NET" + m_printer.address(); }

    // Moves the printer from the network to serial port COM3; device keys
    // added afterwards use it.
    void useSerialLine();
    // Switches the serial printer and waits until its line is gone or back.
    void powerSerialPrinter(bool on);

    // The drawer's device key on the printer's port.
    void addDrawer(std::uint32_t openSingle, std::uint32_t pinSingle);
    // The printer's own device key, on the same port.
    void addPrinter();

    // Open, claim and enable; the first status event is taken and returned.
    opos::Event openClaimEnable();
    // The next event within `timeout`; fails the test when none comes.
    opos::Event nextEvent(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool noEventWithin(std::chrono::milliseconds timeout);

    LONG numberOf(const char* property);
    // Whether `bytes` occur in what the printer has received.
    bool received(const Bytes& bytes) const;
    std::size_t occurrences(const Bytes& bytes) const;

    // Established TCP connections of this process to the printer's data port.
    std::size_t dataConnections() const;

    // The temporary registry's folder, which the install directory can name.
    std::string registryDirectory() const { return m_registry.directory(); }

private:
    testsupport::TempRegistry m_registry;
    // Registered with the system as well, so the control object takes COM
    // where there is COM.
    testsupport::SystemComRegistration m_com{{DRAWERSO_PATH, RECEIPTSO_PATH}};
    std::unique_ptr<testsupport::PrinterUnderTest> m_ownPrinter =
        testsupport::makePrinterUnderTest(kModel, m_registry.directory());

protected:
    testsupport::PrinterUnderTest& m_printer = *m_ownPrinter;
    opos::CashDrawer m_drawer;

private:
    // The printer's port name as device keys carry it.
    std::string m_port;
};

}  // namespace drawertest
