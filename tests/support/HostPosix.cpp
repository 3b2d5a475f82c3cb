#include "support/Host.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/ChildProcess.h"

namespace testsupport {

bool runsOnLinux() { return true; }

std::size_t threadCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

std::size_t establishedConnections(const std::string& address, std::uint16_t port) {
    // /proc/net/tcp lists addresses as little-endian hex words.
    unsigned parts[4] = {};
    std::sscanf(address.c_str(), "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
    char remote[32];
    std::snprintf(remote, sizeof remote, "%02X%02X%02X%02X:%04X", parts[3], parts[2], parts[1], parts[0],
                  static_cast<unsigned>(port));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::size_t count = 0;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, peer, state;
        fields >> slot >> local >> peer >> state;
        if (peer == remote && state == "01") {
            ++count;
        }
    }
    return count;
}

std::string linuxPathOf(const std::string& path) { return path; }

LinuxProgramRun runLinuxProgram(const std::string& program, const std::vector<std::string>& arguments,
                                std::chrono::milliseconds deadline) {
    LinuxProgramRun run;
    ChildProcess child;
    if (!child.start(program, arguments)) {
        run.output = "cannot start " + program;
        return run;
    }
    run.finished = child.finish(deadline);
    run.exitCode = child.exitCode();
    run.output = child.output();
    return run;
}

}  // namespace testsupport
