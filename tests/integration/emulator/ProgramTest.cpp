#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

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
             {"--printer", "H81", "net:127.0.0.1", "--id", "-4"}}) {
        EmulatorProcess refused(bad, scratch.file("refused"));
        EXPECT_EQ(refused.exitCode(), 2) << readFile(scratch.file("refused"));
    }
    EmulatorProcess help({"--help"}, scratch.file("help"));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_NE(readFile(scratch.file("help")).find("drawer auto-close MS"), std::string::npos);
}

}  // namespace
