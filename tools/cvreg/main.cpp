// cvreg: reg.exe's import, export, query, add and delete for installers and
// scripts, on the suite's registry store.
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    cvreg::Command command;
    std::string error;
    if (!cvreg::parseCommandLine(args, &command, &error)) {
        std::cerr << "cvreg: " << error << "\n" << cvreg::usageText();
        return 2;
    }
    return cvreg::runCommand(command, std::cout, std::cerr);
}
