#include "support/RemotePrinter.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <random>
#include <thread>

#include "emulator/ControlProtocol.h"
#include "support/Host.h"
#include "support/TempFolder.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Beside the printer's own ports 9100 and 4000 on its address.
constexpr std::uint16_t kControlPort = 4100;
// How long the emulator may take to start serving, and to stop.
constexpr auto kStartLimit = 10s;
constexpr auto kStopLimit = 5s;
// A reply bigger than this is a runaway, not an answer.
constexpr std::size_t kMaxReplyBytes = std::size_t{64} << 20;
// Between two looks at a condition only the emulator can report.
constexpr auto kPollInterval = 5ms;
// Bytes per inject line, well inside the control connection's line limit.
constexpr std::size_t kInjectChunk = 1024;

bool fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return false;
}

bool startWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

std::string randomLoopbackAddress() {
    static std::mutex mutex;
    static std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> part(1, 254);
    std::lock_guard lock(mutex);
    return "127." + std::to_string(part(random)) + "." + std::to_string(part(random)) + ".1";
}

std::string environmentValue(const char* name) {
    const DWORD length = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (length == 0) {
        return {};
    }
    std::string value(length, '\0');
    value.resize(::GetEnvironmentVariableA(name, value.data(), length));
    return value;
}

// Wine runs a Linux program named by its path on drive Z:.
std::wstring quotedWindowsPath(const std::string& unixPath) {
    std::wstring path = L"\"Z:";
    for (const char c : unixPath) {
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return path + L"\"";
}

std::wstring widened(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

SOCKET connectTo(const std::string& address, std::uint16_t port) {
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        return socket;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = ::htons(port);
    ::inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        ::closesocket(socket);
        return INVALID_SOCKET;
    }
    const DWORD timeoutMs = 10000;
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    return socket;
}

}  // namespace

struct RemotePrinter::Process {
    SOCKET control = INVALID_SOCKET;
    std::string controlAddress;
    // The emulator's working folder, where it leaves its paper on quit.
    std::string folder;
    std::string pending;

