#include "CommandLineMain.h"

#include <iostream>

#include "CommandLine.h"
#include "Commands.h"

namespace setup {

int commandLineMain(const std::vector<std::string>& args) {
    Command command;
    std::string error;
    if (!parseCommandLine(args, &command, &error)) {
        std::cerr << "tillsetup: " << error << "\n" << usageText();
        return 2;
    }
    return runCommand(command, std::cout, std::cerr);
}

}  // namespace setup
