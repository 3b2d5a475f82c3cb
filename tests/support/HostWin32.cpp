#include "support/Host.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/TempFolder.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A Linux shell run by Wine: it runs the program with its output in files,
// and publishes the exit status last, by a rename, since Wine gives no
// process handle for a Linux program to wait on.
constexpr const wchar_t* kShell = L"Z:\\bin\\sh";
constexpr const char* kScript =
    "\"$0\" \"$@\" >\"$CVOPOS_RUN/output\" 2>&1; echo $? >\"$CVOPOS_RUN/status.part\"; "
    "mv \"$CVOPOS_RUN/status.part\" \"$CVOPOS_RUN/status\"";

// One argument as the Windows command-line rules hand it back: Wine builds
// a Linux program's arguments by them.
void appendQuoted(std::wstring* line, const std::string& arg) {
    *line += L" \"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line->append(c == '"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        *line += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    line->append(backslashes * 2, L'\\');
    *line += L'"';
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

bool runsOnLinux() { return false; }

std::size_t threadCount() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    const DWORD self = ::GetCurrentProcessId();
    std::size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == self ? 1 : 0;
    }
    ::CloseHandle(snapshot);
    return count;
}

std::size_t establishedConnections(const std::string& address, std::uint16_t port) {
    in_addr wanted{};
    if (::inet_pton(AF_INET, address.c_str(), &wanted) != 1) {
        return 0;
    }
    std::vector<char> buffer(sizeof(MIB_TCPTABLE));
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG size = static_cast<ULONG>(buffer.size());
        const DWORD result = ::GetTcpTable(reinterpret_cast<MIB_TCPTABLE*>(buffer.data()), &size, FALSE);
        if (result == ERROR_INSUFFICIENT_BUFFER) {
            buffer.resize(size);
            continue;
        }
        if (result != NO_ERROR) {
            return 0;
        }
        const auto* table = reinterpret_cast<const MIB_TCPTABLE*>(buffer.data());
        std::size_t count = 0;
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCPROW& row = table->table[i];
            count += row.dwState == MIB_TCP_STATE_ESTAB && row.dwRemoteAddr == wanted.s_addr &&
                     ::ntohs(static_cast<u_short>(row.dwRemotePort)) == port;
        }
        return count;
    }
    return 0;
}

// Wine's own export names a Windows path's Linux file.
std::string linuxPathOf(const std::string& path) {
    using Convert = char* (*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) {
        return {};
    }
    char* name = convert(std::filesystem::path(path).wstring().c_str());
    if (name == nullptr) {
        return {};
    }
    std::string linuxPath(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return linuxPath;
}

LinuxProgramRun runLinuxProgram(const std::string& program, const std::vector<std::string>& arguments,
                                std::chrono::milliseconds deadline) {
    LinuxProgramRun run;
    const std::filesystem::path folder = makeTempFolder("cvopos-run-");
    const std::string linuxFolder = linuxPathOf(folder.string());
    std::wstring commandLine = std::wstring(L"\"") + kShell + L"\" -c";
    appendQuoted(&commandLine, "CVOPOS_RUN='" + linuxFolder + "'; " + kScript);
    appendQuoted(&commandLine, program);
    for (const auto& argument : arguments) {
        appendQuoted(&commandLine, argument);
    }
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION started{};
    const BOOL ok =
        ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started);
    const DWORD why = ::GetLastError();
    ::CloseHandle(nul);
    if (started.hProcess != nullptr) {
        ::CloseHandle(started.hProcess);
        ::CloseHandle(started.hThread);
    }
    const std::filesystem::path status = folder / "status";
    const auto until = Clock::now() + deadline;
    std::error_code error;
    while (ok && linuxFolder.size() > 0 && !std::filesystem::exists(status, error) && Clock::now() < until) {
        std::this_thread::sleep_for(5ms);
    }
    run.finished = std::filesystem::exists(status, error);
    if (run.finished) {
        run.exitCode = std::stoi("0" + fileText(status));
        run.output = fileText(folder / "output");
    } else if (!ok) {
        run.output = "cannot start " + program + " (error " + std::to_string(why) + ")";
    }
    std::filesystem::remove_all(folder, error);
    return run;
}

}  // namespace testsupport
