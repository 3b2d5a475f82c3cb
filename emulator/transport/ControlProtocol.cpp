#include "emulator/ControlProtocol.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>

namespace emulator {

namespace {

using std::chrono::milliseconds;

constexpr long long kMaxMilliseconds = 60 * 60 * 1000;

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

std::optional<milliseconds> parseMilliseconds(std::string_view text) {
    long long value = 0;
    const auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result != std::errc() || end != text.data() + text.size() || value < 0 || value > kMaxMilliseconds) {
        return std::nullopt;
    }
    return milliseconds(value);
}

// Parses `word` as one of two opposites: true for `yes`, false for `no`.
std::optional<bool> parseSwitch(std::string_view word, std::string_view yes, std::string_view no) {
    if (word == yes) {
        return true;
    }
    if (word == no) {
        return false;
    }
    return std::nullopt;
}

struct PaperFlags {
    bool PrinterState::*nearEnd;
    bool PrinterState::*end;
};

std::optional<PaperFlags> paperStation(std::string_view word) {
    if (word == "receipt") {
        return PaperFlags{&PrinterState::receiptNearEnd, &PrinterState::receiptEnd};
    }
    if (word == "journal") {
        return PaperFlags{&PrinterState::journalNearEnd, &PrinterState::journalEnd};
    }
    if (word == "slip") {
        return PaperFlags{&PrinterState::slipNearEnd, &PrinterState::slipEnd};
    }
    return std::nullopt;
}

std::function<void(PrinterState&)> setFlag(bool PrinterState::*flag, bool value) {
    return [flag, value](PrinterState& state) { state.*flag = value; };
}

// The state commands: the words after the selector, into a change.
std::optional<std::function<void(PrinterState&)>> parseChange(const std::vector<std::string_view>& w) {
    const std::string_view verb = w[0];
    if (w.size() == 2) {
        std::optional<bool> on;
        if (verb == "cover" && (on = parseSwitch(w[1], "open", "close"))) {
            return setFlag(&PrinterState::coverOpen, *on);
        }
        if (verb == "power" && (on = parseSwitch(w[1], "on", "off"))) {
            return setFlag(&PrinterState::powerOn, *on);
        }
        if (verb == "drawer" && (on = parseSwitch(w[1], "open", "close"))) {
            return setFlag(&PrinterState::drawerOpen, *on);
        }
        if (verb == "slip" && (on = parseSwitch(w[1], "insert", "remove"))) {
            return setFlag(&PrinterState::slipInserted, *on);
        }
        if (verb == "link" && (on = parseSwitch(w[1], "down", "up"))) {
            return setFlag(&PrinterState::networkLinkDown, *on);
        }
    }
    if (w.size() == 3) {
        std::optional<bool> on;
        if (verb == "error" && (on = parseSwitch(w[2], "on", "off"))) {
            if (w[1] == "cutter") {
                return setFlag(&PrinterState::cutterError, *on);
            }
            if (w[1] == "motor") {
                return setFlag(&PrinterState::motorError, *on);
            }
            if (w[1] == "resume") {
                return setFlag(&PrinterState::resumeError, *on);
            }
            if (w[1] == "autostatus") {
                return setFlag(&PrinterState::autoStatusResumeError, *on);
            }
        }
        if (verb == "status" && w[1] == "silent" && (on = parseSwitch(w[2], "on", "off"))) {
            return setFlag(&PrinterState::statusSilent, *on);
        }
        if (verb == "status" && w[1] == "delay") {
            if (const auto delay = parseMilliseconds(w[2])) {
                return [delay = *delay](PrinterState& state) { state.statusReplyDelay = delay; };
            }
        }
        if (verb == "drawer" && w[1] == "auto-close") {
            if (const auto after = parseMilliseconds(w[2])) {
                return [after = *after](PrinterState& state) { state.drawerClosesAfter = after; };
            }
        }
    }
    if (verb == "paper" && (w.size() == 2 || w.size() == 3)) {
        const auto station = paperStation(w.size() == 3 ? w[2] : "receipt");
        if (!station) {
            return std::nullopt;
        }
        const std::string_view level = w[1];
        if (level != "end" && level != "near-end" && level != "ok") {
            return std::nullopt;
        }
        return [station = *station, end = level == "end", nearEnd = level != "ok"](PrinterState& state) {
            state.*station.end = end;
            state.*station.nearEnd = nearEnd;
        };
    }
    return std::nullopt;
}

std::string onOff(bool on) { return on ? "on" : "off"; }

}  // namespace

