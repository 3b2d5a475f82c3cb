// The Windows stand-in for the virtual printer answers as the printer in
// the Linux emulator does, for the members the integration suites call.
#include <gtest/gtest.h>

#include <filesystem>

#include "PortTestFixture.h"
#include "support/RemotePrinter.h"

namespace porttest {
namespace {

using namespace std::chrono_literals;
using emulator::PrinterState;
using testsupport::RemotePrinter;

class RemotePrinterTest : public PortTest {};

TEST_F(RemotePrinterTest, AnswersAsThePrinterAndKeepsItsStateWhenItMoves) {
    RemotePrinter printer("H81");
    std::string error;
    ASSERT_TRUE(printer.startNetwork(&error)) << error;
    EXPECT_EQ(printer.portSetting(), "NET" + printer.address());

    // Text, a command the printer does not know, a cut: more than one
    // injected line's worth.
    Bytes sent = bytesOf("Remote\n");
    sent.insert(sent.end(), {0x1B, 0x5E});
    sent.insert(sent.end(), 3000, ' ');
    sent.insert(sent.end(), {'\n', 0x1D, 0x56, 0x00});
    printer.receive(sent);
    EXPECT_TRUE(printer.waitForReceived(sent.size(), 5s));
    EXPECT_EQ(printer.receivedBytes(), sent);
    EXPECT_NE(printer.transcript().find("Remote\n"), std::string::npos) << printer.transcript();
    EXPECT_EQ(printer.unknownCommands(), std::vector<std::string>{"1B 5E"});
    const std::string png = path("paper.png");
    EXPECT_TRUE(printer.writePng(png, &error)) << error;
    EXPECT_GT(std::filesystem::file_size(png), 0u);
    printer.clearOutput();
    EXPECT_EQ(printer.receivedCount(), 0u);

    printer.changeState([](PrinterState& state) {
        state.coverOpen = true;
        state.drawerOpenReadsHigh = true;
        state.asianCharacterMode = true;
        state.statusReplyDelay = 30ms;
    });
    const PrinterState changed = printer.state();
    EXPECT_TRUE(changed.coverOpen && changed.drawerOpenReadsHigh && changed.asianCharacterMode);
    EXPECT_EQ(changed.statusReplyDelay, 30ms);

    ASSERT_TRUE(printer.startSerial("COM9", &error)) << error;
    EXPECT_EQ(printer.state(), changed);
    EXPECT_EQ(printer.portSetting(), "COM9");
    EXPECT_EQ(printer.portDevice(), "\\\\.\\COM9");
    EXPECT_TRUE(printer.address().empty());
}

}  // namespace
}  // namespace porttest
