#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "schema/DeviceEntry.h"
#include "support/TempRegistry.h"

namespace {

using namespace schema;

std::vector<std::string> valueNamesInOrder(const RegKey& key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[80];
        DWORD nameLength = sizeof name;
        if (platform::regEnumValue(key.handle(), index, name, &nameLength, nullptr, nullptr, nullptr) !=
            platform::ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, nameLength);
    }
    return names;
}

RegKey freshKey(const std::string& className, const std::string& deviceName) {
    RegKey key;
    EXPECT_EQ(key.create(platform::HKLM, deviceKeyPath(className, deviceName)), platform::ERROR_SUCCESS);
    return key;
}

class DeviceEntryTest : public ::testing::Test {
protected:
    testsupport::TempRegistry registry;
};

TEST_F(DeviceEntryTest, PrinterValuesAreWrittenInCreationOrderForEachPortKind) {
    PrinterValues serial;
    serial.settings.port = "COM3";
    serial.logicalName = "till1";
    RegKey serialKey = freshKey(kPosPrinterClass, "RX-H81");
    ASSERT_EQ(writePrinterValues(serialKey, serial), platform::ERROR_SUCCESS);
    EXPECT_EQ(valueNamesInOrder(serialKey),
              (std::vector<std::string>{"Port", "Baudrate", "StopBit", "Bitlength", "Parity", "Handshake",
                                        "TimeOut", "Description", "LDN", ""}));

    PrinterValues parallel = serial;
    parallel.settings.port = "LPT2";
    RegKey parallelKey = freshKey(kPosPrinterClass, "RX-H81_2");
    ASSERT_EQ(writePrinterValues(parallelKey, parallel), platform::ERROR_SUCCESS);
    EXPECT_EQ(valueNamesInOrder(parallelKey).front(), "LPTAddress");
    DWORD address = 0;
    ASSERT_EQ(parallelKey.readDword(value::LPTAddress, &address), platform::ERROR_SUCCESS);
    EXPECT_EQ(address, 632u);

    PrinterValues usb = serial;
    usb.settings.port = "USB2";
    usb.settings.internalId = 0x12345678;
    usb.settings.usbPrintName = "RX-K93";
    RegKey usbKey = freshKey(kPosPrinterClass, "RX-K93");
    ASSERT_EQ(writePrinterValues(usbKey, usb), platform::ERROR_SUCCESS);
    auto usbNames = valueNamesInOrder(usbKey);
    ASSERT_GE(usbNames.size(), 3u);
    EXPECT_EQ((std::vector<std::string>(usbNames.begin(), usbNames.begin() + 3)),
              (std::vector<std::string>{"Port", "InternalID", "USBPrintName"}));

    std::string progId;
    ASSERT_EQ(serialKey.readString(value::Default, 255, &progId), platform::ERROR_SUCCESS);
    EXPECT_EQ(progId, "SOCorvane.posprinter.1");
}

TEST_F(DeviceEntryTest, DrawerTakesPrinterSettingsButAlwaysDtrDsrFlowControl) {
    PortSettings printer;
    printer.port = "COM2";
    printer.baudrate = 38400;
    printer.parity = ParityEven;
    printer.handshake = HandshakeXonXoff;
    DrawerValues drawer = drawerValuesFor("RX-H81_2", printer, "drawer1", OpenSignalHigh, DrawerPin5);
    RegKey key = freshKey(kCashDrawerClass, drawerKeyName("RX-H81_2"));
    ASSERT_EQ(writeDrawerValues(key, drawer), platform::ERROR_SUCCESS);

    EXPECT_EQ(valueNamesInOrder(key),
              (std::vector<std::string>{"Port", "Baudrate", "StopBit", "Bitlength", "Parity", "Handshake",
                                        "TimeOut", "Description", "OpenSingle", "PinSingle", "LDN", "Name",
                                        ""}));
    PortSettings stored;
    ASSERT_EQ(readPortSettings(key, &stored), platform::ERROR_SUCCESS);
    EXPECT_EQ(stored.port, "COM2");
    EXPECT_EQ(stored.baudrate, 38400u);
    EXPECT_EQ(stored.parity, DWORD(ParityEven));
    EXPECT_EQ(stored.handshake, DWORD(HandshakeDtrDsr));
    std::string name;
    ASSERT_EQ(key.readString(value::Name, 30, &name), platform::ERROR_SUCCESS);
    EXPECT_EQ(name, "RX-H81_2");
    DWORD open = 9, pin = 9;
    ASSERT_EQ(readDrawerSignals(key, &open, &pin), platform::ERROR_SUCCESS);
    EXPECT_EQ(open, DWORD(OpenSignalHigh));
    EXPECT_EQ(pin, DWORD(DrawerPin5));
}

