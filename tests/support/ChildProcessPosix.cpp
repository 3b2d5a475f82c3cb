#include "support/ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace testsupport {

struct ChildProcess::Native {
    pid_t pid = -1;
    int input = -1;
    int output = -1;
};

ChildProcess::ChildProcess() : m_native(std::make_unique<Native>()) {}

ChildProcess::~ChildProcess() {
    openGate();
    if (m_native->pid > 0) {
        ::kill(m_native->pid, SIGKILL);
        ::waitpid(m_native->pid, nullptr, 0);
    }
    if (m_native->output >= 0) {
        ::close(m_native->output);
    }
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& args, int runAsUid,
                         int runAsGid) {
    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) != 0) {
        return false;
    }
    if (::pipe2(output, O_CLOEXEC) != 0) {
        ::close(input[0]);
        ::close(input[1]);
        return false;
    }
    // Built before fork: the child may only make async-signal-safe calls.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    m_native->pid = ::fork();
    if (m_native->pid == 0) {
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        if (runAsUid >= 0 && (::setgroups(0, nullptr) != 0 || ::setgid(static_cast<gid_t>(runAsGid)) != 0 ||
                              ::setuid(static_cast<uid_t>(runAsUid)) != 0)) {
            ::_exit(kCannotSwitchUser);
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    if (m_native->pid < 0) {
        ::close(input[1]);
        ::close(output[0]);
        return false;
    }
    m_native->input = input[1];
    m_native->output = output[0];
    return true;
}

void ChildProcess::openGate() {
    if (m_native->input >= 0) {
        ::close(m_native->input);
        m_native->input = -1;
    }
}

bool ChildProcess::finish(std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    char buffer[4096];
    while (m_native->output >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd ready{m_native->output, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        const ssize_t got = polled > 0 ? ::read(m_native->output, buffer, sizeof buffer) : 0;
        if (got > 0) {
            m_output.append(buffer, static_cast<std::size_t>(got));
        } else if (polled > 0 && !(got < 0 && errno == EINTR)) {
            ::close(m_native->output);
            m_native->output = -1;
        }
    }
    // The output closes when the child exits.
    int status = 0;
    if (::waitpid(m_native->pid, &status, 0) != m_native->pid) {
        return false;
    }
    m_native->pid = -1;
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

}  // namespace testsupport
