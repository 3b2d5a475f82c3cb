#include <gtest/gtest.h>

#include "RegistryFixture.h"
#include "setup/core/DeviceCreation.h"
#include "setup/core/PortRangeDialog.h"
#include "setup/core/PortSetup.h"

namespace setuptest {
namespace {

using namespace setup;
using Strings = std::vector<std::string>;

class PortSetup : public RegistryFixture {
protected:
    static void addPrinter(const std::string& model, const std::string& port, const std::string& name) {
        NewPrinter printer;
        printer.model = model;
        printer.port = port;
        printer.logicalName = name;
        const CreatedDevice created = createPrinter(printer);
        ASSERT_TRUE(created.success) << created.message.text;
    }

    static PortSettings settingsFor(const std::string& port) {
        PortSettings settings;
        settings.port = port;
        return settings;
    }
};

TEST_F(PortSetup, ParallelPrinterMovedToComLosesLptAddressAndSoDoesItsDrawer) {
    addPrinter("RX-H81", "LPT1", "till");
    DrawerChoice choice = choosePrinterForDrawer("RX-H81");
    choice.drawer.logicalName = "cash";
    ASSERT_TRUE(createDrawer(choice.drawer).success);
    ASSERT_EQ(readNumber(drawerPath("RX-H81Drawer"), "LPTAddress"), 888u);

    PortSettings moved = settingsFor("COM2");
    moved.baudrate = 19200;
    moved.parity = ParityOdd;
    moved.handshake = HandshakeRtsCts;
    const Outcome modified = modifyPrinterPort("RX-H81", moved);
    EXPECT_TRUE(modified.success);
    EXPECT_EQ(modified.message.text, "Modify success!");

    for (const std::string& path : {printerPath("RX-H81"), drawerPath("RX-H81Drawer")}) {
        EXPECT_EQ(readText(path, "Port"), "COM2") << path;
        EXPECT_FALSE(readNumber(path, "LPTAddress")) << path;
        EXPECT_EQ(readNumber(path, "Baudrate"), 19200u) << path;
        EXPECT_EQ(readNumber(path, "Parity"), 1u) << path;
        EXPECT_EQ(readNumber(path, "Handshake"), 1u) << path;
    }
    // The drawer's own settings are not the printer's to change.
    EXPECT_EQ(readNumber(drawerPath("RX-H81Drawer"), "OpenSingle"), 0u);

    ASSERT_TRUE(modifyDrawerSignals("RX-H81Drawer", OpenSignalHigh, DrawerPin5).success);
    EXPECT_EQ(readNumber(drawerPath("RX-H81Drawer"), "OpenSingle"), 1u);
    EXPECT_EQ(readNumber(drawerPath("RX-H81Drawer"), "PinSingle"), 1u);
    EXPECT_EQ(readText(drawerPath("RX-H81Drawer"), "Port"), "COM2");
    EXPECT_FALSE(modifyDrawerSignals("RX-H81", OpenSignalHigh, DrawerPin5).success);
}

TEST_F(PortSetup, PortInUseIsRefusedWhenAddingAndWhenChanging) {
    addPrinter("RX-H81", "COM1", "one");
    const Outcome adding = checkPortForNewPrinter("COM1");
    EXPECT_FALSE(adding.success);
    EXPECT_EQ(adding.message.text, "COM1 already occupy by RX-H81");
    EXPECT_TRUE(checkPortForNewPrinter("USB").success);

    NewPrinter second;
    second.model = "RX-G72";
    second.port = "COM1";
    second.logicalName = "two";
    EXPECT_EQ(createPrinter(second).message.text, "COM1 already occupy by RX-H81");

    // In the main window the selected printer's own key takes part too.
    EXPECT_EQ(checkPortChange("COM1").message.text, "COM1 already occupy by RX-H81");

    addPrinter("RX-G72", "COM2", "two");
    EXPECT_EQ(modifyPrinterPort("RX-G72", settingsFor("COM1")).message.text, "COM1 already occupy by RX-H81");
    EXPECT_EQ(readText(printerPath("RX-G72"), "Port"), "COM2");

    PortSettings sameport = settingsFor("COM2");
    sameport.baudrate = 115200;
    EXPECT_TRUE(modifyPrinterPort("RX-G72", sameport).success);
    EXPECT_EQ(readNumber(printerPath("RX-G72"), "Baudrate"), 115200u);
}

TEST_F(PortSetup, AnotherPrintersNetworkAddressIsAConflictItsOwnIsNot) {
    addPrinter("RX-H81", "NET192.168.1.100", "one");
    writePrinter("RX-G72", "net192.168.1.101", "two");

    const Outcome adding = checkNetworkPortForNewPrinter(networkPortText(192, 168, 1, 100));
    EXPECT_FALSE(adding.success);
    EXPECT_EQ(adding.message.icon, MessageIcon::Error);
    EXPECT_EQ(adding.message.text,
              "This setting may cause in conflict with the printer RX-H81.\n\nDevice with not be set to "
              "NET192.168.1.100 port.");
    EXPECT_FALSE(checkNetworkPortForNewPrinter("NET192.168.1.101").success);
    EXPECT_TRUE(checkNetworkPortForNewPrinter("NET192.168.1.102").success);

    EXPECT_TRUE(modifyPrinterPort("RX-G72", settingsFor("NET192.168.1.101")).success);
    const Outcome taken = modifyPrinterPort("RX-G72", settingsFor("NET192.168.1.100"));
    EXPECT_EQ(taken.message.text,
              "This setting may cause in conflict with the printer RX-H81.\n\nDevice with not be set to "
              "NET192.168.1.100 port.");
    EXPECT_EQ(readText(printerPath("RX-G72"), "Port"), "NET192.168.1.101");
    EXPECT_FALSE(modifyPrinterPort("RX-G72", settingsFor("COM1")).success);  // stays on the network
}

TEST_F(PortSetup, PortListsFollowThePortRangeKey) {
    EXPECT_EQ(mainPortList(), (Strings{"COM1", "COM2", "COM3", "COM4", "LPT1", "LPT2"}));
    EXPECT_EQ(addPortList(AddPortOrder::Opening),
              (Strings{"NONE", "COM1", "COM2", "COM3", "COM4", "LPT1", "LPT2", "NET", "USB"}));
    EXPECT_EQ(addPortList(AddPortOrder::AfterModelChoice).back(), "NET");

    RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, kPortRangePath), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.writeDword(kComMaxValue, 2), platform::ERROR_SUCCESS);
    EXPECT_EQ(mainPortList(), (Strings{"COM1", "COM2"}));
}

