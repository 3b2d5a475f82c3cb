#include "DrawerTestFixture.h"

#include <algorithm>
#include <thread>

#include "common/OposConstants.h"
#include "platform/com.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "schema/DeviceEntry.h"
#include "support/Host.h"

namespace drawertest {

void DrawerTest::SetUp() {
    std::string error;
    ASSERT_TRUE(m_printer.startNetwork(&error)) << error;
    m_port = netPort();
    platform::HModule module = platform::loadLibrary(DRAWERSO_PATH);
    ASSERT_NE(module, nullptr);
    auto registerServer =
        platform::getProcAddressAs<platform::DllRegisterServerFunction>(module, platform::kDllRegisterServerExport);
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(DRAWERSO_PATH), platform::S_OK);
    m_drawer.setEventQueueCapacity(4096);
}

void DrawerTest::TearDown() {
    platform::setDialogProvider({});
    m_drawer.close();
}

void DrawerTest::useSerialLine() {
    std::string error;
    ASSERT_TRUE(m_printer.startSerial("COM3", &error)) << error;
    m_port = "COM3";
    if (m_printer.portDevice().empty()) {
        return;
    }
    schema::RegKey map;
    ASSERT_EQ(map.create(platform::HKLM, platform::kPortMapKeyPath), platform::ERROR_SUCCESS);
    ASSERT_EQ(map.writeString("COM3", m_printer.portDevice()), platform::ERROR_SUCCESS);
}

void DrawerTest::powerSerialPrinter(bool on) {
    m_printer.changeState([on](emulator::PrinterState& state) { state.powerOn = on; });
    // The line follows the power on the printer's own thread.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (m_printer.lineUp() != on && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(m_printer.lineUp(), on);
}

void DrawerTest::addDrawer(std::uint32_t openSingle, std::uint32_t pinSingle) {
    schema::PortSettings settings;
    settings.port = m_port;
    schema::RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, schema::deviceKeyPath(schema::kCashDrawerClass, drawerName())),
              platform::ERROR_SUCCESS);
    const schema::DrawerValues values = schema::drawerValuesFor(printerName(), settings, "drawer", openSingle, pinSingle);
    ASSERT_EQ(schema::writeDrawerValues(key, values), platform::ERROR_SUCCESS);
}

void DrawerTest::addPrinter() {
    schema::RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, printerName())),
              platform::ERROR_SUCCESS);
    schema::PrinterValues values;
    values.settings.port = m_port;
    values.logicalName = "printer";
    ASSERT_EQ(schema::writePrinterValues(key, values), platform::ERROR_SUCCESS);
}

opos::Event DrawerTest::openClaimEnable() {
    EXPECT_EQ(m_drawer.open(drawerName()), common::OPOS_SUCCESS);
    EXPECT_EQ(m_drawer.claimDevice(1000), common::OPOS_SUCCESS);
    EXPECT_EQ(m_drawer.setDeviceEnabled(true), common::OPOS_SUCCESS);
    return nextEvent();
}

opos::Event DrawerTest::nextEvent(std::chrono::milliseconds timeout) {
    opos::Event event;
    EXPECT_TRUE(m_drawer.waitForEvent(&event, timeout)) << "no event within " << timeout.count() << " ms";
    return event;
}

bool DrawerTest::noEventWithin(std::chrono::milliseconds timeout) {
    opos::Event event;
    return !m_drawer.waitForEvent(&event, timeout);
}

LONG DrawerTest::numberOf(const char* property) {
    LONG value = -1;
    EXPECT_EQ(m_drawer.getNumber(property, &value), common::OPOS_SUCCESS);
    return value;
}

std::size_t DrawerTest::occurrences(const Bytes& bytes) const {
    const Bytes all = m_printer.receivedBytes();
    std::size_t count = 0;
    for (auto at = all.begin(); (at = std::search(at, all.end(), bytes.begin(), bytes.end())) != all.end(); ++at) {
        ++count;
    }
    return count;
}

bool DrawerTest::received(const Bytes& bytes) const { return occurrences(bytes) > 0; }

std::size_t DrawerTest::dataConnections() const {
    return testsupport::establishedConnections(m_printer.address(), kDataPort);
}

}  // namespace drawertest
