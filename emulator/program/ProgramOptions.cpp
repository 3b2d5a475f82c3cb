#include "ProgramOptions.h"

#include <charconv>

#include "emulator/ControlProtocol.h"

namespace emulator {

namespace {

bool fail(std::string* error, std::string text) {
    *error = std::move(text);
    return false;
}

}  // namespace

bool parseProgramOptions(const std::vector<std::string>& arguments, ProgramOptions& options,
                         std::string* error) {
    std::string ignored;
    if (error == nullptr) {
        error = &ignored;
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        const auto value = [&](std::size_t count) { return i + count < arguments.size(); };
        if (option == "--help" || option == "-h") {
            options.help = true;
            return true;
        }
        if (option == "--quiet" || option == "--detach") {
            (option == "--quiet" ? options.quiet : options.detach) = true;
            continue;
        }
        if (option == "--quit-with-control") {
            options.quitWithControl = true;
            continue;
        }
        if (option == "--controlling-terminal") {
            if (options.printers.empty()) {
                return fail(error, option + " belongs after a --printer");
            }
            const auto kind = options.printers.back().config.transport.kind;
            if (kind != TransportConfig::Kind::Serial && kind != TransportConfig::Kind::Parallel) {
                return fail(error, option + " needs a serial or parallel printer");
            }
            for (const auto& printer : options.printers) {
                if (printer.config.controllingTerminal) {
                    return fail(error, option + " may be given for one printer only");
                }
            }
            options.printers.back().config.controllingTerminal = true;
            continue;
        }
        if (option == "--control" || option == "--output") {
            if (!value(1)) {
                return fail(error, option + " needs a path");
            }
            (option == "--control" ? options.controlPath : options.outputDirectory) = arguments[++i];
            continue;
        }
        if (option == "--printer") {
            if (!value(2)) {
                return fail(error, "--printer needs a model and a transport");
            }
            PrinterOptions printer;
            printer.config.model = arguments[i + 1];
            const auto transport = parseTransportConfig(arguments[i + 2], error);
            if (!transport) {
                return false;
            }
            printer.config.transport = *transport;
            printer.config.name = "printer" + std::to_string(options.printers.size() + 1);
            options.printers.push_back(std::move(printer));
            i += 2;
            continue;
        }
        if (option == "--name" || option == "--id" || option == "--state") {
            if (options.printers.empty()) {
                return fail(error, option + " belongs after a --printer");
            }
            if (!value(1)) {
                return fail(error, option + " needs a value");
            }
            const std::string& text = arguments[++i];
            PrinterOptions& printer = options.printers.back();
            if (option == "--name") {
                printer.config.name = text;
            } else if (option == "--id") {
                std::uint32_t id = 0;
                const auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), id);
                if (result != std::errc() || end != text.data() + text.size()) {
                    return fail(error, "--id needs a number from 0 to 4294967295");
                }
                printer.config.internalId = id;
            } else {
                const auto command = parseControlLine(text, error);
                if (!command) {
                    return false;
                }
                if (command->kind != ControlCommand::Kind::ChangeState || !command->printer.empty()) {
                    return fail(error, "--state takes a state change such as \"cover open\"");
                }
                printer.initialState.push_back(text);
            }
            continue;
        }
        return fail(error, "unknown option " + option);
    }
    if (options.printers.empty()) {
        return fail(error, "no printer: give at least one --printer MODEL TRANSPORT");
    }
    if (options.quitWithControl && options.controlPath.empty()) {
        return fail(error, "--quit-with-control needs --control");
    }
    for (const auto& printer : options.printers) {
        if (printer.config.controllingTerminal && !options.detach) {
            return fail(error, "--controlling-terminal needs --detach (a session of its own)");
        }
    }
    return true;
}