TEST_F(PortSetup, ComMaximumBelowAPrinterOnCom12IsRefusedAndTwelveIsAccepted) {
    writePrinter("RX-H81", "COM12");
    writePrinter("RT-B20", "COM20");  // only RX- printers hold the range back
    writePrinter("RX-A14", "LPT3");
    EXPECT_EQ(highestPortsInUse().com, 12u);
    EXPECT_EQ(highestPortsInUse().lpt, 3u);

    PortRangeDialog dialog;
    ASSERT_EQ(dialog.comField(), 4u);
    ASSERT_TRUE(dialog.typeCom(10).success);
    ASSERT_TRUE(dialog.typeLpt(3).success);
    const Outcome refused = dialog.ok();
    EXPECT_FALSE(refused.success);
    EXPECT_EQ(refused.message.icon, MessageIcon::Error);
    EXPECT_EQ(refused.message.text,
              "Currently using a COM port that is higher\nthan the specified maxinum value\ncan not set COM port "
              "maximun");
    EXPECT_EQ(dialog.comField(), 4u);
    EXPECT_FALSE(keyExists(kPortRangePath));

    EXPECT_FALSE(dialog.comDefault().success);
    EXPECT_EQ(dialog.lptDefault().message.text,
              "Currently using a LPT port that is higher\nthan the specified maxinum value\ncan not set LPT port "
              "maximun");
    EXPECT_EQ(dialog.lptField(), 3u);

    ASSERT_TRUE(dialog.typeCom(12).success);
    ASSERT_TRUE(dialog.ok().success);
    EXPECT_EQ(readNumber(kPortRangePath, "COMMAX"), 12u);
    EXPECT_EQ(readNumber(kPortRangePath, "LPTMAX"), 3u);
}

TEST_F(PortSetup, OutOfRangeMaximaAreReplacedWhileTypingAndNeverWritten) {
    PortRangeDialog dialog;
    const Outcome typed = dialog.typeCom(50);
    EXPECT_FALSE(typed.success);
    EXPECT_EQ(typed.message.text, "Please enter an integer between 1 and 40.");
    EXPECT_EQ(dialog.comField(), 4u);
    EXPECT_FALSE(dialog.typeLpt(5).success);
    EXPECT_EQ(dialog.lptField(), 2u);

    EXPECT_FALSE(dialog.typeCom(0).success);
    EXPECT_FALSE(dialog.ok().success);
    EXPECT_FALSE(keyExists(kPortRangePath));

    ASSERT_TRUE(dialog.typeCom(40).success);
    ASSERT_TRUE(dialog.typeLpt(4).success);
    ASSERT_TRUE(dialog.ok().success);
    EXPECT_EQ(readNumber(kPortRangePath, "COMMAX"), 40u);
    EXPECT_EQ(readNumber(kPortRangePath, "LPTMAX"), 4u);
    EXPECT_EQ(PortRangeDialog().comField(), 40u);
}

}  // namespace
}  // namespace setuptest
