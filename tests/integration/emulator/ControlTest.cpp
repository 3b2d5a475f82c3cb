#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "TransportTestSupport.h"
#include "emulator/ControlProtocol.h"
#include "emulator/ControlServer.h"
#include "emulator/EmulatorPrinters.h"

using namespace emulator;
using namespace transporttest;

namespace {

PrinterState applied(const std::string& line) {
    std::string error;
    const auto command = parseControlLine(line, &error);
    EXPECT_TRUE(command) << line << ": " << error;
    PrinterState state;
    if (command) {
        EXPECT_EQ(command->kind, ControlCommand::Kind::ChangeState) << line;
        if (command->change) {
            command->change(state);
        }
    }
    return state;
}

TEST(ControlProtocol, EveryStateCommandSetsItsFieldAndDescribesItselfTheSameWay) {
    // Each command, applied to a fresh state, changes exactly what
    // describeStateChanges reports, in the same words.
    const std::vector<std::string> commands{
        "power off", "cover open", "paper end receipt", "paper near-end journal", "paper end slip",
        "slip insert", "error cutter on", "error motor on", "error resume on", "error autostatus on",
        "drawer open", "drawer auto-close 1500", "drawer sensor high", "link down", "status delay 250",
        "status silent on", "character-mode asian"};
    for (const auto& command : commands) {
        EXPECT_EQ(describeStateChanges(PrinterState{}, applied(command)), std::vector<std::string>{command});
    }
    // And back.
    PrinterState changed = applied("cover open");
    changed.receiptEnd = changed.receiptNearEnd = true;
    std::string error;
    for (const std::string line : {"cover close", "paper ok"}) {
        parseControlLine(line, &error)->change(changed);
    }
    EXPECT_TRUE(describeStateChanges(PrinterState{}, changed).empty());
}

TEST(ControlProtocol, FieldsAndDefaults) {
    EXPECT_TRUE(applied("paper end").receiptEnd);
    EXPECT_TRUE(applied("paper end").receiptNearEnd) << "an empty roll has passed the near-end sensor";
    EXPECT_FALSE(applied("paper near-end").receiptEnd);
    EXPECT_TRUE(applied("paper near-end slip").slipNearEnd);
    EXPECT_EQ(applied("drawer auto-close 0").drawerClosesAfter, 0ms);
    EXPECT_EQ(applied("status delay 3600000").statusReplyDelay, 3600000ms);
    EXPECT_TRUE(applied("  cover\topen  \r").coverOpen);
}

TEST(ControlProtocol, QueriesSelectorsAndMistakes) {
    std::string error;
    auto command = parseControlLine("@front status", &error);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->printer, "front");
    EXPECT_EQ(command->kind, ControlCommand::Kind::Status);

    command = parseControlLine("@png png  /tmp/my receipts/a.png ", &error);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->printer, "png");
    EXPECT_EQ(command->kind, ControlCommand::Kind::Png);
    EXPECT_EQ(command->path, "/tmp/my receipts/a.png");

    for (const auto& [line, kind] : std::vector<std::pair<std::string, ControlCommand::Kind>>{
             {"transcript", ControlCommand::Kind::Transcript},
             {"unplug", ControlCommand::Kind::Unplug},
             {"plug", ControlCommand::Kind::Plug},
             {"quit", ControlCommand::Kind::Quit},
             {"received", ControlCommand::Kind::ReceivedCount},
             {"received 0", ControlCommand::Kind::ReceivedBytes},
             {"clear", ControlCommand::Kind::Clear},
             {"state", ControlCommand::Kind::State},
             {"autostatus", ControlCommand::Kind::AutoStatus},
             {"unknown", ControlCommand::Kind::UnknownCommands},
             {"line", ControlCommand::Kind::Line},
             {"inject 1B40", ControlCommand::Kind::Inject}}) {
        command = parseControlLine(line, &error);
        ASSERT_TRUE(command) << line;
        EXPECT_EQ(command->kind, kind) << line;
    }

    for (const std::string bad :
         {"", "   ", "@", "@front", "cover", "cover ajar", "cover open now", "paper gone", "paper end roll",
          "status delay", "status delay -1", "status delay 3600001", "status delay 12ms", "drawer auto-close x",
          "error printer on", "error cutter maybe", "png", "png   ", "Cover open", "status now", "received -1",
          "received 1 2", "received x", "drawer sensor", "character-mode eu", "inject", "inject 1B4", "inject 1B 40"}) {
        error.clear();
        EXPECT_FALSE(parseControlLine(bad, &error)) << "\"" << bad << "\"";
        EXPECT_FALSE(error.empty()) << "\"" << bad << "\"";
    }
}

