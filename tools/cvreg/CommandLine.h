#pragma once
// cvreg's command line, in the manner of reg.exe: the operations, their
// switches, and the usage text.
#include <string>
#include <vector>

#include "platform/registry.h"

namespace cvreg {

enum class Operation { Help, Import, Export, Query, Add, Delete };

struct Command {
    Operation operation = Operation::Query;
    std::string key;        // as typed, root included
    std::string file;       // import: the .reg file; export: the output ("" = stdout)
    bool hasValue = false;  // /v NAME or /ve (the default value, name "")
    std::string valueName;
    platform::DWORD type = platform::REG_SZ;
    std::string text;          // REG_SZ data
    platform::DWORD number = 0;  // REG_DWORD data
};

// Parses the arguments that follow the program name. False with a one-line
// message on a usage error.
bool parseCommandLine(const std::vector<std::string>& args, Command* command, std::string* error);

const char* usageText();

}  // namespace cvreg
