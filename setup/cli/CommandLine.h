#pragma once
// tillsetup's command line: a subcommand, at most one device or model
// argument, and --name value options.
#include <map>
#include <string>
#include <vector>

namespace setup {

struct Command {
    std::string name;                          // "" when no subcommand was given
    std::string argument;                      // the device key or model, when the subcommand takes one
    std::map<std::string, std::string> options;  // without the leading "--"
    bool yes = false;                          // answer OK to every question
    bool help = false;
    std::vector<std::string> raw;              // the arguments as given
};

// False with a one-line message on a usage error.
bool parseCommandLine(const std::vector<std::string>& args, Command* command, std::string* error);

const char* usageText();

}  // namespace setup
