// tillsetup: the configuration utility for the suite's printers and cash
// drawers.
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"
#include "setup/gui/SetupWindow.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() && setup::gui::displayAvailable()) {
        return setup::gui::runSetupWindow(argc, argv);
    }
    setup::Command command;
    std::string error;
    if (!setup::parseCommandLine(args, &command, &error)) {
        std::cerr << "tillsetup: " << error << "\n" << setup::usageText();
        return 2;
    }
    return setup::runCommand(command, std::cout, std::cerr);
}
