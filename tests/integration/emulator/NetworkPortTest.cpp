#include <gtest/gtest.h>

#include <random>

#include "TransportTestSupport.h"
#include "emulator/NetworkPort.h"

using namespace emulator;
using namespace transporttest;

namespace {

const Bytes kStatusRequest{0x1B, 0x76};

StatusBlock toBlock(const Bytes& bytes) {
    StatusBlock block{};
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 4), block.begin());
    return block;
}

// Ports of zero keep the tests clear of each other and of a running
// emulator; the fixed numbers have their own test below.
struct NetworkPrinter {
    explicit NetworkPrinter(const std::string& model = "H81") : printer(model, 7) {
        std::string error;
        port = NetworkPort::open(printer, {"127.0.0.1", 0, 0, {}}, &error);
        EXPECT_TRUE(port) << error;
    }
    Fd connectData() const { return connectTcp("127.0.0.1", port->dataPort()); }
    Fd connectStatus() const { return connectTcp("127.0.0.1", port->statusPort()); }

    VirtualPrinter printer;
    std::unique_ptr<NetworkPort> port;
};

TEST(NetworkPort, DataConnectionFeedsThePrinterAndCarriesItsAnswersBack) {
    NetworkPrinter net;
    Fd data = net.connectData();
    ASSERT_TRUE(data.valid());

    const Bytes print = asBytes("Hello\n");
    ASSERT_TRUE(writeAll(data.get(), print));
    ASSERT_TRUE(net.printer.waitForReceived(print.size(), 3s));
    ASSERT_TRUE(writeAll(data.get(), kStatusRequest));
    ASSERT_TRUE(net.printer.waitForReceived(print.size() + 2, 3s));

    Bytes expected = print;
    expected.insert(expected.end(), kStatusRequest.begin(), kStatusRequest.end());
    EXPECT_EQ(net.printer.receivedBytes(), expected);
    // The printer answers a status request on whatever channel carried it.
    EXPECT_EQ(toBlock(readBytes(data.get(), 4)), net.printer.statusBlock());
}

TEST(NetworkPort, StatusPortAnswersEveryRequestWithTheCurrentBlockAndNothingElse) {
    NetworkPrinter net;
    Fd status = net.connectStatus();
    ASSERT_TRUE(status.valid());

    // Two requests in one write, one split across two writes, and noise.
    ASSERT_TRUE(writeAll(status.get(), {0x1B, 0x76, 0x1B, 0x76}));
    Bytes replies = readBytes(status.get(), 8);
    ASSERT_EQ(replies.size(), 8u);
    EXPECT_EQ(toBlock(replies), net.printer.statusBlock());
    EXPECT_EQ(toBlock(tail(replies, 4)), net.printer.statusBlock());

    ASSERT_TRUE(writeAll(status.get(), {'x', 0x76, 0x1B}));
    ASSERT_TRUE(writeAll(status.get(), {0x76}));
    EXPECT_EQ(toBlock(readBytes(status.get(), 4)), net.printer.statusBlock());

    const StatusBlock before = net.printer.statusBlock();
    net.printer.changeState([](PrinterState& s) { s.coverOpen = true; });
    ASSERT_NE(net.printer.statusBlock(), before);
    ASSERT_TRUE(writeAll(status.get(), kStatusRequest));
    EXPECT_EQ(toBlock(readBytes(status.get(), 4)), net.printer.statusBlock());
    EXPECT_TRUE(staysQuiet(status.get(), 100ms)) << "one block per request, nothing for the noise";

    // Status traffic is not print data.
    EXPECT_TRUE(net.printer.receivedBytes().empty());
}

TEST(NetworkPort, SlowAndSilentStatusReplies) {
    NetworkPrinter net;
    Fd status = net.connectStatus();
    ASSERT_TRUE(status.valid());

    net.printer.changeState([](PrinterState& s) { s.statusReplyDelay = 300ms; });
    const auto asked = Clock::now();
    ASSERT_TRUE(writeAll(status.get(), kStatusRequest));
    // A host that gives up after 100 ms sees nothing.
    EXPECT_TRUE(staysQuiet(status.get(), 100ms));
    EXPECT_EQ(readBytes(status.get(), 4).size(), 4u);
    EXPECT_GE(Clock::now() - asked, 300ms);

    net.printer.changeState([](PrinterState& s) {
        s.statusReplyDelay = 0ms;
        s.statusSilent = true;
    });
    ASSERT_TRUE(writeAll(status.get(), kStatusRequest));
    EXPECT_TRUE(staysQuiet(status.get(), 300ms));

    net.printer.changeState([](PrinterState& s) { s.statusSilent = false; });
    ASSERT_TRUE(writeAll(status.get(), kStatusRequest));
    EXPECT_EQ(readBytes(status.get(), 4).size(), 4u);
    EXPECT_TRUE(staysQuiet(status.get(), 100ms)) << "the request made while silent stays unanswered";
}