TEST_F(DeviceEntryTest, PortLibrarySpellingFindsTheValuesTheSetupToolWrote) {
    PrinterValues values;
    values.settings.port = "COM1";
    values.settings.bitLength = 7;
    values.settings.handshake = HandshakeRtsCts;
    RegKey key = freshKey(kPosPrinterClass, "RT-B20");
    ASSERT_EQ(writePrinterValues(key, values), platform::ERROR_SUCCESS);

    RegKey reader;
    ASSERT_EQ(reader.open(platform::HKLM, deviceKeyPath(kPosPrinterClass, "RT-B20"), platform::KEY_READ),
              platform::ERROR_SUCCESS);
    DWORD bitLength = 0, handshake = 0;
    ASSERT_EQ(reader.readDword(value::BitLengthAsRead, &bitLength), platform::ERROR_SUCCESS);
    ASSERT_EQ(reader.readDword(value::HandShakeAsRead, &handshake), platform::ERROR_SUCCESS);
    EXPECT_EQ(bitLength, 7u);
    EXPECT_EQ(handshake, DWORD(HandshakeRtsCts));
    // The stored names keep the writer's spelling.
    auto names = valueNamesInOrder(reader);
    EXPECT_NE(std::find(names.begin(), names.end(), "Bitlength"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Handshake"), names.end());
}

TEST_F(DeviceEntryTest, MovingAParallelPrinterToComDropsItsLptAddressOnly) {
    PrinterValues values;
    values.settings.port = "LPT1";
    RegKey key = freshKey(kPosPrinterClass, "RX-A14");
    ASSERT_EQ(writePrinterValues(key, values), platform::ERROR_SUCCESS);

    PortSettings moved = values.settings;
    moved.port = "NET10.0.0.7";
    ASSERT_EQ(writePortSettings(key, moved), platform::ERROR_SUCCESS);
    DWORD address = 0;
    EXPECT_EQ(key.readDword(value::LPTAddress, &address), platform::ERROR_SUCCESS)
        << "a network port leaves LPTAddress alone";

    moved.port = "COM2";
    moved.baudrate = 115200;
    ASSERT_EQ(writePortSettings(key, moved), platform::ERROR_SUCCESS);
    EXPECT_EQ(key.readDword(value::LPTAddress, &address), platform::ERROR_FILE_NOT_FOUND);
    // Writing COM again must not fail although the value is already gone.
    ASSERT_EQ(writePortSettings(key, moved), platform::ERROR_SUCCESS);
    PortSettings stored;
    ASSERT_EQ(readPortSettings(key, &stored), platform::ERROR_SUCCESS);
    EXPECT_EQ(stored.port, "COM2");
    EXPECT_EQ(stored.baudrate, 115200u);

    moved.port = "LPT4";
    ASSERT_EQ(writePortSettings(key, moved), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.readDword(value::LPTAddress, &address), platform::ERROR_SUCCESS);
    EXPECT_EQ(address, 46080u);
}

TEST_F(DeviceEntryTest, StringReadsHonourTheCallersBufferSize) {
    RegKey key = freshKey(kPosPrinterClass, "RX-K93");
    ASSERT_EQ(key.writeString(value::USBPrintName, "0123456789012345678"), platform::ERROR_SUCCESS);  // 19 + NUL
    std::string text = "untouched";
    EXPECT_EQ(key.readString(value::USBPrintName, 19, &text), platform::ERROR_MORE_DATA);
    EXPECT_EQ(text, "untouched");
    ASSERT_EQ(key.readString(value::USBPrintName, 20, &text), platform::ERROR_SUCCESS);
    EXPECT_EQ(text, "0123456789012345678");

    DWORD number = 0;
    EXPECT_EQ(key.readDword(value::USBPrintName, &number), platform::ERROR_INVALID_DATA);
    ASSERT_EQ(key.writeDword(value::TimeOut, 5000), platform::ERROR_SUCCESS);
    EXPECT_EQ(key.readString(value::TimeOut, 255, &text), platform::ERROR_INVALID_DATA);
}

TEST_F(DeviceEntryTest, ReadOnlyKeyRefusesWrites) {
    { RegKey key = freshKey(kPosPrinterClass, "RX-H81"); }
    RegKey reader;
    ASSERT_EQ(reader.open(platform::HKLM, deviceKeyPath(kPosPrinterClass, "RX-H81"), platform::KEY_READ),
              platform::ERROR_SUCCESS);
    EXPECT_EQ(reader.writeDword(value::TimeOut, 1), platform::ERROR_ACCESS_DENIED);
    RegKey missing;
    EXPECT_EQ(missing.open(platform::HKLM, deviceKeyPath(kPosPrinterClass, "RX-NONE"), platform::KEY_READ),
              platform::ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.isOpen());
}

}  // namespace
