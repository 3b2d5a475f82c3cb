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
        if (verb == "character-mode" && (on = parseSwitch(w[1], "asian", "us"))) {
            return setFlag(&PrinterState::asianCharacterMode, *on);
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
        if (verb == "drawer" && w[1] == "sensor" && (on = parseSwitch(w[2], "high", "low"))) {
            return setFlag(&PrinterState::drawerOpenReadsHigh, *on);
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

std::optional<std::size_t> parseOffset(std::string_view text) {
    std::size_t value = 0;
    const auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

constexpr std::string_view kStateSeparator = "; ";

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
        const std::array<std::pair<std::string_view, Kind>, 11> queries{{{"status", Kind::Status},
                                                                         {"transcript", Kind::Transcript},
                                                                         {"unplug", Kind::Unplug},
                                                                         {"plug", Kind::Plug},
                                                                         {"quit", Kind::Quit},
                                                                         {"received", Kind::ReceivedCount},
                                                                         {"clear", Kind::Clear},
                                                                         {"state", Kind::State},
                                                                         {"autostatus", Kind::AutoStatus},
                                                                         {"unknown", Kind::UnknownCommands},
                                                                         {"line", Kind::Line}}};
        for (const auto& [word, kind] : queries) {
            if (verb == word) {
                command.kind = kind;
                return command;
            }
        }
    }
    if (verb == "received" && words.size() == 2) {
        if (const auto from = parseOffset(words[1])) {
            command.kind = ControlCommand::Kind::ReceivedBytes;
            command.from = *from;
            return command;
        }
    }
    if (verb == "inject" && words.size() == 2) {
        if (auto bytes = parseHex(words[1])) {
            command.kind = ControlCommand::Kind::Inject;
            command.bytes = std::move(*bytes);
            return command;
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

std::string unescapeLine(std::string_view line) {
    std::string text;
    text.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 == line.size()) {
            text += line[i];
            continue;
        }
        const char next = line[++i];
        switch (next) {
        case 'n': text += '\n'; break;
        case 'r': text += '\r'; break;
        case 't': text += '\t'; break;
        case 'x':
            if (i + 2 < line.size() && hexValue(line[i + 1]) >= 0 && hexValue(line[i + 2]) >= 0) {
                text += static_cast<char>(hexValue(line[i + 1]) * 16 + hexValue(line[i + 2]));
                i += 2;
                break;
            }
            text += "\\x";
            break;
        default: text += next;
        }
    }
    return text;
}

std::string formatHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::optional<Bytes> parseHex(std::string_view text) {
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    Bytes bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

std::string formatStateReply(const PrinterState& state) {
    std::string reply;
    for (const auto& change : describeStateChanges(PrinterState{}, state)) {
        if (!reply.empty()) {
            reply += kStateSeparator;
        }
        reply += change;
    }
    return reply;
}

std::optional<PrinterState> parseStateReply(std::string_view reply, std::string* error) {
    PrinterState state;
    while (reply.find_first_not_of(' ') != std::string_view::npos) {
        const std::size_t end = reply.find(';');
        const std::string_view part = reply.substr(0, end);
        const auto command = parseControlLine(part, error);
        if (!command || command->kind != ControlCommand::Kind::ChangeState || !command->printer.empty()) {
            if (command && error != nullptr) {
                *error = "not a state change: " + std::string(part);
            }
            return std::nullopt;
        }
        command->change(state);
        reply = end == std::string_view::npos ? std::string_view() : reply.substr(end + 1);
    }
    return state;
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
    flag(&PrinterState::drawerOpenReadsHigh, "drawer sensor high", "drawer sensor low");
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
    flag(&PrinterState::asianCharacterMode, "character-mode asian", "character-mode us");
    return changes;
}

}  // namespace emulator
