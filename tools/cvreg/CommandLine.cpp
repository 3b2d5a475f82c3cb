#include "CommandLine.h"

#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>

#include "platform/registry.h"

namespace cvreg {

namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// "/v" or "-v" (any case) as "v"; "" for anything that is not a switch, so
// that file paths starting with '/' stay arguments.
std::string switchName(const std::string& arg) {
    static const std::set<std::string> kSwitches = {"v", "ve", "t", "d", "f", "y"};
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) {
        return std::string();
    }
    const std::string name = lower(arg.substr(1));
    return kSwitches.count(name) != 0 ? name : std::string();
}

bool takesArgument(const std::string& name) {
    return name == "v" || name == "t" || name == "d";
}

bool parseNumber(const std::string& text, platform::DWORD* number) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull) {
        return false;
    }
    *number = static_cast<platform::DWORD>(parsed);
    return true;
}

struct Allowed {
    Operation operation;
    std::size_t minPositional;
    std::size_t maxPositional;
    std::set<std::string> switches;
};

const std::map<std::string, Allowed>& operations() {
    static const std::map<std::string, Allowed> kOperations = {
        {"import", {Operation::Import, 1, 1, {}}},
        {"export", {Operation::Export, 1, 2, {"y"}}},
        {"query", {Operation::Query, 1, 1, {"v", "ve"}}},
        {"add", {Operation::Add, 1, 1, {"v", "ve", "t", "d", "f"}}},
        {"delete", {Operation::Delete, 1, 1, {"v", "ve", "f"}}},
    };
    return kOperations;
}

bool fail(std::string* error, const std::string& message) {
    *error = message;
    return false;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& args, Command* command, std::string* error) {
    *command = Command();
    if (args.empty()) {
        return fail(error, "no operation given");
    }
    if (args.size() == 1 && (args[0] == "/?" || args[0] == "-h" || args[0] == "--help" || lower(args[0]) == "help")) {
        command->operation = Operation::Help;
        return true;
    }
    const auto found = operations().find(lower(args[0]));
    if (found == operations().end()) {
        return fail(error, "unknown operation '" + args[0] + "'");
    }
    const Allowed& allowed = found->second;
    command->operation = allowed.operation;

    std::vector<std::string> positional;
    std::map<std::string, std::string> switches;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string name = switchName(args[i]);
        if (name.empty()) {
            positional.push_back(args[i]);
            continue;
        }
        if (allowed.switches.count(name) == 0) {
            return fail(error, "/" + name + " does not apply to " + args[0]);
        }
        if (switches.count(name) != 0) {
            return fail(error, "/" + name + " given twice");
        }
        if (takesArgument(name) && i + 1 >= args.size()) {
            return fail(error, "/" + name + " needs an argument");
        }
        switches[name] = takesArgument(name) ? args[++i] : std::string();
    }
    if (positional.size() < allowed.minPositional || positional.size() > allowed.maxPositional) {
        return fail(error, "wrong number of arguments for " + args[0]);
    }

    if (command->operation == Operation::Import) {
        command->file = positional[0];
        return true;
    }
    command->key = positional[0];
    if (!platform::regSplitRootPath(command->key, nullptr, nullptr)) {
        return fail(error, "'" + command->key + "' does not start with HKLM, HKEY_LOCAL_MACHINE, HKCR or HKEY_CLASSES_ROOT");
    }
    if (positional.size() > 1) {
        command->file = positional[1];
    }
    if (switches.count("v") != 0 && switches.count("ve") != 0) {
        return fail(error, "/v and /ve exclude each other");
    }
    command->hasValue = switches.count("v") != 0 || switches.count("ve") != 0;
    command->valueName = switches.count("v") != 0 ? switches["v"] : std::string();
    if ((switches.count("t") != 0 || switches.count("d") != 0) && !command->hasValue) {
        return fail(error, "/t and /d need /v NAME or /ve");
    }
    if (command->operation != Operation::Add || !command->hasValue) {
        return true;
    }
    const std::string type = switches.count("t") != 0 ? lower(switches["t"]) : "reg_sz";
    if (type == "reg_sz") {
        command->type = platform::REG_SZ;
        command->text = switches["d"];
        return true;
    }
    if (type != "reg_dword") {
        return fail(error, "unsupported type '" + switches["t"] + "' (REG_SZ or REG_DWORD)");
    }
    command->type = platform::REG_DWORD;
    if (switches.count("d") == 0 || !parseNumber(switches["d"], &command->number)) {
        return fail(error, "REG_DWORD needs /d with a number from 0 to 4294967295 (decimal or 0x hexadecimal)");
    }
    return true;
}

const char* usageText() {
    return "usage:\n"
           "  cvreg help\n"
           "  cvreg import FILE.reg\n"
           "  cvreg export KEY [FILE] [/y]\n"
           "  cvreg query KEY [/v NAME | /ve]\n"
           "  cvreg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA] [/f]\n"
           "  cvreg delete KEY [/v NAME | /ve] [/f]\n"
           "\n"
           "KEY is HKLM\\..., HKEY_LOCAL_MACHINE\\..., HKCR\\... or HKEY_CLASSES_ROOT\\...\n"
           "  import   applies a \"Windows Registry Editor Version 5.00\" file, all or nothing\n"
           "  export   writes KEY and everything below it as a .reg file (LF line ends),\n"
           "           to FILE or to standard output; an existing FILE is overwritten\n"
           "  query    lists the values and subkeys of KEY, or one value\n"
           "  add      creates KEY, or writes a value (REG_DWORD data: decimal or 0x...)\n"
           "  delete   deletes KEY with everything below it, or one value\n"
           "  /ve      the key's default value; /f and /y are accepted (cvreg never asks)\n"
           "\n"
           "The store is the file named by CVOPOS_REGISTRY, by default\n"
           "/var/lib/cvopos/registry.db. Exit status: 0 done, 1 failed, 2 usage error.\n";
}

}  // namespace cvreg
