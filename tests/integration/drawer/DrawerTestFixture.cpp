#include "DrawerTestFixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/OposConstants.h"
#include "platform/com.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "schema/DeviceEntry.h"
#include "support/emulator/LoopbackPrinter.h"

namespace drawertest {

void DrawerTest::SetUp() {
    m_network = testsupport::openOnOwnLoopbackAddress(m_printer);
    ASSERT_TRUE(m_network);
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
    // The line's link lives in the registry's directory, which goes next.
    m_serial.reset();
}

void DrawerTest::useSerialLine() {
    // The printer has one host sink: the network transport lets go first.
    m_network.reset();
    std::string error;
    m_serial = emulator::PtyPort::open(m_printer, {m_registry.directory() + "/com3", {}}, &error);
    ASSERT_TRUE(m_serial) << error;
    schema::RegKey map;
    ASSERT_EQ(map.create(platform::HKLM, platform::kPortMapKeyPath), platform::ERROR_SUCCESS);
    ASSERT_EQ(map.writeString("COM3", m_serial->linkPath()), platform::ERROR_SUCCESS);
    m_port = "COM3";
}

void DrawerTest::powerSerialPrinter(bool on) {
    m_printer.changeState([on](emulator::PrinterState& state) { state.powerOn = on; });
    // The line follows the power on the port's own thread.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    std::error_code error;
    while (std::filesystem::is_symlink(m_serial->linkPath(), error) != on && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(std::filesystem::is_symlink(m_serial->linkPath(), error), on) << m_serial->lastError();
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
    // /proc/net/tcp lists addresses as little-endian hex words.
    unsigned parts[4] = {};
    std::sscanf(m_network->address().c_str(), "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
    char remote[32];
    std::snprintf(remote, sizeof remote, "%02X%02X%02X%02X:%04X", parts[3], parts[2], parts[1], parts[0],
                  static_cast<unsigned>(m_network->dataPort()));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::size_t count = 0;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, peer, state;
        fields >> slot >> local >> peer >> state;
        if (peer == remote && state == "01") {
            ++count;
        }
    }
    return count;
}

}  // namespace drawertest