TEST(ControlProtocol, FormatsBlocksAndKeepsRepliesOnOneLine) {
    EXPECT_EQ(formatStatusBlock({0x14, 0x00, 0x60, 0x6F}), "14 00 60 6F");
    const std::string text = "a\\b\nc\td\r\x01\x7f\\x41\xff";
    EXPECT_EQ(escapeForLine(text), "a\\\\b\\nc\\td\\r\\x01\\x7F\\\\x41\xff");
    EXPECT_EQ(unescapeLine(escapeForLine(text)), text);
    EXPECT_EQ(unescapeLine("\\x4"), "\\x4") << "a cut-off escape stays as it stands";
}

TEST(ControlProtocol, BytesAndStateSurviveTheRoundTripThroughAReplyLine) {
    const Bytes bytes = {0x00, 0x1B, 0x40, 0x0A, 0xFF};
    EXPECT_EQ(formatHex(bytes), "001B400AFF");
    EXPECT_EQ(parseHex("001b400AFF"), bytes);
    for (const std::string bad : {"0", "0G", "1B4"}) {
        EXPECT_FALSE(parseHex(bad)) << bad;
    }

    PrinterState state;
    state.powerOn = false;
    state.journalEnd = state.journalNearEnd = true;
    state.drawerClosesAfter = 500ms;
    state.drawerOpenReadsHigh = true;
    state.statusReplyDelay = 20ms;
    state.asianCharacterMode = true;
    std::string error;
    EXPECT_EQ(parseStateReply(formatStateReply(state), &error), state) << error;
    EXPECT_EQ(parseStateReply("", &error), PrinterState{});
    EXPECT_FALSE(parseStateReply("cover open; status", &error));
    EXPECT_FALSE(parseStateReply("cover open; @x cover close", &error));
}

TEST(ControlServer, AnswersEachLineOverARealSocket) {
    ScratchDir scratch;
    const std::string path = scratch.file("control.sock");
    std::string error;
    auto server = ControlServer::open(path, [](std::string_view line) { return "got " + std::string(line); }, &error);
    ASSERT_TRUE(server) << error;

    Fd client = connectUnix(path);
    ASSERT_TRUE(client.valid());
    // Two lines in one write, CRLF, a blank line that gets no reply.
    ASSERT_TRUE(writeAll(client.get(), asBytes("one\ntwo\r\n\n  \nthree\n")));
    EXPECT_EQ(readLine(client.get()), "got one");
    EXPECT_EQ(readLine(client.get()), "got two");
    EXPECT_EQ(readLine(client.get()), "got three");

    // A line that never ends within the limit is refused once, then the
    // connection serves the next line.
    const std::string flood(ControlServer::kMaxLineLength * 3, 'x');
    ASSERT_TRUE(writeAll(client.get(), asBytes(flood + "\nfour\n")));
    EXPECT_EQ(readLine(client.get()), "error line too long");
    EXPECT_EQ(readLine(client.get()), "got four");

    // A second emulator may not take a live socket; a dead one is replaced.
    EXPECT_FALSE(ControlServer::open(path, [](std::string_view) { return std::string(); }, &error));
    server.reset();
    EXPECT_FALSE(exists(path));
    EXPECT_FALSE(ControlServer::open(scratch.path(), [](std::string_view) { return std::string(); }, &error))
        << "a folder is not a socket";
    EXPECT_FALSE(ControlServer::open(scratch.file(std::string(120, 's')), [](std::string_view) { return std::string(); },
                                     &error));
}

