#pragma once
// A child program for tests that run real programs: started with its output captured
// and its standard input held as a start gate, optionally as another user,
// and waited for with a deadline.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
public:
    // Exit status of a child that could not take on the requested user.
    static constexpr int kCannotSwitchUser = 125;

    ChildProcess();
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `args`. With `runAsUid`/`runAsGid` >= 0 the child
    // switches to that user before it runs the program (POSIX only: on
    // Windows such a start fails).
    bool start(const std::string& program, const std::vector<std::string>& args, int runAsUid = -1,
               int runAsGid = -1);
    // Closes the child's standard input, which a gated helper waits for.
    void openGate();
    // Collects the output (stdout and stderr) until the child exits. False
    // when the deadline passes first; the child is killed then.
    bool finish(std::chrono::milliseconds deadline);

    int exitCode() const { return m_exitCode; }
    const std::string& output() const { return m_output; }

private:
    // The process, the gate and the output pipe, as the system knows them.
    struct Native;
    std::unique_ptr<Native> m_native;
    int m_exitCode = -1;
    std::string m_output;
};

}  // namespace testsupport
