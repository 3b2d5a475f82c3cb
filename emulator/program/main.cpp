// printer-emulator: virtual Corvane printers for tests, demos and users
// without hardware. See --help.
#include <iostream>
#include <string>
#include <vector>

#include "Program.h"
#include "ProgramOptions.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    emulator::ProgramOptions options;
    std::string error;
    if (!emulator::parseProgramOptions(arguments, options, &error)) {
        std::cerr << "printer-emulator: " << error << "\nTry printer-emulator --help.\n";
        return 2;
    }
    if (options.help) {
        std::cout << emulator::programUsage();
        return 0;
    }
    return emulator::runProgram(options);
}
