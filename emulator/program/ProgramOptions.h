#pragma once
// The printer-emulator command line.
#include <string>
#include <vector>

#include "emulator/EmulatorPrinters.h"

namespace emulator {

struct PrinterOptions {
    EmulatorPrinterConfig config;
    // Control commands applied once the printer runs ("cover open").
    std::vector<std::string> initialState;
};

struct ProgramOptions {
    bool help = false;
    bool quiet = false;
    // A session of its own, SIGHUP ignored, and the standard streams on
    // /dev/null once every printer runs: for a program started by another
    // that must not hold that program's pipes or terminal.
    bool detach = false;
    // The program ends when the first control connection closes: a program
    // started for another (a test) goes with it, however that one ends.
    bool quitWithControl = false;
    std::string controlPath;
    std::string outputDirectory = ".";
    std::vector<PrinterOptions> printers;
};

// False, with `error`, for anything the usage does not allow; --help alone
// needs no printer.
bool parseProgramOptions(const std::vector<std::string>& arguments, ProgramOptions& options,
                         std::string* error);

std::string programUsage();

}  // namespace emulator
