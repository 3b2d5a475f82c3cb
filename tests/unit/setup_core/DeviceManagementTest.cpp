#include <gtest/gtest.h>

#include "RegistryFixture.h"
#include "setup/core/DeviceCreation.h"
#include "setup/core/DeviceDeletion.h"
#include "setup/core/DeviceTree.h"

namespace setuptest {
namespace {

using namespace setup;
using Strings = std::vector<std::string>;

class DeviceManagement : public RegistryFixture {
protected:
    static CreatedDevice addPrinter(const std::string& model, const std::string& port, const std::string& name) {
        NewPrinter printer;
        printer.model = model;
        printer.port = port;
        printer.logicalName = name;
        return createPrinter(printer);
    }

    static CreatedDevice addDrawer(const std::string& printerKey, const std::string& name) {
        DrawerChoice choice = choosePrinterForDrawer(printerKey);
        EXPECT_TRUE(choice.success) << choice.message.text;
        choice.drawer.logicalName = name;
        return createDrawer(choice.drawer);
    }

    // Answers every question with `ok` and remembers the last one asked.
    Confirm answer(bool ok) {
        return [this, ok](const Message& question) {
            asked = question;
            return ok;
        };
    }

    Message asked;
};

TEST_F(DeviceManagement, PrinterKeysCountUpFromTwoAndReuseAFreedNumber) {
    EXPECT_EQ(addPrinter("RX-K92", "COM1", "a").deviceKeyName, "RX-K92");
    EXPECT_EQ(addPrinter("RX-K92", "COM2", "b").deviceKeyName, "RX-K92_2");
    EXPECT_EQ(addPrinter("RX-K92", "COM3", "c").deviceKeyName, "RX-K92_3");

    ASSERT_TRUE(deleteDevice(DeviceClass::PosPrinter, "RX-K92_2", "b", answer(true)).success);
    const CreatedDevice again = addPrinter("RX-K92", "COM2", "d");
    ASSERT_TRUE(again.success) << again.message.text;
    EXPECT_EQ(again.deviceKeyName, "RX-K92_2");
    EXPECT_EQ(readText(classKeyPath(DeviceClass::PosPrinter), "d"), "RX-K92_2");
    EXPECT_EQ(ownDeviceKeys(DeviceClass::PosPrinter), (Strings{"RX-K92", "RX-K92_2", "RX-K92_3"}));
}

TEST_F(DeviceManagement, NamesAreStoredLowerCaseAndRefusedAgainInAnyCase) {
    ASSERT_TRUE(addPrinter("RX-H81", "COM1", "TillOne").success);
    EXPECT_EQ(valueNames(classKeyPath(DeviceClass::PosPrinter)), Strings{"tillone"});

    const CreatedDevice again = addPrinter("RX-G72", "COM2", "TILLONE");
    EXPECT_FALSE(again.success);
    EXPECT_EQ(again.message.text, "Logical Device Name 'tillone' already occupy!");
    EXPECT_FALSE(keyExists(printerPath("RX-G72")));

    const CreatedDevice added = addLogicalName(DeviceClass::PosPrinter, "RX-H81", "tIlLoNe");
    EXPECT_EQ(added.message.text, "Logical Device Name 'tillone' already occupy!");
}

TEST_F(DeviceManagement, AnotherMakersDeviceNeitherBlocksANameNorShows) {
    writePrinter("XY-9000", "COM1", "till1");
    const CreatedDevice created = addPrinter("RX-H81", "COM2", "Till1");
    ASSERT_TRUE(created.success) << created.message.text;
    EXPECT_EQ(ownDeviceKeys(DeviceClass::PosPrinter), Strings{"RX-H81"});
    EXPECT_EQ(readText(classKeyPath(DeviceClass::PosPrinter), "till1"), "RX-H81");
    EXPECT_EQ(logicalNames(DeviceClass::PosPrinter, "RX-H81"), Strings{"till1"});
}

TEST_F(DeviceManagement, UsbPrinterTakesTheLowestUsbNumberOwnPrintersLeaveFree) {
    writePrinter("RX-H81", "USB1");
    writePrinter("RX-H81_2", "USB3");
    writePrinter("XY-1", "USB2");  // another maker's: does not hold USB2

    NewPrinter printer;
    printer.model = "RX-K92";
    printer.port = "USB";
    printer.logicalName = "usbtill";
    EXPECT_EQ(createPrinter(printer).message.text, "Install printer fail!");  // not confirmed

    printer.usb = {"USB_RX-K92_3", 90, true};
    const CreatedDevice created = createPrinter(printer);
    ASSERT_TRUE(created.success) << created.message.text;
    EXPECT_EQ(created.port, "USB2");
    EXPECT_EQ(readText(printerPath("RX-K92"), "Port"), "USB2");
    EXPECT_EQ(readNumber(printerPath("RX-K92"), "InternalID"), 90u);
    EXPECT_EQ(readText(printerPath("RX-K92"), "USBPrintName"), "USB_RX-K92_3");
}

TEST_F(DeviceManagement, AddPrinterRefusesInTheDialogsOrderAndWritesNothing) {
    EXPECT_EQ(addPrinter("RX-H81", "NONE", "").message.text, "Please,select port!");
    EXPECT_EQ(addPrinter("RX-H81", "COM1", "").message.text, "Please,input a Logical Device Name!");
    EXPECT_FALSE(addPrinter("RX-H81", "COM1", "sixteen-chars-xx").success);
    EXPECT_FALSE(addPrinter("RX-H81", "COM5", "till").success);  // beyond the default COM4
    EXPECT_FALSE(addPrinter("RX-Z99", "COM1", "till").success);
    EXPECT_FALSE(keyExists(classKeyPath(DeviceClass::PosPrinter)));

    const CreatedDevice network = addPrinter("RX-H81", "net192.168.001.20", "net");
    ASSERT_TRUE(network.success) << network.message.text;
    EXPECT_EQ(readText(printerPath("RX-H81"), "Port"), "NET192.168.1.20");
}

TEST_F(DeviceManagement, DrawerTakesASerialPrintersLineButDtrDsrFlowControl) {
    NewPrinter printer;
    printer.model = "RX-H81";
    printer.port = "COM3";
    printer.logicalName = "till";
    printer.baudrate = 38400;
    printer.parity = ParityEven;
    printer.handshake = HandshakeXonXoff;
    ASSERT_TRUE(createPrinter(printer).success);

    DrawerChoice choice = choosePrinterForDrawer("RX-H81");
    ASSERT_TRUE(choice.success);
    choice.drawer.logicalName = "Cash";
    choice.drawer.openSingle = OpenSignalHigh;
    choice.drawer.pinSingle = DrawerPin5;
    const CreatedDevice drawer = createDrawer(choice.drawer);
    ASSERT_TRUE(drawer.success) << drawer.message.text;
    EXPECT_EQ(drawer.deviceKeyName, "RX-H81Drawer");

    const std::string path = drawerPath("RX-H81Drawer");
    EXPECT_EQ(readText(path, "Port"), "COM3");
    EXPECT_EQ(readNumber(path, "Baudrate"), 38400u);
    EXPECT_EQ(readNumber(path, "Parity"), 2u);
    EXPECT_EQ(readNumber(path, "Handshake"), 0u);
    EXPECT_EQ(readNumber(path, "OpenSingle"), 1u);
    EXPECT_EQ(readNumber(path, "PinSingle"), 1u);
    EXPECT_EQ(readText(path, "Name"), "RX-H81");
    EXPECT_EQ(readText(path, "LDN"), "cash");
    EXPECT_EQ(readText(path, ""), "SOCorvaneCash.SOCvCash.1");
    EXPECT_EQ(findDrawerOf("RX-H81"), "RX-H81Drawer");

    const DrawerChoice second = choosePrinterForDrawer("RX-H81");
    EXPECT_FALSE(second.success);
    EXPECT_EQ(second.message.text, "RX-H81 already has a cashDrawer of RX-H81Drawer");
    EXPECT_EQ(createDrawer(choice.drawer).message.text, "RX-H81 already has a cashDrawer of RX-H81Drawer");
}

TEST_F(DeviceManagement, DrawerAndFurtherNamesNeedAPrinter) {
    EXPECT_EQ(checkPrinterDefined().message.text, "Please,add printer!");
    EXPECT_EQ(choosePrinterForDrawer("NONE").message.text, "Please,select a printer!");
    EXPECT_EQ(addLogicalName("NONE", "x").message.text, "Please,select a printer!");

    ASSERT_TRUE(addPrinter("RX-H81", "COM1", "p1").success);
    EXPECT_TRUE(checkPrinterDefined().success);
    EXPECT_EQ(addLogicalName("RX-H81", "").message.text, "Please,input a Logical Device Name!");
    ASSERT_TRUE(addLogicalName("RX-H81", "P2").success);
    EXPECT_EQ(logicalNames(DeviceClass::PosPrinter, "RX-H81"), (Strings{"p1", "p2"}));

    // Names are unique per class: a drawer may carry a printer's name.
    ASSERT_TRUE(addDrawer("RX-H81", "p1").success);
    EXPECT_EQ(logicalNames(DeviceClass::CashDrawer, "RX-H81Drawer"), Strings{"p1"});
}

TEST_F(DeviceManagement, DeletingAPrinterWithOneNameAsksAndTakesItsDrawer) {
    ASSERT_TRUE(addPrinter("RX-H81", "COM1", "till").success);
    ASSERT_TRUE(addDrawer("RX-H81", "cash").success);
    ASSERT_TRUE(addLogicalName("RX-H81Drawer", "cash2").success);

    const Outcome cancelled = deleteDevice(DeviceClass::PosPrinter, "RX-H81", "till", answer(false));
    EXPECT_FALSE(cancelled.success);
    EXPECT_FALSE(cancelled.hasMessage());
    EXPECT_EQ(asked.text, "Are you sure delete the RX-H81 device?");
    EXPECT_TRUE(keyExists(printerPath("RX-H81")));

    ASSERT_TRUE(deleteDevice(DeviceClass::PosPrinter, "RX-H81", "till", answer(true)).success);
    EXPECT_FALSE(keyExists(printerPath("RX-H81")));
    EXPECT_FALSE(keyExists(drawerPath("RX-H81Drawer")));
    EXPECT_TRUE(valueNames(classKeyPath(DeviceClass::PosPrinter)).empty());
    EXPECT_TRUE(valueNames(classKeyPath(DeviceClass::CashDrawer)).empty());
}

TEST_F(DeviceManagement, DeletingWithSeveralNamesCancelKeepsTheDeviceOkRemovesAll) {
    ASSERT_TRUE(addPrinter("RX-H81", "COM1", "a").success);
    ASSERT_TRUE(addLogicalName("RX-H81", "b").success);
    ASSERT_TRUE(addLogicalName("RX-H81", "c").success);
    ASSERT_TRUE(addDrawer("RX-H81", "cash").success);
    writeLdn(DeviceClass::PosPrinter, "other", "XY-9000");

    ASSERT_TRUE(deleteDevice(DeviceClass::PosPrinter, "RX-H81", "b", answer(false)).success);
    EXPECT_EQ(asked.text,
              "Are you sure delete the RX-H81 device?\nOK:Dlelte the device;\nCancel:Delete the current logic "
              "device name.");
    EXPECT_EQ(logicalNames(DeviceClass::PosPrinter, "RX-H81"), (Strings{"a", "c"}));
    EXPECT_TRUE(keyExists(drawerPath("RX-H81Drawer")));

    ASSERT_TRUE(deleteDevice(DeviceClass::PosPrinter, "RX-H81", "c", answer(true)).success);
    EXPECT_FALSE(keyExists(printerPath("RX-H81")));
    EXPECT_FALSE(keyExists(drawerPath("RX-H81Drawer")));
    EXPECT_EQ(valueNames(classKeyPath(DeviceClass::PosPrinter)), Strings{"other"});
}

TEST_F(DeviceManagement, DeletingADrawerLeavesItsPrinter) {
    ASSERT_TRUE(addPrinter("RX-H81", "COM1", "till").success);
    ASSERT_TRUE(addDrawer("RX-H81", "cash").success);
    EXPECT_FALSE(deleteDevice(DeviceClass::CashDrawer, "RX-H81Drawer", "till", answer(true)).success);
    ASSERT_TRUE(deleteDevice("RX-H81Drawer", "cash", answer(true)).success);
    EXPECT_FALSE(keyExists(drawerPath("RX-H81Drawer")));
    EXPECT_EQ(logicalNames(DeviceClass::PosPrinter, "RX-H81"), Strings{"till"});
}

}  // namespace
}  // namespace setuptest