std::optional<ControlCommand> parseControlLine(std::string_view line, std::string* errorText) {
    std::string ignored;
    std::string* const error = errorText != nullptr ? errorText : &ignored;
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    auto words = splitWords(line);
    ControlCommand command;
    if (!words.empty() && words[0].front() == '@') {
        command.printer = std::string(words[0].substr(1));
        words.erase(words.begin());
        if (command.printer.empty()) {
            *error = "no printer name after @";
            return std::nullopt;
        }
    }
    if (words.empty()) {
        *error = "no command";
        return std::nullopt;
    }
    const std::string_view verb = words[0];
    if (words.size() == 1) {
        using Kind = ControlCommand::Kind;
        const std::array<std::pair<std::string_view, Kind>, 5> queries{{{"status", Kind::Status},
                                                                        {"transcript", Kind::Transcript},
                                                                        {"unplug", Kind::Unplug},
                                                                        {"plug", Kind::Plug},
                                                                        {"quit", Kind::Quit}}};
        for (const auto& [word, kind] : queries) {
            if (verb == word) {
                command.kind = kind;
                return command;
            }
        }
    }
    if (verb == "png") {
        // The path is the rest of the line, so it may hold spaces.
        const auto start = static_cast<std::size_t>(verb.data() - line.data()) + verb.size();
        const std::size_t first = line.find_first_not_of(" \t", start);
        const std::size_t last = line.find_last_not_of(" \t");
        if (first == std::string_view::npos || first > last) {
            *error = "png needs a path";
            return std::nullopt;
        }
        command.kind = ControlCommand::Kind::Png;
        command.path = std::string(line.substr(first, last - first + 1));
        return command;
    }
    if (auto change = parseChange(words)) {
        command.kind = ControlCommand::Kind::ChangeState;
        command.change = std::move(*change);
        return command;
    }
    *error = "unknown command: " + std::string(line.substr(0, 80));
    return std::nullopt;
}

std::string formatStatusBlock(const StatusBlock& block) {
    std::array<char, 12> text{};
    std::snprintf(text.data(), text.size(), "%02X %02X %02X %02X", block[0], block[1], block[2], block[3]);
    return text.data();
}

std::string escapeForLine(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        case '\t': escaped += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                std::array<char, 5> hex{};
                std::snprintf(hex.data(), hex.size(), "\\x%02X", static_cast<unsigned char>(c));
                escaped += hex.data();
            } else {
                escaped += c;
            }
        }
    }
    return escaped;
}

std::vector<std::string> describeStateChanges(const PrinterState& before, const PrinterState& after) {
    std::vector<std::string> changes;
    const auto flag = [&](bool PrinterState::*field, const std::string& yes, const std::string& no) {
        if (before.*field != after.*field) {
            changes.push_back(after.*field ? yes : no);
        }
    };
    flag(&PrinterState::powerOn, "power on", "power off");
    flag(&PrinterState::coverOpen, "cover open", "cover close");
    for (const std::string_view station : {"receipt", "journal", "slip"}) {
        const PaperFlags paper = *paperStation(station);
        if (before.*paper.end != after.*paper.end || before.*paper.nearEnd != after.*paper.nearEnd) {
            const char* level = after.*paper.end ? "end" : after.*paper.nearEnd ? "near-end" : "ok";
            changes.push_back(std::string("paper ") + level + " " + std::string(station));
        }
    }
    flag(&PrinterState::slipInserted, "slip insert", "slip remove");
    const std::array<std::pair<bool PrinterState::*, const char*>, 4> errors{
        {{&PrinterState::cutterError, "cutter"},
         {&PrinterState::motorError, "motor"},
         {&PrinterState::resumeError, "resume"},
         {&PrinterState::autoStatusResumeError, "autostatus"}}};
    for (const auto& [field, name] : errors) {
        if (before.*field != after.*field) {
            changes.push_back(std::string("error ") + name + " " + onOff(after.*field));
        }
    }
    flag(&PrinterState::drawerOpen, "drawer open", "drawer close");
    if (before.drawerClosesAfter != after.drawerClosesAfter) {
        changes.push_back("drawer auto-close " + std::to_string(after.drawerClosesAfter.count()));
    }
    flag(&PrinterState::networkLinkDown, "link down", "link up");
    if (before.statusReplyDelay != after.statusReplyDelay) {
        changes.push_back("status delay " + std::to_string(after.statusReplyDelay.count()));
    }
    if (before.statusSilent != after.statusSilent) {
        changes.push_back("status silent " + onOff(after.statusSilent));
    }
    return changes;
}

}  // namespace emulator
