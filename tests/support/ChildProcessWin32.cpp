#include "support/ChildProcess.h"

#include <windows.h>

#include <thread>

namespace testsupport {

namespace {

// One argument quoted so that the C runtime's parser hands it back as given:
// backslashes double only where a quote follows them.
void appendQuoted(std::string* line, const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        *line += arg;
        return;
    }
    *line += '"';
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line->append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        *line += c;
    }
    line->append(backslashes * 2, '\\');
    *line += '"';
}

void closeHandle(HANDLE* handle) {
    if (*handle != nullptr) {
        ::CloseHandle(*handle);
        *handle = nullptr;
    }
}

}  // namespace

struct ChildProcess::Native {
    HANDLE process = nullptr;
    HANDLE input = nullptr;
    // Drains the output pipe until every writer has closed it, so that a
    // child writing more than the pipe holds never stalls.
    std::thread reader;
};

ChildProcess::ChildProcess() : m_native(std::make_unique<Native>()) {}

ChildProcess::~ChildProcess() {
    openGate();
    if (m_native->process != nullptr) {
        ::TerminateProcess(m_native->process, 1);
        ::WaitForSingleObject(m_native->process, INFINITE);
        closeHandle(&m_native->process);
    }
    if (m_native->reader.joinable()) {
        m_native->reader.join();
    }
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& args, int runAsUid,
                         int runAsGid) {
    if (runAsUid >= 0 || runAsGid >= 0 || m_native->process != nullptr) {
        return false;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inputRead = nullptr;
    HANDLE inputWrite = nullptr;
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    if (!::CreatePipe(&inputRead, &inputWrite, &inheritable, 0)) {
        return false;
    }
    if (!::CreatePipe(&outputRead, &outputWrite, &inheritable, 0)) {
        closeHandle(&inputRead);
        closeHandle(&inputWrite);
        return false;
    }
    // Only the child's ends are inherited. A child started by another
    // thread at this moment would inherit them too and hold the output open;
    // the suites start their children from one thread.
    ::SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);

    std::string commandLine;
    appendQuoted(&commandLine, program);
    for (const std::string& arg : args) {
        commandLine += ' ';
        appendQuoted(&commandLine, arg);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputRead;
    startup.hStdOutput = outputWrite;
    startup.hStdError = outputWrite;
    PROCESS_INFORMATION started{};
    const BOOL created = ::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                          CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
    closeHandle(&inputRead);
    closeHandle(&outputWrite);
    if (!created) {
        closeHandle(&inputWrite);
        closeHandle(&outputRead);
        return false;
    }
    ::CloseHandle(started.hThread);
    m_native->process = started.hProcess;
    m_native->input = inputWrite;
    m_native->reader = std::thread([this, outputRead] {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(outputRead, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            m_output.append(buffer, got);
        }
        ::CloseHandle(outputRead);
    });
    return true;
}

void ChildProcess::openGate() {
    closeHandle(&m_native->input);
}

bool ChildProcess::finish(std::chrono::milliseconds deadline) {
    if (m_native->process == nullptr) {
        return false;
    }
    const DWORD waited = ::WaitForSingleObject(m_native->process, static_cast<DWORD>(deadline.count()));
    if (waited != WAIT_OBJECT_0) {
        ::TerminateProcess(m_native->process, 1);
        ::WaitForSingleObject(m_native->process, INFINITE);
    }
    DWORD code = 0;
    const bool exited = waited == WAIT_OBJECT_0 && ::GetExitCodeProcess(m_native->process, &code);
    closeHandle(&m_native->process);
    // The output pipe closes once the child and whatever inherited it exit.
    m_native->reader.join();
    if (!exited) {
        return false;
    }
    m_exitCode = static_cast<int>(code);
    return true;
}

}  // namespace testsupport