// A printer that is off, or whose cable is pulled, resets what was open and
// refuses new connections until it is back on the network.
class NetworkPortOffline : public ::testing::TestWithParam<bool> {
protected:
    static void setOffline(VirtualPrinter& printer, bool offline) {
        const bool byPower = GetParam();
        printer.changeState([&](PrinterState& s) {
            if (byPower) {
                s.powerOn = !offline;
            } else {
                s.networkLinkDown = offline;
            }
        });
    }
};

TEST_P(NetworkPortOffline, ResetsConnectionsRefusesNewOnesAndComesBack) {
    NetworkPrinter net;
    Fd data = net.connectData();
    Fd status = net.connectStatus();
    ASSERT_TRUE(data.valid() && status.valid());

    setOffline(net.printer, true);
    // The reset shows as an error, never as an orderly end the host could
    // take for an empty status reply.
    ASSERT_TRUE(eventually([&] {
        char c = 0;
        return ::recv(status.get(), &c, 1, MSG_DONTWAIT) < 0 && errno == ECONNRESET;
    }));
    EXPECT_TRUE(readBytes(data.get(), 1, 1s).empty());
    EXPECT_TRUE(eventually([&] { return !net.connectData().valid() && !net.connectStatus().valid(); }));

    setOffline(net.printer, false);
    ASSERT_TRUE(eventually([&] { return net.connectStatus().valid(); }));
    Fd again = net.connectData();
    ASSERT_TRUE(again.valid());
    ASSERT_TRUE(writeAll(again.get(), asBytes("back")));
    EXPECT_TRUE(net.printer.waitForReceived(4, 3s));
    EXPECT_TRUE(net.port->lastError().empty()) << net.port->lastError();
}

INSTANTIATE_TEST_SUITE_P(PowerAndLink, NetworkPortOffline, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "PowerOff" : "LinkDown"; });

TEST(NetworkPort, ListensOnTheFixedPortsOfItsOwnLoopbackAddress) {
    // An address of its own, so the fixed ports do not clash with anything
    // else on the machine.
    std::mt19937 random(std::random_device{}());
    const std::string address = "127.213." + std::to_string(random() % 250 + 1) + "." +
                                std::to_string(random() % 250 + 1);
    VirtualPrinter printer("K92", 1);
    std::string error;
    auto port = NetworkPort::open(printer, {address, NetworkPort::kDefaultDataPort,
                                            NetworkPort::kDefaultStatusPort, {}}, &error);
    ASSERT_TRUE(port) << error;
    EXPECT_EQ(port->dataPort(), 9100);
    EXPECT_EQ(port->statusPort(), 4000);
    Fd status = connectTcp(address, 4000);
    ASSERT_TRUE(status.valid());
    ASSERT_TRUE(writeAll(status.get(), kStatusRequest));
    EXPECT_EQ(readBytes(status.get(), 4).size(), 4u);
    EXPECT_FALSE(connectTcp("127.213.0.254", 9100).valid()) << "only its own address listens";

    // The same address cannot serve two printers.
    VirtualPrinter twin("K92", 2);
    EXPECT_FALSE(NetworkPort::open(twin, {address, 9100, 4000, {}}, &error));
    EXPECT_NE(error.find(address), std::string::npos) << error;
    EXPECT_FALSE(NetworkPort::open(twin, {"127.0.0.300", 0, 0, {}}, &error));
}

TEST(NetworkPort, AnswersReachEveryConnectedHostAndStopPromptly) {
    auto net = std::make_unique<NetworkPrinter>();
    Fd first = net->connectData();
    Fd second = net->connectData();
    ASSERT_TRUE(first.valid() && second.valid());
    // Once the second host's byte arrived, both connections are taken up.
    ASSERT_TRUE(writeAll(second.get(), {'a'}));
    ASSERT_TRUE(net->printer.waitForReceived(1, 3s));
    ASSERT_TRUE(writeAll(first.get(), kStatusRequest));
    EXPECT_EQ(readBytes(first.get(), 4).size(), 4u);
    EXPECT_EQ(readBytes(second.get(), 4).size(), 4u);

    const auto start = Clock::now();
    net->port.reset();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_TRUE(readBytes(first.get(), 1, 1s).empty()) << "closed with the port";
}

}  // namespace