    ~Process() {
        if (control != INVALID_SOCKET) {
            ::closesocket(control);
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    bool send(const std::string& line) {
        const std::string text = line + "\n";
        std::size_t sent = 0;
        while (sent < text.size()) {
            const int n = ::send(control, text.data() + sent, static_cast<int>(text.size() - sent), 0);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // The next line; false at the end of the stream or on a time-out.
    bool receiveLine(std::string* line) {
        for (;;) {
            const std::size_t end = pending.find('\n');
            if (end != std::string::npos) {
                *line = pending.substr(0, end);
                pending.erase(0, end + 1);
                return true;
            }
            if (pending.size() > kMaxReplyBytes) {
                return false;
            }
            char buffer[65536];
            const int n = ::recv(control, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return false;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
        }
    }
};

RemotePrinter::RemotePrinter(const std::string& modelCode, std::uint32_t internalId)
    : m_model(modelCode), m_internalId(internalId) {}

RemotePrinter::~RemotePrinter() { stop(); }

bool RemotePrinter::startNetwork(std::string* error) {
    m_portName.clear();
    return start("net", "", error);
}

bool RemotePrinter::startSerial(const std::string& portName, std::string* error) {
    const std::string prefix = environmentValue("WINEPREFIX");
    if (prefix.empty()) {
        return fail(error, "WINEPREFIX is not set: a COM port reaches the emulator through the prefix's device links");
    }
    std::string device = portName;
    std::transform(device.begin(), device.end(), device.begin(), [](unsigned char c) { return std::tolower(c); });
    m_portName = portName;
    m_linkPath = prefix + "/dosdevices/" + device;
    // The emulator's line is its controlling terminal: otherwise Wine's
    // server, opening it first, would adopt it and be hung up with it.
    return start("serial:" + m_linkPath, " --controlling-terminal", error);
}

std::string RemotePrinter::portSetting() const { return m_portName.empty() ? "NET" + m_address : m_portName; }

// Asked of the emulator, which sees the link as Linux does: through drive
// Z:, Wine went on showing the link after the line had gone.
bool RemotePrinter::lineUp() const {
    std::string reply;
    return !m_portName.empty() && ask("line", &reply) && reply == "up";
}

std::string RemotePrinter::portDevice() const { return m_portName.empty() ? std::string() : "\\\\.\\" + m_portName; }

bool RemotePrinter::start(const std::string& transport, const std::string& extraArguments, std::string* error) {
    const emulator::PrinterState carried = m_process ? state() : emulator::PrinterState{};
    stop();
    const std::string program = environmentValue(kProgramVariable);
    if (program.empty()) {
        return fail(error, std::string(kProgramVariable) + " does not name the Linux printer-emulator program");
    }
    if (!startWinsock()) {
        return fail(error, "Winsock did not start");
    }
    auto process = std::make_unique<Process>();
    process->folder = makeTempFolder("cvopos-printer-");
    // Another emulator may hold the address drawn (tests running side by
    // side): an emulator that cannot listen ends, and another address is
    // drawn.
    for (int attempt = 0; attempt < 5 && process->control == INVALID_SOCKET; ++attempt) {
        const std::string address = randomLoopbackAddress();
        const std::string printerTransport = transport == "net" ? "net:" + address : transport;
        std::wstring commandLine = quotedWindowsPath(program) + L" --quiet --detach --quit-with-control --control tcp:" +
                                   widened(address) + L":" + std::to_wstring(kControlPort) + L" --printer " +
                                   widened(m_model) + L" \"" + widened(printerTransport) + L"\" --id " +
                                   std::to_wstring(m_internalId) + widened(extraArguments);
        // NUL on the standard streams, so that nothing of the test's own
        // (ctest's pipes) is handed on; the emulator lets go of whatever
        // Wine gives it anyway once it runs.
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
        PROCESS_INFORMATION started{};
        const BOOL ok = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                         widened(process->folder).c_str(), &startup, &started);
        const DWORD why = ::GetLastError();
        ::CloseHandle(nul);
        // Wine starts a Linux program without a process handle to wait on;
        // the control connection is what tells it is there and when it has
        // gone, and the emulator goes when this connection does (a test
        // that crashed leaves none behind).
        if (started.hProcess != nullptr) {
            ::CloseHandle(started.hProcess);
            ::CloseHandle(started.hThread);
        }
        if (!ok) {
            return fail(error, "cannot start " + program + " (error " + std::to_string(why) + ")");
        }
        const auto deadline = Clock::now() + kStartLimit;
        while (Clock::now() < deadline) {
            process->control = connectTo(address, kControlPort);
            if (process->control != INVALID_SOCKET) {
                process->controlAddress = address;
                if (transport == "net") {
                    m_address = address;
                }
                break;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    if (process->control == INVALID_SOCKET) {
        return fail(error, program + " did not answer on its control connection");
    }
    if (transport != "net") {
        m_address.clear();
    }
    {
        std::lock_guard lock(m_mutex);
        m_process = std::move(process);
    }
    for (const auto& line : emulator::describeStateChanges(emulator::PrinterState{}, carried)) {
        std::string ignored;
        ask(line, &ignored);
    }
    return true;
}

void RemotePrinter::stop() {
    std::unique_ptr<Process> process;
    {
        std::lock_guard lock(m_mutex);
        process = std::move(m_process);
    }
    if (!process) {
        return;
    }
    // The emulator closes its control connections as it ends; the folder
    // goes after that.
    process->send("quit");
    const DWORD limitMs = static_cast<DWORD>(std::chrono::milliseconds(kStopLimit).count());
    ::setsockopt(process->control, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limitMs), sizeof limitMs);
    char buffer[4096];
    int n = 0;
    while ((n = ::recv(process->control, buffer, sizeof buffer, 0)) > 0) {
    }
    if (n < 0) {
        ADD_FAILURE() << "the printer emulator at " << process->controlAddress << " did not quit";
    }
}

bool RemotePrinter::ask(const std::string& line, std::string* reply) const {
    std::lock_guard lock(m_mutex);
    if (!m_process) {
        ADD_FAILURE() << "\"" << line << "\" for a printer that does not run";
        return false;
    }
    std::string answer;
    if (!m_process->send(line) || !m_process->receiveLine(&answer)) {
        ADD_FAILURE() << "no answer to \"" << line << "\" from the printer emulator";
        return false;
    }
    if (answer == "ok" || answer.starts_with("ok ")) {
        *reply = answer.size() > 3 ? answer.substr(3) : std::string();
        return true;
    }
    ADD_FAILURE() << "\"" << line << "\": " << answer;
    return false;
}

emulator::Bytes RemotePrinter::receivedBytes() const {
    std::string reply;
    if (!ask("received 0", &reply)) {
        return {};
    }
    auto bytes = emulator::parseHex(reply);
    if (!bytes) {
        ADD_FAILURE() << "received bytes not in hex: " << reply.substr(0, 80);
        return {};
    }
    return std::move(*bytes);
}

std::uint64_t RemotePrinter::receivedCount() const {
    std::string reply;
    std::uint64_t count = 0;
    if (ask("received", &reply)) {
        std::from_chars(reply.data(), reply.data() + reply.size(), count);
    }
    return count;
}

bool RemotePrinter::waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (receivedCount() < count) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

emulator::StatusBlock RemotePrinter::statusBlock() const {
    std::string reply;
    emulator::StatusBlock block{};
    if (ask("status", &reply)) {
        for (std::size_t i = 0; i < block.size() && i * 3 + 2 <= reply.size(); ++i) {
            const auto parsed = emulator::parseHex(std::string_view(reply).substr(i * 3, 2));
            block[i] = parsed ? parsed->front() : 0;
        }
    }
    return block;
}

bool RemotePrinter::automaticStatusEnabled() const {
    std::string reply;
    return ask("autostatus", &reply) && reply == "on";
}

emulator::PrinterState RemotePrinter::state() const {
    std::string reply;
    if (!ask("state", &reply)) {
        return {};
    }
    std::string error;
    const auto state = emulator::parseStateReply(reply, &error);
    if (!state) {
        ADD_FAILURE() << "unreadable state \"" << reply << "\": " << error;
        return {};
    }
    return *state;
}

void RemotePrinter::changeState(const std::function<void(emulator::PrinterState&)>& change) {
    const emulator::PrinterState before = state();
    emulator::PrinterState after = before;
    change(after);
    emulator::PrinterState made = before;
    for (const auto& line : emulator::describeStateChanges(before, after)) {
        std::string ignored;
        std::string error;
        if (ask(line, &ignored)) {
            emulator::parseControlLine(line, &error)->change(made);
        }
    }
    if (!(made == after)) {
        ADD_FAILURE() << "a state change the control language cannot make";
    }
}

std::string RemotePrinter::transcript() const {
    std::string reply;
    return ask("transcript", &reply) ? emulator::unescapeLine(reply) : std::string();
}

std::vector<std::string> RemotePrinter::unknownCommands() const {
    std::string reply;
    std::vector<std::string> lines;
    if (!ask("unknown", &reply)) {
        return lines;
    }
    const std::string text = emulator::unescapeLine(reply);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

void RemotePrinter::clearOutput() {
    std::string ignored;
    ask("clear", &ignored);
}

void RemotePrinter::receive(std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kInjectChunk) {
        std::string ignored;
        ask("inject " + emulator::formatHex(bytes.subspan(at, std::min(kInjectChunk, bytes.size() - at))), &ignored);
    }
}

bool RemotePrinter::writePng(const std::string& path, std::string* error) const {
    const std::string linuxPath = linuxPathOf(path);
    if (linuxPath.empty()) {
        return fail(error, "no Linux name for " + path);
    }
    std::string ignored;
    return ask("png " + linuxPath, &ignored) || fail(error, "the emulator could not write " + linuxPath);
}

}  // namespace testsupport
