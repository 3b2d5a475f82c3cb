#include "Program.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <utility>

#include "emulator/ControlProtocol.h"
#include "emulator/ControlServer.h"
#include "emulator/EmulatorLoop.h"

namespace emulator {

namespace {

// What the terminal has been shown of one printer so far.
struct PrinterView {
    EmulatorPrinters::Printer* entry = nullptr;
    PrinterState shownState;
    // How much of the transcript was shown, and its last characters: the
    // printer drops its oldest paper when it holds too much, and the tail
    // finds the place again in the shortened text.
    std::size_t shownLength = 0;
    std::string shownTail;
};

// State changes arrive on whichever thread made them; the main thread
// shows them in order.
class StateFeed {
public:
    void push(std::size_t printer, const PrinterState& state) {
        std::lock_guard lock(m_mutex);
        m_changes.emplace_back(printer, state);
    }
    std::vector<std::pair<std::size_t, PrinterState>> take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_changes, {});
    }

private:
    std::mutex m_mutex;
    std::vector<std::pair<std::size_t, PrinterState>> m_changes;
};

// Where the text not yet shown begins.
std::size_t resumePoint(const std::string& transcript, const PrinterView& view) {
    const std::string& tail = view.shownTail;
    if (tail.empty()) {
        return 0;
    }
    if (transcript.size() >= view.shownLength &&
        transcript.compare(view.shownLength - tail.size(), tail.size(), tail) == 0) {
        return view.shownLength;
    }
    const std::size_t at = transcript.find(tail);
    return at == std::string::npos ? 0 : at + tail.size();
}

void writeOutputs(const EmulatorPrinters::Printer& entry, const std::string& directory, bool quiet) {
    const std::string base = (std::filesystem::path(directory) / entry.name).string();
    std::string error;
    if (!entry.printer->writePng(base + ".png", &error)) {
        std::cerr << entry.name << ": cannot write " << base << ".png: " << error << '\n';
    }
    std::ofstream transcript(base + ".txt", std::ios::binary | std::ios::trunc);
    transcript << entry.printer->transcript();
    if (!transcript) {
        std::cerr << entry.name << ": cannot write " << base << ".txt\n";
    } else if (!quiet) {
        std::cout << entry.name << ": wrote " << base << ".png and .txt\n";
    }
}

// Shows the lines completed since the last look, and writes the files when
// the paper was cut meanwhile.
void showPrinted(PrinterView& view, const ProgramOptions& options) {
    constexpr std::size_t kTailLength = 256;
    const std::string transcript = view.entry->printer->transcript();
    const std::size_t from = resumePoint(transcript, view);
    const std::size_t end = transcript.rfind('\n');
    if (end == std::string::npos || end < from) {
        return;
    }
    const std::string_view fresh(transcript.data() + from, end + 1 - from);
    bool cut = false;
    for (std::size_t start = 0; start < fresh.size();) {
        const std::size_t lineEnd = fresh.find('\n', start);
        const std::string_view line = fresh.substr(start, lineEnd - start);
        cut = cut || line.starts_with("[cut]") || line.starts_with("[cut ");
        if (!options.quiet) {
            std::cout << view.entry->name << " | " << line << '\n';
        }
        start = lineEnd + 1;
    }
    view.shownLength = end + 1;
    const std::size_t tailStart = view.shownLength - std::min(kTailLength, view.shownLength);
    view.shownTail = transcript.substr(tailStart, view.shownLength - tailStart);
    if (cut) {
        writeOutputs(*view.entry, options.outputDirectory, options.quiet);
    }
}

void showNews(StateFeed& feed, std::vector<PrinterView>& views, const ProgramOptions& options) {
    for (const auto& [index, state] : feed.take()) {
        PrinterView& view = views[index];
        if (!options.quiet) {
            for (const auto& change : describeStateChanges(view.shownState, state)) {
                std::cout << view.entry->name << ": " << change << '\n';
            }
        }
        view.shownState = state;
    }
    for (auto& view : views) {
        showPrinted(view, options);
    }
    std::cout << std::flush;
}

bool startSession(std::string* error) {
    if (::setsid() < 0) {
        *error = std::string("cannot start a session of its own: ") + std::strerror(errno);
        return false;
    }
    // A controlling terminal that goes away sends SIGHUP; the printer that
    // took the line away is still running.
    ::signal(SIGHUP, SIG_IGN);
    // Whatever else the starter handed on (Wine passes some of its own
    // pipes) would be held open for as long as the printers run.
    ::close_range(3, ~0U, 0);
    return true;
}

void releaseStandardStreams() {
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) {
        return;
    }
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        ::dup2(null, stream);
    }
    ::close(null);
}

}  // namespace

int runProgram(const ProgramOptions& options) {
    std::string error;
    if (options.detach && !startSession(&error)) {
        std::cerr << "printer-emulator: " << error << '\n';
        return 1;
    }
    // Before any thread starts, so that every thread inherits the blocked
    // signals and only this loop receives them.
    auto loop = EmulatorLoop::create(&error);
    if (!loop) {
        std::cerr << "printer-emulator: " << error << '\n';
        return 1;
    }
    std::error_code ignored;
    std::filesystem::create_directories(options.outputDirectory, ignored);

    StateFeed feed;
    EmulatorPrinters printers({[&loop] { loop->notify(); }, [&loop] { loop->requestQuit(); }});
    std::vector<PrinterView> views;
    for (const auto& printer : options.printers) {
        if (!printers.add(printer.config, &error)) {
            std::cerr << "printer-emulator: " << error << '\n';
            return 1;
        }
        auto& entry = *printers.printers().back();
        views.push_back({&entry, entry.printer->state(), 0, {}});
        const std::size_t index = views.size() - 1;
        entry.printer->addStateListener([&feed, &loop, index](const PrinterState& state) {
            feed.push(index, state);
            loop->notify();
        });
        std::cout << entry.name << ": RX-" << entry.printer->modelCode() << " on " << entry.endpoint() << '\n';
        for (const auto& line : printer.initialState) {
            entry.printer->changeState(parseControlLine(line, &error)->change);
        }
    }

    std::unique_ptr<ControlServer> control;
    if (!options.controlPath.empty()) {
        ControlServer::OwnerGone ownerGone;
        if (options.quitWithControl) {
            ownerGone = [&loop] { loop->requestQuit(); };
        }
        control = ControlServer::open(
            options.controlPath, [&printers](std::string_view line) { return printers.handleControlLine(line); },
            &error, std::move(ownerGone));
        if (!control) {
            std::cerr << "printer-emulator: " << error << '\n';
            return 1;
        }
        std::cout << "control socket " << control->path() << '\n';
    }
    std::cout << std::flush;
    if (options.detach) {
        releaseStandardStreams();
    }

    for (;;) {
        const EmulatorLoop::Wake wake = loop->wait();
        if (wake != EmulatorLoop::Wake::Activity) {
            break;
        }
        showNews(feed, views, options);
    }

    // What happened just before the end is still shown.
    control.reset();
    showNews(feed, views, options);
    for (auto& view : views) {
        writeOutputs(*view.entry, options.outputDirectory, options.quiet);
    }
    std::cout << std::flush;
    return 0;
}

}  // namespace emulator
