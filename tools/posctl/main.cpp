// posctl: a command-line host over the OPOS control objects, for people
// trying their devices and for scripted checks. Results and events go to
// standard output as JSON lines; see Session.h and ScriptParser.h.
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "Session.h"
#include "TerminalDialog.h"
#include "platform/environment.h"
#include "platform/ui.h"

namespace {

const char* const kUsage =
    "usage: posctl [--registry FILE] [SCRIPT | -]\n"
    "Runs SCRIPT (- or no SCRIPT: standard input; interactive on a terminal).\n"
    "Commands, one a line (# starts a comment):\n"
    "  open ALIAS POSPrinter|CashDrawer NAME\n"
    "  ALIAS METHOD ARG...            ALIAS get PROPERTY      ALIAS set PROPERTY VALUE\n"
    "  ALIAS answer-errors retry|clear\n"
    "  wait ALIAS StatusUpdate|OutputComplete|Error|DirectIO [VALUE|*] [TIMEOUT_MS]\n"
    "  on ALIAS EVENT [VALUE|*] COMMAND...\n"
    "                                 runs COMMAND once inside the handler of the next matching\n"
    "                                 event, on the thread that delivers it (e.g. p ReleaseDevice)\n"
    "  sleep MS                       close ALIAS\n"
    "ARG and VALUE: integers (12, -3, 0x1b) or \"strings\" with \\n \\r \\t \\\\ \\\" \\e \\xHH \\uHHHH.\n"
    "Service object dialogs are answered on the terminal, or run headless without one.\n"
    "Exit status: 0; 2 when a command was bad, or for a bad command line or SCRIPT.\n";

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> script;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-h" || args[i] == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (args[i] == "--registry" && i + 1 < args.size()) {
            platform::setEnvironmentVariable("CVOPOS_REGISTRY", args[++i].c_str());
        } else if (!script && (args[i] == "-" || !args[i].starts_with("-"))) {
            script = args[i];
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }

    std::ifstream file;
    if (script && *script != "-") {
        file.open(*script);
        if (!file) {
            std::cerr << "posctl: cannot read " << *script << '\n';
            return 2;
        }
    }
    std::istream& input = file.is_open() ? static_cast<std::istream&>(file) : std::cin;
    // A person at the terminal answers the service objects' dialogs; when
    // the commands come from the terminal too, the answers simply follow the
    // command that opened the dialog. Without a terminal nobody answers: the
    // dialogs run headless rather than as system windows a script would
    // wait on for ever.
    const bool atTerminal = platform::standardInputIsTerminal();
    const bool interactive = atTerminal && !file.is_open();
    platform::setDialogProvider(atTerminal ? posctl::terminalDialogProvider(std::cin, std::cerr)
                                           : platform::DialogProvider(platform::headlessDialog));

    bool bad = false;
    {
        posctl::Session session(std::cout);
        std::string line;
        while (true) {
            if (interactive) {
                std::cerr << "posctl> " << std::flush;
            }
            if (!std::getline(input, line)) {
                break;
            }
            bad = !session.execute(line) || bad;
        }
    }
    platform::setDialogProvider({});
    return bad ? 2 : 0;
}
