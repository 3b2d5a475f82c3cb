#include "emulator/EmulatorPrinters.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <stdexcept>

#include "emulator/ControlProtocol.h"

namespace emulator {

namespace {

bool fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return false;
}

std::optional<std::uint16_t> parsePort(std::string_view text) {
    unsigned value = 0;
    const auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result != std::errc() || end != text.data() + text.size() || value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<TransportConfig> parseTransportConfig(std::string_view text, std::string* error) {
    const std::size_t colon = text.find(':');
    const std::string_view kind = text.substr(0, colon);
    const std::string_view rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    TransportConfig config;
    if (kind == "net") {
        config.kind = TransportConfig::Kind::Network;
        const std::size_t first = rest.find(':');
        config.address = std::string(rest.substr(0, first));
        if (first != std::string_view::npos) {
            const std::string_view ports = rest.substr(first + 1);
            const std::size_t second = ports.find(':');
            const auto data = parsePort(ports.substr(0, second));
            const auto status = second == std::string_view::npos
                                    ? std::optional<std::uint16_t>(config.statusPort)
                                    : parsePort(ports.substr(second + 1));
            if (!data || !status) {
                fail(error, "bad port numbers in " + std::string(text));
                return std::nullopt;
            }
            config.dataPort = *data;
            config.statusPort = *status;
        }
        if (config.address.empty()) {
            fail(error, "net: needs an address, as in net:127.0.0.5");
            return std::nullopt;
        }
        return config;
    }
    if (kind == "serial" || kind == "parallel" || kind == "usb") {
        config.kind = kind == "serial"     ? TransportConfig::Kind::Serial
                    : kind == "parallel" ? TransportConfig::Kind::Parallel
                                         : TransportConfig::Kind::Usb;
        config.path = std::string(rest);
        if (config.path.empty()) {
            fail(error, std::string(kind) + ": needs a path");
            return std::nullopt;
        }
        return config;
    }
    fail(error, "unknown transport " + std::string(text) +
                    " (net:ADDRESS, serial:LINK, parallel:LINK or usb:DIRECTORY)");
    return std::nullopt;
}

std::string EmulatorPrinters::Printer::endpoint() const {
    if (network) {
        return "net " + network->address() + " data " + std::to_string(network->dataPort()) + " status " +
               std::to_string(network->statusPort());
    }
    if (usb) {
        return "usb " + usb->nodePath() + " IID " + std::to_string(printer->internalId());
    }
    if (line) {
        return std::string(transport.kind == TransportConfig::Kind::Parallel ? "parallel " : "serial ") +
               line->linkPath();
    }
    return "none";
}

EmulatorPrinters::EmulatorPrinters(Hooks hooks) : m_hooks(std::move(hooks)) {}

EmulatorPrinters::~EmulatorPrinters() = default;

bool EmulatorPrinters::add(const EmulatorPrinterConfig& config, std::string* error) {
    if (config.name.empty() || config.name.find_first_of(" \t\r\n") != std::string::npos || config.name[0] == '@') {
        return fail(error, "bad printer name \"" + config.name + "\"");
    }
    if (find(config.name) != nullptr) {
        return fail(error, "two printers named " + config.name);
    }
    auto entry = std::make_unique<Printer>();
    entry->name = config.name;
    entry->transport = config.transport;
    try {
        entry->printer = std::make_unique<VirtualPrinter>(config.model, config.internalId);
    } catch (const std::exception& e) {
        return fail(error, config.name + ": " + e.what());
    }
    std::string why;
    switch (config.transport.kind) {
    case TransportConfig::Kind::Network:
        entry->network = NetworkPort::open(
            *entry->printer,
            {config.transport.address, config.transport.dataPort, config.transport.statusPort, m_hooks.onActivity}, &why);
        break;
    case TransportConfig::Kind::Serial:
    case TransportConfig::Kind::Parallel:
        entry->line = PtyPort::open(*entry->printer,
                                    {config.transport.path, m_hooks.onActivity, config.controllingTerminal}, &why);
        break;
    case TransportConfig::Kind::Usb:
        entry->usb = UsbNode::open(*entry->printer, {config.transport.path, -1, m_hooks.onActivity}, &why);
        break;
    }
    if (!entry->network && !entry->line && !entry->usb) {
        return fail(error, config.name + ": " + why);
    }
    m_printers.push_back(std::move(entry));
    return true;
}

EmulatorPrinters::Printer* EmulatorPrinters::find(std::string_view name) const {
    for (const auto& entry : m_printers) {
        if (entry->name == name) {
            return entry.get();
        }
    }
    return nullptr;
}

std::string EmulatorPrinters::handleControlLine(std::string_view line) {
    std::string error;
    const auto command = parseControlLine(line, &error);
    if (!command) {
        return "error " + error;
    }
    if (command->kind == ControlCommand::Kind::Quit) {
        if (m_hooks.onQuit) {
            m_hooks.onQuit();
        }
        return "ok";
    }
    Printer* target = nullptr;
    if (!command->printer.empty()) {
        target = find(command->printer);
        if (target == nullptr) {
            return "error no printer named " + command->printer;
        }
    } else if (m_printers.size() == 1) {
        target = m_printers.front().get();
    } else {
        return m_printers.empty() ? "error no printer runs" : "error several printers run: begin the line with @NAME";
    }
    VirtualPrinter& printer = *target->printer;
    switch (command->kind) {
    case ControlCommand::Kind::ChangeState:
        printer.changeState(command->change);
        return "ok";
    case ControlCommand::Kind::Status:
        return "ok " + formatStatusBlock(printer.statusBlock());
    case ControlCommand::Kind::Transcript:
        return "ok " + escapeForLine(printer.transcript());
    case ControlCommand::Kind::Png:
        if (printer.writePng(command->path, &error)) {
            return "ok";
        }
        return "error " + (error.empty() ? "cannot write " + command->path : error);
    case ControlCommand::Kind::Unplug:
    case ControlCommand::Kind::Plug:
        if (!target->usb) {
            return "error " + target->name + " is not a USB printer";
        }
        if (command->kind == ControlCommand::Kind::Unplug) {
            target->usb->unplug();
            return "ok";
        }
        return target->usb->plug(&error) ? "ok" : "error " + error;
    case ControlCommand::Kind::ReceivedCount:
        return "ok " + std::to_string(printer.receivedCount());
    case ControlCommand::Kind::ReceivedBytes: {
        const Bytes kept = printer.receivedBytes();
        const std::size_t from = std::min(command->from, kept.size());
        return "ok " + formatHex(std::span<const std::uint8_t>(kept).subspan(from));
    }
    case ControlCommand::Kind::Inject:
        printer.receive(command->bytes);
        return "ok";
    case ControlCommand::Kind::Clear:
        printer.clearOutput();
        return "ok";
    case ControlCommand::Kind::State:
        return "ok " + formatStateReply(printer.state());
    case ControlCommand::Kind::AutoStatus:
        return printer.automaticStatusEnabled() ? "ok on" : "ok off";
    case ControlCommand::Kind::Line: {
        if (!target->line) {
            return "error " + target->name + " has no serial or parallel line";
        }
        // The link goes first when the line is taken away, so a host that
        // finds it can open the line.
        std::error_code ignored;
        return std::filesystem::is_symlink(target->line->linkPath(), ignored) ? "ok up" : "ok down";
    }
    case ControlCommand::Kind::UnknownCommands: {
        std::string lines;
        for (const auto& line : printer.unknownCommands()) {
            lines += line;
            lines += '\n';
        }
        return "ok " + escapeForLine(lines);
    }
    case ControlCommand::Kind::Quit:
        break;
    }
    return "error unhandled command";
}

}  // namespace emulator
