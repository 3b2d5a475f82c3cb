#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "TransportTestSupport.h"
#include "emulator/UsbNode.h"

using namespace emulator;
using namespace transporttest;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(UsbNode, PublishesNodesWithTheDeviceIdAndCarriesStatusRequests) {
    ScratchDir scratch;
    const std::string directory = scratch.file("usb");  // made by the node
    VirtualPrinter first("K92", 90);
    VirtualPrinter second("H81", 4000000000u);
    std::string error;
    auto a = UsbNode::open(first, {directory, -1, {}}, &error);
    ASSERT_TRUE(a) << error;
    auto b = UsbNode::open(second, {directory, -1, {}}, &error);
    ASSERT_TRUE(b) << error;

    EXPECT_EQ(a->nodePath(), directory + "/lp0");
    EXPECT_EQ(b->nodePath(), directory + "/lp1");
    EXPECT_EQ(readFile(directory + "/lp0.ieee1284_id"), "MFG:Corvane;MDL:RX-K92;CMD:ESC/POS;CLS:PRINTER;IID:90;");
    EXPECT_EQ(readFile(b->idFilePath()), "MFG:Corvane;MDL:RX-H81;CMD:ESC/POS;CLS:PRINTER;IID:4000000000;");
    // Asking for a node another printer holds fails.
    VirtualPrinter third("K92", 91);
    EXPECT_FALSE(UsbNode::open(third, {directory, 1, {}}, &error));

    Fd host = openLine(b->nodePath());
    ASSERT_TRUE(host.valid());
    ASSERT_TRUE(writeAll(host.get(), {0x1B, 0x76}));
    const StatusBlock block = second.statusBlock();
    EXPECT_EQ(readBytes(host.get(), 4), Bytes(block.begin(), block.end()));
    EXPECT_EQ(second.receivedBytes(), (Bytes{0x1B, 0x76}));
    EXPECT_TRUE(first.receivedBytes().empty());

    b.reset();
    EXPECT_FALSE(exists(directory + "/lp1"));
    EXPECT_FALSE(exists(directory + "/lp1.ieee1284_id"));
}

TEST(UsbNode, UnplugTakesNodeAndIdAwayAndPlugBringsThemBack) {
    ScratchDir scratch;
    VirtualPrinter printer("K92", 90);
    auto node = UsbNode::open(printer, {scratch.path(), 3, {}});
    ASSERT_TRUE(node);
    const std::string path = scratch.file("lp3");
    ASSERT_EQ(node->nodePath(), path);
    Fd host = openLine(path);
    ASSERT_TRUE(host.valid());

    node->unplug();
    EXPECT_FALSE(node->plugged());
    EXPECT_FALSE(exists(path));
    EXPECT_FALSE(exists(path + ".ieee1284_id"));
    ASSERT_TRUE(hangsUp(host.get()));
    EXPECT_EQ(::write(host.get(), "\x1b\x76", 2), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_TRUE(readBytes(host.get(), 1, 100ms).empty());

    // While out, another printer does not take its place.
    VirtualPrinter other("K92", 91);
    auto newcomer = UsbNode::open(other, {scratch.path(), -1, {}});
    ASSERT_TRUE(newcomer);
    EXPECT_NE(newcomer->nodePath(), path);

    std::string error;
    ASSERT_TRUE(node->plug(&error)) << error;
    EXPECT_TRUE(exists(path + ".ieee1284_id"));
    Fd again = openLine(path);
    ASSERT_TRUE(again.valid());
    ASSERT_TRUE(writeAll(again.get(), {0x1B, 0x76}));
    EXPECT_EQ(readBytes(again.get(), 4).size(), 4u);
}

TEST(UsbNode, APrinterSwitchedOffDropsOffTheBus) {
    ScratchDir scratch;
    VirtualPrinter printer("K92", 90);
    auto node = UsbNode::open(printer, {scratch.path(), -1, {}});
    ASSERT_TRUE(node);
    Fd host = openLine(node->nodePath());
    ASSERT_TRUE(host.valid());

    printer.changeState([](PrinterState& s) { s.powerOn = false; });
    ASSERT_TRUE(hangsUp(host.get()));
    EXPECT_FALSE(exists(node->nodePath()));
    EXPECT_FALSE(exists(node->idFilePath()));

    // Plugged in while off: still nothing until the power comes back.
    node->unplug();
    ASSERT_TRUE(node->plug());
    EXPECT_FALSE(exists(node->nodePath()));
    printer.changeState([](PrinterState& s) { s.powerOn = true; });
    EXPECT_TRUE(eventually([&] { return exists(node->nodePath()) && exists(node->idFilePath()); }));
}

}  // namespace
