#include "CommandLine.h"

#include <algorithm>

#include "setup/core/DriverService.h"

namespace setup {

namespace {

struct Syntax {
    const char* name;
    bool takesArgument;
    std::vector<const char*> options;
};

const std::vector<Syntax>& syntaxes() {
    static const std::vector<Syntax> table = {
        {"list", false, {}},
        {"show", true, {}},
        {"models", false, {}},
        {"ports", false, {}},
        {"add-printer", true, {"port", "ldn", "baud", "parity", "flow", "usblink"}},
        {"add-drawer", true, {"ldn", "open-phase", "pin"}},
        {"add-name", true, {"ldn"}},
        {"delete", true, {"ldn"}},
        {"set-port", true, {"port", "baud", "parity", "flow"}},
        {"set-signals", true, {"open-phase", "pin"}},
        {"port-range", false, {"com", "lpt"}},
        {"usb-search", true, {"usblink"}},
        {"test", true, {"ldn"}},
    };
    return table;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& args, Command* command, std::string* error) {
    *command = Command{};
    command->raw = args;
    // The installer's driver-installation run: the token alone.
    if (args.size() == 1 && args.front() == kDriverInstallToken) {
        return true;
    }
    const Syntax* syntax = nullptr;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            command->help = true;
        } else if (arg == "--yes" || arg == "-y") {
            command->yes = true;
        } else if (arg.rfind("--", 0) == 0) {
            const std::string option = arg.substr(2);
            if (syntax == nullptr || std::none_of(syntax->options.begin(), syntax->options.end(),
                                                  [&](const char* known) { return option == known; })) {
                *error = "unknown option " + arg + (syntax != nullptr ? std::string(" for ") + syntax->name : "");
                return false;
            }
            if (i + 1 >= args.size()) {
                *error = arg + " needs a value";
                return false;
            }
            command->options[option] = args[++i];
        } else if (syntax == nullptr) {
            for (const Syntax& known : syntaxes()) {
                if (arg == known.name) {
                    syntax = &known;
                }
            }
            if (syntax == nullptr) {
                *error = "unknown command '" + arg + "'";
                return false;
            }
            command->name = arg;
        } else if (syntax->takesArgument && command->argument.empty()) {
            command->argument = arg;
        } else {
            *error = "unexpected argument '" + arg + "'";
            return false;
        }
    }
    if (syntax != nullptr && syntax->takesArgument && command->argument.empty() && !command->help) {
        *error = std::string(syntax->name) + " needs a device or model name";
        return false;
    }
    return true;
}

const char* usageText() {
    return R"(usage: tillsetup <command> [arguments] [--yes]

Configures the Corvane OPOS printers and cash drawers of this till.

  list                                   the device tree with ports and logical device names
  show DEVICE                            one device's names and settings
  models                                 the printer models that can be added
  ports                                  the ports offered (see port-range)
  add-printer MODEL --port PORT --ldn NAME [--baud N] [--parity P] [--flow F] [--usblink DIR]
                                         PORT: COM<n>, LPT<n>, NET<address> or USB (searches
                                         for the one attached USB printer of the model)
  add-drawer PRINTER --ldn NAME [--open-phase low|high] [--pin 2|5]
  add-name DEVICE --ldn NAME             a further logical device name
  delete DEVICE [--ldn NAME] [--yes]     asks before deleting; --yes answers OK. Without it the
                                         answer is Cancel, which for a device with several names
                                         deletes only the selected name (--ldn, else the first)
  set-port PRINTER [--port PORT] [--baud N] [--parity P] [--flow F]
                                         rewrites the printer's and its drawer's port settings
  set-signals DRAWER [--open-phase low|high] [--pin 2|5]
  port-range [--com N|default] [--lpt N|default]
                                         shows or sets how many COM and LPT ports are offered
  usb-search MODEL [--usblink DIR]       looks for the attached USB printer of the model
  test DEVICE [--ldn NAME]               opens the device through its OPOS control object and
                                         runs the interactive health check

  P: None, Odd or Even      F: DTR/DSR, RTS/CTS or XON/XOFF      N: 1200 ... 115200
  --usblink DIR loads the USB interface library from DIR instead of the search path.

Exit status: 0 done, 1 refused or failed (the message says why), 2 usage error.
)";
}

}  // namespace setup
