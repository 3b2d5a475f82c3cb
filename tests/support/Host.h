#pragma once
// What the machine a test program runs on offers it: on Linux the program
// runs there itself; a Windows build runs under Wine on Linux and reaches
// Linux programs and files through Wine's drive Z:.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Whether the test program is a Linux program: cases that need Linux's own
// devices or tools as a Linux program uses them skip elsewhere.
bool runsOnLinux();

// Threads of the test's own process.
std::size_t threadCount();

// Established TCP connections from anywhere on this machine to
// `address`:`port` (IPv4).
std::size_t establishedConnections(const std::string& address, std::uint16_t port);

// A file's name as a Linux program sees it.
std::string linuxPathOf(const std::string& path);

struct LinuxProgramRun {
    // False when the deadline passed first.
    bool finished = false;
    int exitCode = -1;
    // Standard output and standard error together.
    std::string output;
};

// Runs the Linux program `program` (its Linux path) and collects its output.
// Arguments naming files give their Linux names (linuxPathOf).
LinuxProgramRun runLinuxProgram(const std::string& program, const std::vector<std::string>& arguments,
                                std::chrono::milliseconds deadline);

}  // namespace testsupport