TEST(ControlServer, AnswersOverTcpOnALoopbackAddress) {
    std::string error;
    auto server =
        ControlServer::open("tcp:127.0.0.1:0", [](std::string_view line) { return "got " + std::string(line); }, &error);
    EXPECT_FALSE(server) << "port 0 would leave the client guessing";
    for (const std::string bad : {"tcp:127.0.0.1", "tcp:localhost:4100", "tcp:127.0.0.1:70000", "tcp::4100"}) {
        EXPECT_FALSE(ControlServer::open(bad, [](std::string_view) { return std::string(); }, &error)) << bad;
    }
    std::uint16_t port = 0;
    for (std::uint16_t candidate = 41000; !server && candidate < 41100; ++candidate) {
        server = ControlServer::open("tcp:127.0.0.1:" + std::to_string(candidate),
                                     [](std::string_view line) { return "got " + std::string(line); }, &error);
        port = candidate;
    }
    ASSERT_TRUE(server) << error;
    Fd client = connectTcp("127.0.0.1", port);
    ASSERT_TRUE(client.valid());
    EXPECT_EQ(ask(client.get(), "one"), "got one");
    EXPECT_FALSE(ControlServer::open(server->path(), [](std::string_view) { return std::string(); }, &error))
        << "the port is taken";
}

TEST(ControlServer, ReplacesTheSocketOfAnEmulatorThatDied) {
    ScratchDir scratch;
    const std::string path = scratch.file("control.sock");
    {
        Fd orphan(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(orphan.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    }
    ASSERT_TRUE(exists(path));
    auto server = ControlServer::open(path, [](std::string_view) { return std::string("ok"); });
    ASSERT_TRUE(server);
    Fd client = connectUnix(path);
    EXPECT_EQ(ask(client.get(), "status"), "ok");
}

TEST(TransportConfig, ParsesEachKind) {
    std::string error;
    auto config = parseTransportConfig("net:127.0.0.5", &error);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->kind, TransportConfig::Kind::Network);
    EXPECT_EQ(config->address, "127.0.0.5");
    EXPECT_EQ(config->dataPort, 9100);
    EXPECT_EQ(config->statusPort, 4000);
    config = parseTransportConfig("net:127.0.0.5:9101:4001", &error);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->dataPort, 9101);
    EXPECT_EQ(config->statusPort, 4001);
    config = parseTransportConfig("parallel:/tmp/x/LPT1", &error);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->kind, TransportConfig::Kind::Parallel);
    EXPECT_EQ(config->path, "/tmp/x/LPT1");
    for (const std::string bad : {"net:", "net:1.2.3.4:70000", "net:1.2.3.4:9100:x", "serial:", "usb", "tcp:1.2.3.4"}) {
        EXPECT_FALSE(parseTransportConfig(bad, &error)) << bad;
    }
}

// Two printers behind real transports, driven through the control language
// as the program's socket drives them.
TEST(EmulatorPrinters, RoutesControlLinesToTheNamedPrinter) {
    ScratchDir scratch;
    std::atomic<int> quits{0};
    EmulatorPrinters printers({{}, [&] { ++quits; }});
    std::string error;
    ASSERT_TRUE(printers.add({"front", "H81", 1, *parseTransportConfig("net:127.0.0.1:0:0", &error)}, &error)) << error;
    ASSERT_TRUE(printers.add({"back", "K92", 90, *parseTransportConfig("usb:" + scratch.file("usb"), &error)}, &error))
        << error;
    EXPECT_FALSE(printers.add({"front", "H81", 1, *parseTransportConfig("serial:" + scratch.file("c"), &error)}, &error));
    EXPECT_FALSE(printers.add({"bad name", "H81", 1, *parseTransportConfig("serial:" + scratch.file("c"), &error)}));
    EXPECT_EQ(printers.printers().size(), 2u);
    EXPECT_EQ(printers.find("back")->endpoint(), "usb " + scratch.file("usb") + "/lp0 IID 90");

    EXPECT_EQ(printers.handleControlLine("cover open").rfind("error several printers", 0), 0u);
    EXPECT_EQ(printers.handleControlLine("@side cover open"), "error no printer named side");
    EXPECT_EQ(printers.handleControlLine("@front cover open"), "ok");
    EXPECT_TRUE(printers.find("front")->printer->state().coverOpen);
    EXPECT_FALSE(printers.find("back")->printer->state().coverOpen);
    EXPECT_EQ(printers.handleControlLine("@front status"),
              "ok " + formatStatusBlock(printers.find("front")->printer->statusBlock()));
    EXPECT_EQ(printers.handleControlLine("@front unplug"), "error front is not a USB printer");
    EXPECT_EQ(printers.handleControlLine("@front line"), "error front has no serial or parallel line");
    EXPECT_EQ(printers.handleControlLine("@back unplug"), "ok");
    EXPECT_FALSE(exists(scratch.file("usb/lp0")));
    EXPECT_EQ(printers.handleControlLine("@back plug"), "ok");
    EXPECT_TRUE(exists(scratch.file("usb/lp0")));
    EXPECT_EQ(printers.handleControlLine("@back png " + scratch.file("back.png")), "ok");
    EXPECT_TRUE(exists(scratch.file("back.png")));
    EXPECT_EQ(printers.handleControlLine("@back png " + scratch.file("no/such/dir.png")).rfind("error ", 0), 0u);
    EXPECT_EQ(printers.handleControlLine("cover opn").rfind("error unknown command", 0), 0u);
    EXPECT_EQ(printers.handleControlLine("@front state"), "ok cover open");
    EXPECT_EQ(printers.handleControlLine("@back state"), "ok ");
    EXPECT_EQ(printers.handleControlLine("quit"), "ok");
    EXPECT_EQ(quits, 1);
}