std::string programUsage() {
    return R"(Usage: printer-emulator [OPTIONS] --printer MODEL TRANSPORT [PRINTER OPTIONS] ...

Runs one or more virtual Corvane printers. Each shows its state changes and
the lines it prints on the terminal; its paper is written as NAME.png and
NAME.txt into the output folder on every cut and on exit (SIGINT, SIGTERM or
the control command "quit").

Options:
  --printer MODEL TRANSPORT   start a printer; MODEL as in device names
                              (H81, K92, K93, E50, F60, A14X ...)
  --control PATH              accept control commands on a Unix socket at PATH
  --control tcp:ADDRESS:PORT  ... or on TCP (loopback addresses only: whoever
                              reaches it controls the printers)
  --output DIR                where pictures and transcripts go (default .)
  --quiet                     do not show printed lines and state changes
  --detach                    start a session of its own and, once every
                              printer runs, put the standard streams on
                              /dev/null (for programs that start the emulator)
  --quit-with-control         with --control: quit once the first control
                              connection closes (for a program that starts
                              the emulator for itself and may die)
  --help                      this text

Printer options (for the --printer before them):
  --name NAME                 how control lines and files name it
                              (default printer1, printer2 ...)
  --id N                      internal ID, announced by USB printers (default 0)
  --state "COMMAND"           a state change to apply at start, in the control
                              language below; may be repeated
  --controlling-terminal      serial or parallel printers, with --detach: the
                              line is the emulator's controlling terminal, so
                              no program that opens it adopts it (Wine's
                              server would, and be hung up with it); one
                              printer at most

Transports:
  net:ADDRESS[:DATA[:STATUS]] TCP print data on DATA (9100) and status
                              requests on STATUS (4000) of ADDRESS, such as
                              127.0.0.5; one loopback address per printer
  serial:LINK                 a pseudo-terminal published as the symbolic
  parallel:LINK               link LINK (point the port map's COMn or LPTn
                              at it); it goes while the printer is off
  usb:DIRECTORY               a USB printer node DIRECTORY/lpN with its
                              IEEE 1284 device ID in DIRECTORY/lpN.ieee1284_id
                              (for CVOPOS_USB_DEVICES=DIRECTORY/lp*)

Control language (one command per line on the control socket; the reply is
one line, "ok" with any result, or "error TEXT"; begin a line with @NAME to
choose a printer when several run):
  cover open|close
  paper end|near-end|ok [receipt|journal|slip]
  power off|on
  drawer open|close
  drawer auto-close MS        the drawer closes MS ms after a pulse (0: never)
  drawer sensor high|low      the sensor reads high (or low) while open
  character-mode asian|us     the F60's answer to its character-mode query
  slip insert|remove
  error cutter|motor|resume|autostatus on|off
  link down|up                network printers: reset connections, refuse new
  status delay MS             answer status requests MS ms late
  status silent on|off        do not answer status requests
  status                      ok XX XX XX XX: the 4-byte status block
  transcript                  ok TEXT: the transcript, line ends as \n
  png PATH                    write the paper picture to PATH
  received                    ok N: how many bytes arrived (also those dropped)
  received FROM               ok HEX: the kept bytes from offset FROM
  clear                       forget received bytes, paper and unknown commands
  inject HEX                  take the bytes as if the host had sent them
  state                       ok COMMANDS: the state as the commands above
                              that lead to it from the start, "; " between
  autostatus                  ok on|off: automatic status enabled
  line                        ok up|down: serial and parallel printers: the
                              line is there for a host to open
  unknown                     ok TEXT: the commands not understood, as \n lines
  unplug | plug               USB printers: remove or bring back the node
  quit                        write every printer's files and stop

Example:
  printer-emulator --control /tmp/emu.sock --output /tmp/paper \
      --printer H81 net:127.0.0.5 --name front \
      --printer K92 usb:/tmp/usb --id 90 --name kitchen
  echo "@front cover open" | socat - UNIX-CONNECT:/tmp/emu.sock
)";
}

}  // namespace emulator
