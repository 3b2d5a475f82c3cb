#include <cstring>

#include "PortTestFixture.h"
#include "portlink/portlink.h"

namespace porttest {
namespace {

class ExportsTest : public PortTest {};

TEST_F(ExportsTest, CurrentPortKindFollowsTheFirstLetter) {
    const std::pair<std::string, int32_t> ports[] = {
        {"COM3", PORT_COM}, {"lpt1", PORT_PAR}, {"USB2", PORT_USB}, {"NET192.168.1.10", PORT_ETH}, {"", PORT_ETH},
    };
    int number = 0;
    for (const auto& [port, kind] : ports) {
        const std::string name = "RX-H81_" + std::to_string(number++);
        addPrinter(name, settingsFor(port));
        char portName[PORTLINK_PORT_NAME_SIZE];
        std::memset(portName, 'x', sizeof portName);
        EXPECT_EQ(GetCurrentPort(name.c_str(), portName), kind) << port;
        EXPECT_STREQ(portName, port.c_str());
    }

    addDevice(schema::kCashDrawerClass, "RX-H81Drawer", settingsFor("COM3"));
    char portName[PORTLINK_PORT_NAME_SIZE] = "unchanged";
    EXPECT_EQ(GetCurrentPort("RX-H81Drawer", portName), 0) << "only printers are looked up";
    EXPECT_EQ(GetCurrentPort("RX-nothing", portName), 0);
    addPrinter("RX-long", settingsFor(std::string(PORTLINK_PORT_NAME_SIZE, 'C')));
    EXPECT_EQ(GetCurrentPort("RX-long", portName), 0) << "a value that does not fit is not read";
    EXPECT_STREQ(portName, "unchanged");
}

TEST_F(ExportsTest, ArgumentsNoPortCanUseAreRefused) {
    Block block{};
    const uint8_t data[] = {1};
    int32_t step = -9;
    int32_t sysError = -9;
    EXPECT_EQ(ReadPort(102, 0, block.data(), 4, 0, 0, &step, &sysError), 0);
    EXPECT_EQ(step, 0);
    EXPECT_EQ(sysError, -1);
    EXPECT_EQ(ReadPort(3, 0, nullptr, 4, 0, 0, &step, &sysError), 0);
    EXPECT_EQ(WritePort(-1, 0, data, 1, 0, 0, &step, &sysError), 0);
    EXPECT_EQ(WritePort(3, 0, data, -1, 0, 0, &step, &sysError), 0);
    EXPECT_EQ(WritePort(3, 0, nullptr, 1, 0, 0, &step, &sysError), 0);
    EXPECT_EQ(step, 0);
    EXPECT_EQ(GetPortStatus(500, 0, nullptr, 0, 0, &step, &sysError), 0);
    EXPECT_EQ(ClosePort(500, 0, 0, &step, &sysError), 1);
    EXPECT_EQ(ReOpenNetPort(3, 0, &step, &sysError), 0);
    EXPECT_EQ(OpenPort(nullptr, "RX-H81", nullptr, nullptr, 0, &step, nullptr), -1);
    EXPECT_EQ(step, 1);
    ReSetPrintWork(-5, 0);

    // Null out-parameters are skipped, not written through.
    EXPECT_EQ(ReadPort(9, 0, block.data(), 4, 0, 0, nullptr, nullptr), 1);
}

TEST_F(ExportsTest, PortsNeverOpenedDoNothing) {
    // No test opens COM10, COM40 or LPT4: the table is process-wide.
    Result result = write(9, bytesOf("nowhere"));
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 6);
    EXPECT_EQ(result.sysError, 9);
    Block block{};
    result = read(39, &block);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 6);
    EXPECT_EQ(result.sysError, 39);
    result = close(43);
    EXPECT_EQ(result.value, 1);
    EXPECT_EQ(result.step, 4);
    EXPECT_EQ(result.sysError, 43);
    result = status(20);
    EXPECT_EQ(result.value, 0xF0);
    EXPECT_EQ(result.step, 8);
}

}  // namespace
}  // namespace porttest
