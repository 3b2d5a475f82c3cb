#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "TransportTestSupport.h"

extern char** environ;

using namespace transporttest;

namespace {

// The printer-emulator program run as a user runs it, its terminal output
// kept in a file.
class EmulatorProcess {
public:
    EmulatorProcess(const std::vector<std::string>& arguments, const std::string& logPath) {
        std::vector<std::string> all{CVOPOS_PRINTER_EMULATOR};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~EmulatorProcess() {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    void signal(int number) const { ::kill(m_pid, number); }
    // The exit code once the process ended within the time-out.
    std::optional<int> exitCode(std::chrono::milliseconds timeout = 5s) {
        eventually(
            [&] {
                int status = 0;
                if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                    m_status = status;
                }
                return m_status.has_value();
            },
            timeout);
        if (!m_status || !WIFEXITED(*m_status)) {
            return std::nullopt;
        }
        return WEXITSTATUS(*m_status);
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(PrinterEmulatorProgram, ServesTheControlSocketShowsWhatHappensAndWritesItsFilesOnQuit) {
    ScratchDir scratch;
    const std::string control = scratch.file("control.sock");
    const std::string link = scratch.file("COM1");
    EmulatorProcess emulator({"--control", control, "--output", scratch.file("out"), "--printer", "H81",
                              "serial:" + link, "--name", "front", "--state", "cover open"},
                             scratch.file("log"));
    ASSERT_TRUE(emulator.started());
    Fd client;
    ASSERT_TRUE(eventually([&] { return (client = connectUnix(control)).valid(); }, 10s)) << readFile(scratch.file("log"));

    EXPECT_EQ(ask(client.get(), "status").substr(0, 3), "ok ");
    Fd host = openLine(link);
    ASSERT_TRUE(host.valid());
    ASSERT_TRUE(writeAll(host.get(), asBytes("Hello emulator\n")));
    EXPECT_TRUE(eventually([&] { return ask(client.get(), "transcript").find("Hello emulator") != std::string::npos; }));
    EXPECT_FALSE(exists(scratch.file("out/front.png"))) << "nothing written before the first cut";
    // A full cut writes the picture and the transcript at once.
    ASSERT_TRUE(writeAll(host.get(), {0x1D, 0x56, 0x00}));
    EXPECT_TRUE(eventually([&] {
        return readFile(scratch.file("out/front.txt")).find("Hello emulator") != std::string::npos;
    }));
    EXPECT_TRUE(exists(scratch.file("out/front.png")));
    EXPECT_EQ(ask(client.get(), "@front cover close"), "ok");
    EXPECT_EQ(ask(client.get(), "cover ajar").substr(0, 6), "error ");
    EXPECT_EQ(ask(client.get(), "quit"), "ok");

    EXPECT_EQ(emulator.exitCode(), 0);
    EXPECT_TRUE(exists(scratch.file("out/front.png")));
    EXPECT_NE(readFile(scratch.file("out/front.txt")).find("Hello emulator"), std::string::npos);
    EXPECT_FALSE(exists(control)) << "the socket goes with the program";
    EXPECT_FALSE(exists(link)) << "and so does the line";
    const std::string log = readFile(scratch.file("log"));
    EXPECT_NE(log.find("front: cover open"), std::string::npos) << log;
    EXPECT_NE(log.find("front: cover close"), std::string::npos) << log;
    EXPECT_NE(log.find("front | Hello emulator"), std::string::npos) << log;
}

// The field after the command name's closing parenthesis: state, ppid,
// pgrp, session, tty_nr.
int controllingTerminalOf(pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string state;
    long parent = 0, group = 0, session = 0;
    int terminal = 0;
    fields >> state >> parent >> group >> session >> terminal;
    return terminal;
}

// As a Windows test under Wine starts it: detached, controlled over TCP,
// its serial line its own controlling terminal, so that no one else adopts
// the line, and switching the printer off and on leaves it running; it ends
// with its owner's control connection (a test that died), not with another's.
TEST(PrinterEmulatorProgram, DetachedItKeepsItsLineAsControllingTerminalThroughAPowerCycle) {
    ScratchDir scratch;
    const std::string link = scratch.file("com3");
    // Inherited as Wine hands its own pipes on: held, it would keep a
    // reader (ctest) waiting for as long as the emulator runs.
    int inherited[2] = {-1, -1};
    ASSERT_EQ(::pipe(inherited), 0);
    Fd reader(inherited[0]);
    std::string control;
    std::optional<EmulatorProcess> emulator;
    Fd client;
    for (std::uint16_t port = 41200; port < 41210 && !client.valid(); ++port) {
        control = "tcp:127.0.0.1:" + std::to_string(port);
        emulator.emplace(std::vector<std::string>{"--detach", "--control", control, "--output", scratch.path(),
                                                  "--printer", "H81", "serial:" + link, "--controlling-terminal",
                                                  "--quit-with-control"},
                         scratch.file("log"));
        ASSERT_TRUE(emulator->started());
        eventually([&] { return (client = connectTcp("127.0.0.1", port)).valid() || emulator->exitCode(0ms); }, 10s);
    }
    ::close(inherited[1]);
    ASSERT_TRUE(client.valid()) << readFile(scratch.file("log"));
    EXPECT_TRUE(hangsUp(reader.get())) << "the emulator let go of what it inherited";
    const pid_t pid = emulator->pid();
    EXPECT_EQ(::getsid(pid), pid) << "a session of its own";
    EXPECT_TRUE(eventually([&] {
        return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/2") == "/dev/null";
    }));
    for (const std::string power : {"power off", "power on"}) {
        EXPECT_EQ(ask(client.get(), power), "ok");
    }
    EXPECT_TRUE(eventually([&] { return exists(link); }));
    const auto line = std::filesystem::canonical(link);
    struct stat device {};
    ASSERT_EQ(::stat(line.c_str(), &device), 0);
    EXPECT_EQ(controllingTerminalOf(pid), static_cast<int>(device.st_rdev)) << "the new line, after the old one went";
    {
        Fd other = connectTcp("127.0.0.1", static_cast<std::uint16_t>(std::stoi(control.substr(control.rfind(':') + 1))));
        ASSERT_TRUE(other.valid());
        EXPECT_EQ(ask(other.get(), "power on"), "ok");
    }
    EXPECT_EQ(ask(client.get(), "power on"), "ok") << "another's connection closed, and the emulator ran on";
    client = Fd();
    EXPECT_EQ(emulator->exitCode(), 0) << "the owner's connection closed";
    EXPECT_TRUE(exists(scratch.file("printer1.png")));
}

TEST(PrinterEmulatorProgram, EndsCleanlyOnSigtermAndRefusesBadCommandLines) {
    ScratchDir scratch;
    const std::string usb = scratch.file("usb");
    EmulatorProcess emulator({"--output", scratch.path(), "--printer", "K92", "usb:" + usb, "--id", "90"},
                             scratch.file("log"));
    ASSERT_TRUE(emulator.started());
    ASSERT_TRUE(eventually([&] { return exists(usb + "/lp0.ieee1284_id") && exists(usb + "/lp0"); }, 10s));
    emulator.signal(SIGTERM);
    EXPECT_EQ(emulator.exitCode(), 0);
    EXPECT_TRUE(exists(scratch.file("printer1.png")));
    EXPECT_FALSE(exists(usb + "/lp0"));

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {},
             {"--printer", "H81"},
             {"--name", "x", "--printer", "H81", "net:127.0.0.1"},
             {"--printer", "H81", "telnet:x"},
             {"--printer", "H81", "net:127.0.0.1", "--state", "cover ajar"},
             {"--printer", "H81", "net:127.0.0.1", "--id", "-4"},
             {"--detach", "--printer", "H81", "net:127.0.0.1", "--controlling-terminal"},
             {"--printer", "H81", "serial:/tmp/x", "--controlling-terminal"},
             {"--quit-with-control", "--printer", "H81", "net:127.0.0.1"},
             {"--detach", "--printer", "H81", "serial:/tmp/x", "--controlling-terminal", "--printer", "H81",
              "serial:/tmp/y", "--controlling-terminal"}}) {
        EmulatorProcess refused(bad, scratch.file("refused"));
        EXPECT_EQ(refused.exitCode(), 2) << readFile(scratch.file("refused"));
    }
    EmulatorProcess help({"--help"}, scratch.file("help"));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_NE(readFile(scratch.file("help")).find("drawer auto-close MS"), std::string::npos);
}

}  // namespace