TEST(EmulatorPrinters, TranscriptComesBackOnOneLine) {
    ScratchDir scratch;
    EmulatorPrinters printers;
    std::string error;
    ASSERT_TRUE(printers.add({"only", "H81", 1, *parseTransportConfig("serial:" + scratch.file("COM1"), &error)}, &error))
        << error;
    EXPECT_FALSE(printers.add({"other", "nonsense-model", 1, *parseTransportConfig("serial:" + scratch.file("COM2"), &error)},
                              &error));
    Fd host = openLine(scratch.file("COM1"));
    ASSERT_TRUE(writeAll(host.get(), asBytes("Line one\nLine two\n")));
    ASSERT_TRUE(printers.find("only")->printer->waitForReceived(18, 3s));
    const std::string reply = printers.handleControlLine("transcript");
    EXPECT_EQ(reply, "ok " + escapeForLine(printers.find("only")->printer->transcript()));
    EXPECT_NE(reply.find("Line one\\nLine two"), std::string::npos) << reply;
}

// What a test in another process reads instead of the printer's members.
TEST(EmulatorPrinters, AnswersTheQueriesOfARemoteTest) {
    ScratchDir scratch;
    EmulatorPrinters printers;
    std::string error;
    ASSERT_TRUE(printers.add({"only", "H81", 1, *parseTransportConfig("serial:" + scratch.file("COM1"), &error)}, &error))
        << error;
    VirtualPrinter& printer = *printers.find("only")->printer;
    EXPECT_EQ(printers.handleControlLine("received"), "ok 0");
    EXPECT_EQ(printers.handleControlLine("autostatus"), "ok off");
    const Bytes sent = {0x1D, 0x61, 0xFF, 'A', 0x1B, 0x5E, '\n'};
    EXPECT_EQ(printers.handleControlLine("inject " + formatHex(sent)), "ok");
    EXPECT_EQ(printers.handleControlLine("received"), "ok 7");
    EXPECT_EQ(printers.handleControlLine("received 0"), "ok " + formatHex(sent));
    EXPECT_EQ(printers.handleControlLine("received 3"), "ok 411B5E0A");
    EXPECT_EQ(printers.handleControlLine("received 99"), "ok ");
    EXPECT_EQ(printers.handleControlLine("autostatus"), "ok on");
    const std::string unknown = printers.handleControlLine("unknown");
    ASSERT_FALSE(printer.unknownCommands().empty());
    EXPECT_EQ(unknown, "ok " + escapeForLine(printer.unknownCommands().front() + "\n"));
    EXPECT_EQ(printers.handleControlLine("clear"), "ok");
    EXPECT_EQ(printers.handleControlLine("received"), "ok 0");
    EXPECT_TRUE(printer.unknownCommands().empty());
    // The line follows the power on the port's own thread.
    EXPECT_EQ(printers.handleControlLine("line"), "ok up");
    EXPECT_EQ(printers.handleControlLine("power off"), "ok");
    EXPECT_TRUE(eventually([&] { return printers.handleControlLine("line") == "ok down"; }));
    EXPECT_EQ(printers.handleControlLine("power on"), "ok");
    EXPECT_TRUE(eventually([&] { return printers.handleControlLine("line") == "ok up"; }));
}

}  // namespace
