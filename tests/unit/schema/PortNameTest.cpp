#include <gtest/gtest.h>

#include "schema/PortName.h"
#include "schema/RegistrySchema.h"

namespace {

using namespace schema;

TEST(PortName, OpenLookupAcceptsOnlyTheFixedSerialAndParallelNames) {
    EXPECT_EQ(portKindForOpen("COM33"), PortKind::Serial);
    EXPECT_EQ(portKindForOpen("com5"), PortKind::Serial);
    EXPECT_EQ(portKindForOpen("COM40"), PortKind::Serial);
    EXPECT_EQ(portKindForOpen("COM41"), PortKind::None);
    EXPECT_EQ(portKindForOpen("COM0"), PortKind::None);
    EXPECT_EQ(portKindForOpen("COM05"), PortKind::None);
    EXPECT_EQ(portKindForOpen("lpt4"), PortKind::Parallel);
    EXPECT_EQ(portKindForOpen("LPT5"), PortKind::None);
    EXPECT_EQ(portKindForOpen("net192.168.1.10"), PortKind::Network);
    EXPECT_EQ(portKindForOpen("Nonsense"), PortKind::Network);
    EXPECT_EQ(portKindForOpen("usb3"), PortKind::Usb);
    EXPECT_EQ(portKindForOpen(""), PortKind::None);
}

TEST(PortName, CurrentPortKindGoesByTheFirstLetterOnly) {
    EXPECT_EQ(portKindByFirstLetter("c"), PortKind::Serial);
    EXPECT_EQ(portKindByFirstLetter("COM99"), PortKind::Serial);
    EXPECT_EQ(portKindByFirstLetter("lpt7"), PortKind::Parallel);
    EXPECT_EQ(portKindByFirstLetter("U"), PortKind::Usb);
    EXPECT_EQ(portKindByFirstLetter("NET1.2.3.4"), PortKind::Network);
    EXPECT_EQ(portKindByFirstLetter("xyz"), PortKind::Network);
}

TEST(PortName, FormsAndNumbers) {
    EXPECT_EQ(comPortName(12), "COM12");
    EXPECT_EQ(usbPortName(49), "USB49");
    EXPECT_EQ(netPortName("192.168.1.100"), "NET192.168.1.100");
    EXPECT_EQ(portNumber("USB13", "USB"), 13);
    EXPECT_EQ(portNumber("usb2", "USB"), 2);
    EXPECT_EQ(portNumber("USB", "USB"), std::nullopt);
    EXPECT_EQ(portNumber("USB1x", "USB"), std::nullopt);
    EXPECT_EQ(portNumber("COM3", "USB"), std::nullopt);
    EXPECT_EQ(lptAddressFor("LPT3"), 39936u);
    EXPECT_EQ(lptAddressFor("COM1"), std::nullopt);
}

TEST(PortName, NetworkAddressMustBeFourOctets) {
    EXPECT_EQ(netAddress("NET192.168.1.100"), "192.168.1.100");
    EXPECT_EQ(netAddress("net10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(netAddress("NET256.1.1.1"), std::nullopt);
    EXPECT_EQ(netAddress("NET1.2.3"), std::nullopt);
    EXPECT_EQ(netAddress("NET1.2.3.4.5"), std::nullopt);
    EXPECT_EQ(netAddress("NET1..3.4"), std::nullopt);
    EXPECT_EQ(netAddress("COM1"), std::nullopt);
}

TEST(RegistrySchema, OwnDevicesAreRecognisedByTheirFirstTwoCharacters) {
    EXPECT_TRUE(isOwnDeviceName("RX-H81"));
    EXPECT_TRUE(isOwnDeviceName("RT-B20_2"));
    EXPECT_TRUE(isOwnDeviceName("RK-E50Drawer"));
    EXPECT_TRUE(isOwnDeviceName("RXsomething"));
    EXPECT_FALSE(isOwnDeviceName("TM-T88"));
    EXPECT_FALSE(isOwnDeviceName("R"));
    EXPECT_FALSE(isOwnDeviceName("rx-h81"));
    EXPECT_EQ(deviceKeyPath("CashDrawer", "RX-H81Drawer"),
              "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\RX-H81Drawer");
}

}  // namespace
